"""The stub package against the built module, in what stubtest leaves alone:
stubtest checks that every name exists on both sides, but cannot read the
signatures of pybind11's functions and properties, which pybind11 keeps in
their docstrings instead, nor the order of a class's fields or the text of
its docstrings. Run by tools/check-package."""

import ast
import pathlib
import re

import pytest

import tolvane

STUB = pathlib.Path(__file__).resolve().parents[2] / "python" / "tolvane-stubs" / "__init__.pyi"
STUB_TREE = ast.parse(STUB.read_text())
CLASSES = {node.name: node for node in STUB_TREE.body
           if isinstance(node, ast.ClassDef) and not node.name.startswith("_")}
FUNCTIONS = {node.name: node for node in STUB_TREE.body if isinstance(node, ast.FunctionDef)}
# DecodedSignal is a named tuple of the C kind, not a pybind11 class: its
# fields are checked on their own.
PYBIND11_CLASSES = {name: cls for name, cls in CLASSES.items() if name != "DecodedSignal"}
MEMBERS = [(name, node) for name, cls in PYBIND11_CLASSES.items() for node in cls.body
           if isinstance(node, ast.FunctionDef)]
PROPERTIES = [(name, node) for name, node in MEMBERS if any(ast.unparse(d) == "property" for d in node.decorator_list)]
METHODS = [(name, node) for name, node in MEMBERS if name == "NcfParser" or node.name == "position_of"]
RECORDS = [name for name in PYBIND11_CLASSES if hasattr(getattr(tolvane, name), "__match_args__")]

# std::string parameters accept bytes and bytearray as well as str, which the
# docstring cannot say; pybind11 calls the keyword-less parameter arg0, which
# the stub makes positional-only with "/"; an index is any int for the stub.
STUB_ONLY = {
    "(filename: str | os.PathLike = '', content: str = '', *, lenient: bool = False, recover: bool = False) -> None":
        "(filename: str | bytes | bytearray | os.PathLike[str] | os.PathLike[bytes] = '', "
        "content: str | bytes | bytearray = '', *, lenient: bool = False, recover: bool = False) -> None",
    "(arg0: bool) -> None": "(arg0: bool, /) -> None",
    "(name: str, index: typing.SupportsInt | typing.SupportsIndex | None = None) -> tuple[int, int] | None":
        "(name: str, index: int | None = None) -> tuple[int, int] | None",
    "(record: object, *, positions: bool = False) -> dict":
        "(record: _Record, *, positions: bool = False) -> dict[str, _Plain]",
    "(ncf_file: NcfFile, diagnostics: collections.abc.Sequence[Diagnostic] = ()) -> list[Diagnostic]":
        "(ncf_file: NcfFile, diagnostics: Sequence[Diagnostic] = ()) -> list[Diagnostic]",
    "(filename: str | os.PathLike, content: str | None = None, *, lenient: bool = False, recover: bool = False)"
    " -> tuple[NcfFile, list[Diagnostic]]":
        "(filename: str | bytes | bytearray | os.PathLike[str] | os.PathLike[bytes], "
        "content: str | bytes | bytearray | None = None, *, lenient: bool = False, recover: bool = False)"
        " -> tuple[NcfFile, list[Diagnostic]]",
    "(obj: object) -> bytes": "(obj: NcfFile | dict[str, _Plain]) -> bytes",
    "(frame: NcfSingleFrame, values: dict | None = None, *, unused_bits: typing.SupportsInt | typing.SupportsIndex"
    " = 0) -> bytes":
        "(frame: NcfSingleFrame, values: Mapping[str, int | bytes | Sequence[int]] | None = None, *, "
        "unused_bits: int = 0) -> bytes",
    "(frame: NcfSingleFrame, data: collections.abc.Buffer) -> dict":
        "(frame: NcfSingleFrame, data: Buffer) -> dict[str, int | bytes]",
    "(frame_id: typing.SupportsInt | typing.SupportsIndex) -> int": "(frame_id: int) -> int",
    "(data: collections.abc.Buffer, protected_id: typing.SupportsInt | typing.SupportsIndex | None = None) -> int":
        "(data: Buffer, protected_id: int | None = None) -> int",
    "(node: NcfNodeDef, frame: object, values: dict | None = None, *, unused_bits: typing.SupportsInt"
    " | typing.SupportsIndex = 0) -> bytes":
        "(node: NcfNodeDef, frame: NcfSingleFrame | str, values: Mapping[str, int | float | str | bytes | "
        "Sequence[int]] | None = None, *, unused_bits: int = 0) -> bytes",
    "(node: NcfNodeDef, frame: object, data: collections.abc.Buffer) -> dict":
        "(node: NcfNodeDef, frame: NcfSingleFrame | str, data: Buffer) -> dict[str, DecodedSignal]",
    "(write: object, ncf_file: NcfFile, diagnostics: collections.abc.Sequence[Diagnostic], *, positions: bool = False)"
    " -> None":
        "(write: Callable[[bytes], object], ncf_file: NcfFile, diagnostics: Sequence[Diagnostic], *, "
        "positions: bool = False) -> None",
    "(filenames: collections.abc.Iterable, *, lenient: bool = False, recover: bool = False, syntax_only: bool = False, "
    "jobs: typing.SupportsInt | typing.SupportsIndex | None = None) -> list":
        "(filenames: Iterable[str | bytes | os.PathLike[str] | os.PathLike[bytes]], *, lenient: bool = False, "
        "recover: bool = False, syntax_only: bool = False, jobs: int | None = None) -> list[list[Diagnostic] | OSError]",
    "(files: collections.abc.Iterable, settings: dict | None = None, *, lenient: bool = False)"
    " -> tuple[object, list[Diagnostic]]":
        "(files: Iterable[NcfFile | tuple[NcfFile, Sequence[Diagnostic]] | str | bytes | os.PathLike[str] | "
        "os.PathLike[bytes]], settings: Mapping[str, object] | None = None, *, lenient: bool = False)"
        " -> tuple[bytes | None, list[Diagnostic]]",
    "(content: str, *, lenient: bool = False) -> bytes": "(content: str | bytes | bytearray, *, lenient: bool = False) -> bytes",
    "(node: NcfNodeDef, frame: object, *, ascii: bool = False) -> str":
        "(node: NcfNodeDef, frame: NcfSingleFrame | str, *, ascii: bool = False) -> str",
    "(node: NcfNodeDef, prefix: str | None = None, *, floating_point: bool = True, unused_bits: typing.SupportsInt "
    "| typing.SupportsIndex = 0, source: str = '') -> tuple[str, str, str, str]":
        "(node: NcfNodeDef, prefix: str | None = None, *, floating_point: bool = True, unused_bits: int = 0, "
        "source: str = '') -> tuple[str, str, str, str]",
    "(obj: object, path: object) -> None":
        "(obj: NcfFile | dict[str, _Plain], path: str | bytes | os.PathLike[str] | os.PathLike[bytes]) -> None",
}


def stub_signature(function):
    """The stub's signature without `self`, written the way pybind11 writes one."""
    args = function.args
    positional = args.posonlyargs + args.args
    defaults = [None] * (len(positional) - len(args.defaults)) + args.defaults
    skip = 1 if positional and positional[0].arg == "self" else 0
    parts = []
    for argument, default in list(zip(positional, defaults))[skip:]:
        parts.append(f"{argument.arg}: {ast.unparse(argument.annotation)}"
                     + ("" if default is None else f" = {ast.unparse(default)}"))
        if args.posonlyargs and argument is args.posonlyargs[-1]:
            parts.append("/")
    if args.kwonlyargs:
        parts.append("*")
        for argument, default in zip(args.kwonlyargs, args.kw_defaults):
            parts.append(f"{argument.arg}: {ast.unparse(argument.annotation)} = {ast.unparse(default)}")
    return f"({', '.join(parts)}) -> {ast.unparse(function.returns)}".replace('"', "'")


def runtime_signature(docstring):
    """A pybind11 docstring signature without `self` or the module prefix."""
    first_line = docstring.strip().splitlines()[0]
    signature = re.sub(r"^\((self|arg0): tolvane\.\w+(, )?", "(", first_line[first_line.index("(") :])
    # A type unknown to pybind11 when it wrote the docstring has its C++ name.
    return signature.replace("tolvane::Diagnostic::Severity", "Diagnostic.Severity").replace("tolvane.", "")


def runtime_doc(docstring):
    """The text of a pybind11 function docstring after its signature line."""
    return docstring.split("\n\n", 1)[1].strip()


def stub_doc(function):
    return ast.get_docstring(function, clean=False)


def test_the_stub_declares_every_class_and_function_of_the_module():
    public = [name for name in vars(tolvane) if not name.startswith("_")]
    classes = [name for name in public if isinstance(getattr(tolvane, name), type)]
    functions = [name for name in public if name not in classes]
    public_functions = [name for name in FUNCTIONS if not name.startswith("_")]
    assert (sorted(CLASSES), sorted(public_functions)) == (sorted(classes), sorted(functions))
    assert [node.name for name, node in METHODS if name == "NcfParser"] == [
        "__init__", "parse", "set_trace", "get_diagnostics", "get_comments"]


@pytest.mark.parametrize("name", RECORDS)
def test_the_stub_has_the_properties_of_the_module_in_order(name):
    runtime = [n for n, value in vars(getattr(tolvane, name)).items() if isinstance(value, property)]
    stub = [node.name for n, node in PROPERTIES if n == name]
    missing = [n for n in runtime if n not in stub]
    extra = [n for n in stub if n not in runtime]
    assert (missing, extra) == ([], []), f"{name}: the stub lacks {missing} and has {extra} beyond the module"
    assert stub == runtime, f"{name}: the stub's properties are in another order"


@pytest.mark.parametrize("name", RECORDS)
def test_the_stub_names_the_fields_of_the_module(name):
    assign = [node for node in CLASSES[name].body if isinstance(node, ast.Assign)
              and ast.unparse(node.targets[0]) == "__match_args__"]
    assert len(assign) == 1, f"{name}: the stub has no __match_args__"
    assert ast.literal_eval(assign[0].value) == getattr(tolvane, name).__match_args__


@pytest.mark.parametrize(("name", "node"), PROPERTIES, ids=[f"{n}.{node.name}" for n, node in PROPERTIES])
def test_property_types_and_docstrings_match_the_module(name, node):
    runtime = vars(getattr(tolvane, name))[node.name]
    assert runtime_signature(runtime.fget.__doc__) == f"() -> {ast.unparse(node.returns)}"
    if name != "Diagnostic" or node.name not in {"name", "value"}:  # the enumeration's own
        assert stub_doc(node) == runtime.__doc__


@pytest.mark.parametrize(("name", "node"), METHODS, ids=[f"{n}.{node.name}" for n, node in METHODS])
def test_method_signatures_match_the_module(name, node):
    docstring = getattr(getattr(tolvane, name), node.name).__doc__
    assert STUB_ONLY.get(runtime_signature(docstring), runtime_signature(docstring)) == stub_signature(node)
    if name != "NcfParser":  # its methods have no text beyond the signature
        assert stub_doc(node) == runtime_doc(docstring)


@pytest.mark.parametrize("name", sorted(FUNCTIONS))
def test_function_signatures_match_the_module(name):
    docstring = getattr(tolvane, name).__doc__
    runtime = runtime_signature(docstring)
    assert STUB_ONLY.get(runtime, runtime) == stub_signature(FUNCTIONS[name])
    assert stub_doc(FUNCTIONS[name]) == runtime_doc(docstring)


def test_the_stub_gives_the_fields_of_decoded_signal_in_order_with_their_docs():
    stub = [node for node in CLASSES["DecodedSignal"].body if isinstance(node, ast.FunctionDef)]
    runtime = tolvane.DecodedSignal
    assert [node.name for node in stub] == list(runtime.__match_args__) == ["raw", "value", "unit", "kind"]
    assert [stub_doc(node) for node in stub] == [getattr(runtime, node.name).__doc__ for node in stub]
