"""The stub package against the built module, in the types that stubtest
leaves alone: stubtest checks that every name exists on both sides, but
cannot read the signatures of pybind11's functions and properties, which
pybind11 keeps in their docstrings instead. Run by tools/check-package."""

import ast
import pathlib
import re

import pytest

import tolvane

STUB = pathlib.Path(__file__).resolve().parents[2] / "python" / "tolvane-stubs" / "__init__.pyi"

# Where the stub says more than pybind11's docstring can.
KNOWN_DIFFERENCES = {
    # std::string parameters accept bytes and bytearray as well as str.
    ("NcfParser", "__init__"): (
        "(filename: str = '', content: str = '') -> None",
        "(filename: str | bytes | bytearray = '', content: str | bytes | bytearray = '') -> None",
    ),
}

# A type that pybind11 did not know yet when it wrote a docstring appears
# under its C++ name; it is the same type.
CPP_NAMES = {"tolvane::Diagnostic::Severity": "Diagnostic.Severity"}


def stub_classes():
    tree = ast.parse(STUB.read_text())
    return {node.name: node for node in tree.body if isinstance(node, ast.ClassDef) and not node.name.startswith("_")}


def stub_members(cls):
    """(name, whether it is a property, its definition) for each member."""
    for node in cls.body:
        if isinstance(node, ast.FunctionDef):
            is_property = any(isinstance(d, ast.Name) and d.id == "property" for d in node.decorator_list)
            yield node.name, is_property, node


def stub_signature(function):
    """The stub's signature without `self`, written the way pybind11 writes one."""
    args = function.args
    positional = args.posonlyargs + args.args
    defaults = [None] * (len(positional) - len(args.defaults)) + args.defaults
    parts = []
    for argument, default in list(zip(positional, defaults))[1:]:
        text = f"{argument.arg}: {ast.unparse(argument.annotation)}"
        if default is not None:
            text += f" = {default.value!r}"
        parts.append(text)
        if args.posonlyargs and argument is args.posonlyargs[-1]:
            parts.append("/")
    return f"({', '.join(parts)}) -> {ast.unparse(function.returns)}"


def runtime_signature(docstring):
    """A pybind11 docstring signature without `self`, with the module's
    prefix taken off the type names."""
    first_line = docstring.strip().splitlines()[0]
    signature = first_line[first_line.index("(") :]
    signature = re.sub(r"^\((self|arg0): tolvane\.\w+(, )?", "(", signature)
    return signature.replace("tolvane.", "")


CASES = [
    (class_name, member, is_property, function)
    for class_name, cls in stub_classes().items()
    for member, is_property, function in stub_members(cls)
]


def test_the_stub_declares_every_class_of_the_module():
    public = [name for name in vars(tolvane) if not name.startswith("_")]
    assert sorted(stub_classes()) == sorted(public)


PROPERTIES = [pytest.param(*case, id=f"{case[0]}.{case[1]}") for case in CASES if case[2]]


@pytest.mark.parametrize(("class_name", "member", "is_property", "function"), PROPERTIES)
def test_property_types_match_the_module(class_name, member, is_property, function):
    declared = ast.unparse(function.returns)
    runtime = runtime_signature(getattr(tolvane, class_name).__dict__[member].fget.__doc__)
    assert runtime.startswith("() -> ")
    runtime_type = runtime.removeprefix("() -> ")
    assert CPP_NAMES.get(runtime_type, runtime_type) == declared


METHODS = [case for case in CASES if not case[2] and case[0] == "NcfParser"]


@pytest.mark.parametrize(
    ("class_name", "member", "is_property", "function"), METHODS, ids=[case[1] for case in METHODS]
)
def test_parser_signatures_match_the_module(class_name, member, is_property, function):
    declared = stub_signature(function)
    runtime = runtime_signature(getattr(tolvane.NcfParser, member).__doc__)
    expected_runtime, expected_declared = KNOWN_DIFFERENCES.get((class_name, member), (runtime, runtime))
    # pybind11 calls the unnamed parameter arg0 in the docstring; having no
    # keyword, it can only be passed by position, which the stub says with "/".
    assert (runtime, declared) == (expected_runtime, expected_declared.replace("(arg0: bool)", "(arg0: bool, /)"))


def test_every_parser_method_is_checked():
    assert [case[1] for case in METHODS] == ["__init__", "parse", "set_trace", "get_diagnostics"]
