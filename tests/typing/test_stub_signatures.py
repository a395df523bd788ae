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
CLASSES = {node.name: node for node in ast.parse(STUB.read_text()).body
           if isinstance(node, ast.ClassDef) and not node.name.startswith("_")}
MEMBERS = [(name, node) for name, cls in CLASSES.items() for node in cls.body if isinstance(node, ast.FunctionDef)]
PROPERTIES = [(name, node) for name, node in MEMBERS if any(ast.unparse(d) == "property" for d in node.decorator_list)]
METHODS = [(name, node) for name, node in MEMBERS if name == "NcfParser"]

# std::string parameters accept bytes and bytearray as well as str, which the
# docstring cannot say; pybind11 calls the keyword-less parameter arg0, which
# the stub makes positional-only with "/".
STUB_ONLY = {
    "(filename: str = '', content: str = '') -> None":
        "(filename: str | bytes | bytearray = '', content: str | bytes | bytearray = '') -> None",
    "(arg0: bool) -> None": "(arg0: bool, /) -> None",
}


def stub_signature(function):
    """The stub's signature without `self`, written the way pybind11 writes one."""
    args = function.args
    positional = args.posonlyargs + args.args
    defaults = [None] * (len(positional) - len(args.defaults)) + args.defaults
    parts = []
    for argument, default in list(zip(positional, defaults))[1:]:
        parts.append(f"{argument.arg}: {ast.unparse(argument.annotation)}"
                     + ("" if default is None else f" = {default.value!r}"))
        if args.posonlyargs and argument is args.posonlyargs[-1]:
            parts.append("/")
    return f"({', '.join(parts)}) -> {ast.unparse(function.returns)}"


def runtime_signature(docstring):
    """A pybind11 docstring signature without `self` or the module prefix."""
    first_line = docstring.strip().splitlines()[0]
    signature = re.sub(r"^\((self|arg0): tolvane\.\w+(, )?", "(", first_line[first_line.index("(") :])
    # A type unknown to pybind11 when it wrote the docstring has its C++ name.
    return signature.replace("tolvane::Diagnostic::Severity", "Diagnostic.Severity").replace("tolvane.", "")


def test_the_stub_declares_every_class_and_parser_method_of_the_module():
    assert sorted(CLASSES) == sorted(name for name in vars(tolvane) if not name.startswith("_"))
    assert [node.name for _, node in METHODS] == ["__init__", "parse", "set_trace", "get_diagnostics"]


@pytest.mark.parametrize(("name", "node"), PROPERTIES, ids=[f"{n}.{node.name}" for n, node in PROPERTIES])
def test_property_types_match_the_module(name, node):
    runtime = runtime_signature(getattr(tolvane, name).__dict__[node.name].fget.__doc__)
    assert runtime == f"() -> {ast.unparse(node.returns)}"


@pytest.mark.parametrize(("name", "node"), METHODS, ids=[node.name for _, node in METHODS])
def test_parser_signatures_match_the_module(name, node):
    runtime = runtime_signature(getattr(tolvane.NcfParser, node.name).__doc__)
    assert STUB_ONLY.get(runtime, runtime) == stub_signature(node)
