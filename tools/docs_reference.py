"""The generated parts of the documentation site, as an MkDocs hook.

A line `::: NAME` in a page of docs/ becomes the reference of NAME, written
from what already declares it, so that nothing is written twice:

    ::: cli             every command of `tolvane`, from the command
                        declarations of tolvane_cli (the same ones argparse
                        and --help are built from)
    ::: tolvane_cli     the functions of the package tolvane_cli, from the
                        package itself
    ::: NAME            a class or function of the module `tolvane`, from
                        the stub python/tolvane-stubs/__init__.pyi: its
                        signature, its docstring, and for a class every
                        property and method with its type and docstring
                        (Diagnostic.Severity for the nested class)

The prose around a `:::` line is the page's own. The stub's docstrings of
properties and functions are the module's (tests/typing checks that), so the
site says what help() says. The command reference needs tolvane_cli and the
built module on the path (PYTHONPATH=BUILD:python); the Python reference
reads the stub's text alone.
"""

from __future__ import annotations

import ast
import pathlib
import re

ROOT = pathlib.Path(__file__).resolve().parents[1]
STUB = ROOT / "python" / "tolvane-stubs" / "__init__.pyi"
DIRECTIVE = re.compile(r"^::: (\S+)[ \t]*$", re.MULTILINE)


# ---------------------------------------------------------------------------
# Markdown helpers
# ---------------------------------------------------------------------------


def prose(text: str) -> str:
    """A docstring as Markdown: code spans as they are; elsewhere the
    characters Markdown would take for emphasis or HTML escaped (the
    docstrings say `raw * scale` and `<stdin>`, meant literally)."""
    parts = re.split(r"(`[^`]*`)", " ".join(text.split()))
    escaped = [part if part.startswith("`") else
               part.replace("\\", "\\\\").replace("*", "\\*").replace("_", "\\_").replace("<", "&lt;")
               for part in parts]
    return "".join(escaped)


def table_cell(text: str) -> str:
    return prose(text).replace("|", "\\|")


# ---------------------------------------------------------------------------
# The Python API, from the stub
# ---------------------------------------------------------------------------


def stub_tree() -> ast.Module:
    return ast.parse(STUB.read_text(encoding="utf-8"))


def public_names(tree: ast.Module | None = None) -> list[str]:
    """The stub's public classes and functions, in its order."""
    tree = tree or stub_tree()
    return [node.name for node in tree.body
            if isinstance(node, (ast.ClassDef, ast.FunctionDef)) and not node.name.startswith("_")]


def _find(tree: ast.Module, dotted: str) -> ast.ClassDef | ast.FunctionDef:
    body: list[ast.stmt] = tree.body
    found: ast.ClassDef | ast.FunctionDef | None = None
    for part in dotted.split("."):
        found = next((node for node in body if isinstance(node, (ast.ClassDef, ast.FunctionDef))
                      and node.name == part), None)
        if found is None:
            raise KeyError(f"{dotted} is not a class or function of {STUB.relative_to(ROOT)}")
        body = found.body
    assert found is not None
    return found


def signature(function: ast.FunctionDef, owner: str | None = None) -> str:
    """`name(params) -> type`, `self` left out; a constructor as `Owner(params)`."""
    # ast writes `index: int | None=None`; the reference writes defaults as
    # PEP 8 writes those of annotated parameters (no default holds an "=").
    arguments = ast.unparse(function.args).replace("=", " = ")
    arguments = re.sub(r"^self(, )?", "", arguments)
    if function.name == "__init__" and owner:
        return f"{owner}({arguments})"
    returns = f" -> {ast.unparse(function.returns)}" if function.returns is not None else ""
    return f"{function.name}({arguments}){returns}"


def _is_property(function: ast.FunctionDef) -> bool:
    return any(ast.unparse(decorator) == "property" for decorator in function.decorator_list)


def match_args(cls: ast.ClassDef) -> list[str]:
    """The fields a class names in __match_args__, in that order."""
    for node in cls.body:
        targets = [node.target] if isinstance(node, ast.AnnAssign) else getattr(node, "targets", [])
        if any(isinstance(t, ast.Name) and t.id == "__match_args__" for t in targets):
            value = node.value
            assert isinstance(value, ast.Tuple)
            return [ast.literal_eval(element) for element in value.elts]
    return []


def _members(cls: ast.ClassDef, dotted: str) -> list[str]:
    """One bullet a property (fields in __match_args__ order first) and a method."""
    functions = [node for node in cls.body if isinstance(node, ast.FunctionDef)]
    properties = {node.name: node for node in functions if _is_property(node)}
    fields = match_args(cls)
    order = fields + [name for name in properties if name not in fields]
    lines = []
    for name in order:
        node = properties.get(name)
        if node is None:
            continue
        doc = ast.get_docstring(node)
        lines.append(f"- `{name}: {ast.unparse(node.returns)}`" + (f" — {prose(doc)}" if doc else ""))
    owner = dotted.rsplit(".", 1)[-1]
    for node in functions:
        if _is_property(node) or (node.name.startswith("_") and node.name != "__init__"):
            continue
        doc = ast.get_docstring(node)
        lines.append(f"- `{signature(node, owner)}`" + (f" — {prose(doc)}" if doc else ""))
    constants = [node.target.id for node in cls.body if isinstance(node, ast.AnnAssign)
                 and isinstance(node.target, ast.Name) and "ClassVar" in ast.unparse(node.annotation)
                 and not node.target.id.startswith("_")]
    if constants:
        lines.append("- members: " + ", ".join(f"`{dotted}.{name}`" for name in constants))
    return lines


def python_reference(dotted: str, tree: ast.Module | None = None) -> str:
    """The Markdown of the class or function `dotted` of the stub, under a
    heading of its name (## at the top level, ### for a nested class)."""
    tree = tree or stub_tree()
    node = _find(tree, dotted)
    heading = "#" * (dotted.count(".") + 2)
    out = [f"{heading} {dotted}", ""]
    if isinstance(node, ast.FunctionDef):
        out += ["```py", signature(node), "```", ""]
        doc = ast.get_docstring(node)
        if doc:
            out += [prose(doc), ""]
        return "\n".join(out)
    bases = [ast.unparse(base) for base in node.bases]
    if bases:
        out += ["```py", f"class {node.name}({', '.join(bases)})", "```", ""]
    doc = ast.get_docstring(node)
    if doc:
        out += [prose(doc), ""]
    members = _members(node, dotted)
    if members:
        out += members + [""]
    return "\n".join(out)


# ---------------------------------------------------------------------------
# The package tolvane_cli, from itself
# ---------------------------------------------------------------------------


def cli_package_reference() -> str:
    import inspect

    import tolvane_cli

    out = ["## tolvane_cli", "", prose(tolvane_cli.__doc__.split("\n\n")[0]), ""]
    functions = {node.name: node for node in stub_tree().body if isinstance(node, ast.FunctionDef)}
    for name in tolvane_cli.__all__:
        function = getattr(tolvane_cli, name)
        if function is getattr(__import__("tolvane"), name, None):
            # The module's own function under a second name: the stub gives
            # its signature, pybind11 none that inspect reads.
            text = signature(functions[name]).split(" -> ")[0]
            out.append(f"- `{text}` — the module's [`{name}`](#{name.lower()}), under the name callers import it by")
            continue
        text = name + str(inspect.signature(function)).replace("'", "")
        doc = inspect.getdoc(function) or ""
        out.append(f"- `{text}` — {prose(doc.split(chr(10) + chr(10))[0])}")
    return "\n".join(out + [""])


# ---------------------------------------------------------------------------
# The command line, from the command declarations
# ---------------------------------------------------------------------------


def _subparsers():
    import argparse

    from tolvane_cli.commandline import build_argument_parser

    parser = build_argument_parser()
    action = next(a for a in parser._actions if isinstance(a, argparse._SubParsersAction))
    return parser, action.choices


def _argument_spelling(argument) -> str:
    from tolvane_cli.commandline import BOOLEAN

    metavar = argument.options.get("metavar")
    if argument.positional:
        nargs = argument.options.get("nargs")
        name = metavar or argument.flags[0].upper()
        return {"+": f"{name}...", "*": f"[{name}...]", "?": f"[{name}]"}.get(nargs, name)
    flags = argument.option_names() if argument.action == BOOLEAN else argument.flags
    if argument.action in ("store", "append"):
        choices = argument.options.get("choices")
        value = "{" + ",".join(map(str, choices)) + "}" if choices else (metavar or argument.dest.upper())
        return ", ".join(f"{flag} {value}" for flag in flags)
    return ", ".join(flags)


def _default_note(argument) -> str:
    default = argument.options.get("default")
    if argument.positional or argument.action not in ("store",) or default in (None, [], ""):
        return ""
    return f" (default: `{default}`)"


def cli_reference() -> str:
    """Every command: what --help says, its usage, a table of its arguments."""
    from tolvane_cli.commandline import declared_commands

    parser, subparsers = _subparsers()
    out = ["## tolvane", "", "```text", parser.format_usage().strip(), "```", "",
           prose(parser.description or ""), "", prose(parser.epilog or ""), ""]
    for command in declared_commands():
        usage = subparsers[command.name].format_usage().strip()
        out += [f"## tolvane {command.name}", "", prose(command.help[:1].upper() + command.help[1:]) + ".", "",
                "```text", usage, "```", "", prose(command.description), "",
                "| argument | meaning |", "|---|---|"]
        for argument in command.arguments:
            out.append(f"| `{_argument_spelling(argument)}` | "
                       f"{table_cell(str(argument.options.get('help', '')))}{_default_note(argument)} |")
        out += ["", prose(command.epilog), ""]
    return "\n".join(out)


# ---------------------------------------------------------------------------
# The hook
# ---------------------------------------------------------------------------


def expand(markdown: str) -> str:
    """The page with each `::: NAME` line replaced by its reference."""
    tree: list[ast.Module] = []

    def reference(match: re.Match[str]) -> str:
        name = match[1]
        if name == "cli":
            return cli_reference()
        if name == "tolvane_cli":
            return cli_package_reference()
        if not tree:
            tree.append(stub_tree())
        return python_reference(name, tree[0])

    return DIRECTIVE.sub(reference, markdown)


def on_page_markdown(markdown: str, **_: object) -> str:
    return expand(markdown)
