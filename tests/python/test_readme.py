"""The documentation runs: every ```python and ```console example of the
README is executed from the checkout's root and its output compared, and
docs/API.md is compared with the stub package.

- A ```python block runs in a fresh interpreter; when a ```text block follows
  it, the block's standard output must equal that text.
- In a ```console block each line starting with "$ " is a shell command (with
  `tolvane` running this checkout's tool); the lines up to the next command
  are its expected output, standard error included."""

import ast
import inspect
import os
import re
import subprocess
import sys

import pytest

import tolvane
import tolvane_cli
from conftest import ROOT

README = ROOT / "README.md"
API = ROOT / "docs" / "API.md"
STUB = ROOT / "python" / "tolvane-stubs" / "__init__.pyi"


def fenced_blocks(path):
    """(language, text, line number of the opening fence) of every fenced block."""
    blocks = []
    language = None
    for number, line in enumerate(path.read_text().splitlines(), start=1):
        if language is None:
            opening = re.fullmatch(r"```(\w*)", line)
            if opening:
                language, start, lines = opening.group(1), number, []
        elif line == "```":
            blocks.append((language, "".join(lines), start))
            language = None
        else:
            lines.append(line + "\n")
    assert language is None, f"{path.name}: the block opened at line {start} is not closed"
    return blocks


def python_examples():
    """(code, expected output or None, line) of each python block."""
    blocks = fenced_blocks(README)
    examples = []
    for index, (language, text, line) in enumerate(blocks):
        if language == "python":
            follows = blocks[index + 1] if index + 1 < len(blocks) else None
            expected = follows[1] if follows and follows[0] == "text" else None
            examples.append(pytest.param(text, expected, id=f"README.md:{line}"))
    return examples


def console_commands():
    """(command, expected output lines, line) of each command of the console blocks."""
    commands = []
    for language, text, line in fenced_blocks(README):
        if language != "console":
            continue
        for offset, row in enumerate(text.splitlines(), start=1):
            if row.startswith("$ "):
                commands.append([row[2:], [], line + offset])
            else:
                assert commands, f"README.md:{line + offset}: output before any command"
                commands[-1][1].append(row)
    return [pytest.param(command, output, id=f"README.md:{number}") for command, output, number in commands]


def child_environment():
    module_dirs = [os.path.dirname(tolvane.__file__), os.path.dirname(tolvane_cli.__file__)]
    return dict(os.environ, PYTHONPATH=os.pathsep.join(module_dirs))


def test_every_text_block_shows_the_output_of_a_python_block():
    blocks = fenced_blocks(README)
    languages = [language for language, _, _ in blocks]
    assert {"python", "text", "console"} <= set(languages)
    for index, (language, _, line) in enumerate(blocks):
        if language == "text":
            assert index > 0 and blocks[index - 1][0] == "python", f"README.md:{line} follows no python block"


@pytest.mark.parametrize(("code", "expected"), python_examples())
def test_python_example(code, expected):
    result = subprocess.run(
        [sys.executable, "-c", code], cwd=ROOT, capture_output=True, text=True, env=child_environment()
    )
    assert (result.returncode, result.stderr) == (0, "")
    if expected is not None:
        assert result.stdout == expected


@pytest.mark.parametrize(("command", "expected"), console_commands())
def test_console_example(tmp_path, command, expected):
    tool = tmp_path / "tolvane"
    tool.write_text(f'#!/bin/sh\nexec "{sys.executable}" -m tolvane_cli "$@"\n')
    tool.chmod(0o755)
    env = child_environment()
    env["PATH"] = f"{tmp_path}{os.pathsep}{env['PATH']}"
    result = subprocess.run(
        ["sh", "-c", command], cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, env=env
    )
    assert result.stdout.splitlines() == expected


# ---------------------------------------------------------------------------
# docs/API.md against the stub
# ---------------------------------------------------------------------------


def stub_classes():
    tree = ast.parse(STUB.read_text())
    return {node.name: node for node in tree.body if isinstance(node, ast.ClassDef) and not node.name.startswith("_")}


def stub_properties(cls):
    return [
        f"{node.name}: {ast.unparse(node.returns)}"
        for node in cls.body
        if isinstance(node, ast.FunctionDef) and any(ast.unparse(d) == "property" for d in node.decorator_list)
    ]


def stub_signature(function, name):
    """`name(params) -> returns` as the reference writes it; the constructor
    as `NcfParser(params)`."""
    args = function.args
    positional = args.posonlyargs + args.args
    defaults = [None] * (len(positional) - len(args.defaults)) + args.defaults
    parts = []
    for argument, default in zip(positional, defaults):
        text = argument.arg if argument.annotation is None else f"{argument.arg}: {ast.unparse(argument.annotation)}"
        if default is not None:
            text += f" = {ast.literal_eval(default)!r}"
        parts.append(text)
        if args.posonlyargs and argument is args.posonlyargs[-1]:
            parts.append("/")
    if function.name == "__init__":
        return f"{name}({', '.join(parts[1:])})"
    return f"{function.name}({', '.join(parts)}) -> {ast.unparse(function.returns)}"


def api_sections():
    """The first code span of each bullet, by the section heading (## or ###) it is under."""
    sections = {}
    heading = None
    for line in API.read_text().splitlines():
        title = re.fullmatch(r"#{2,3} (\S+)", line)
        if title:
            heading = title.group(1)
            sections[heading] = []
        elif heading and line.startswith("- `"):
            sections[heading].append(line[3 : line.index("`", 3)])
    return sections


def test_the_reference_has_a_section_for_every_class_of_the_module():
    public = [name for name in vars(tolvane) if not name.startswith("_")]
    assert sorted(public) == sorted(stub_classes())
    assert set(public) | {"Diagnostic.Severity", "tolvane_cli"} == set(api_sections())


@pytest.mark.parametrize("name", [name for name in stub_classes() if name != "NcfParser"])
def test_the_reference_lists_every_property_with_the_stub_type(name):
    assert api_sections()[name] == stub_properties(stub_classes()[name])


def test_the_reference_gives_the_parser_signatures_of_the_stub():
    parser = stub_classes()["NcfParser"]
    methods = [node for node in parser.body if isinstance(node, ast.FunctionDef)]
    assert sorted(api_sections()["NcfParser"]) == sorted(stub_signature(m, "NcfParser") for m in methods)


def test_the_reference_names_every_severity_with_its_value():
    text = " ".join(API.read_text().split())
    members = tolvane.Diagnostic.Severity.__members__
    assert list(members) == ["Error", "Warning", "Info"]
    for name, member in members.items():
        assert f"`{name}` ({member.value})" in text
        assert f"`Diagnostic.{name}`" in text


def test_the_reference_gives_the_signatures_of_the_cli_module():
    def signature(function):
        return function.__name__ + str(inspect.signature(function)).replace("'", "")

    assert api_sections()["tolvane_cli"] == [signature(tolvane_cli.to_dict), signature(tolvane_cli.main)]
