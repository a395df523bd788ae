"""The README's ```python blocks run (a following ```text block is their
stdout) and its ```console blocks run ("$ " lines are commands, the rest their
output with stderr), from the checkout's root; docs/API.md matches the stub."""

import ast
import inspect
import os
import re
import subprocess
import sys

import pytest

import tolvane
import tolvane_cli
from conftest import ROOT, module_path

README = ROOT / "README.md"
API = ROOT / "docs" / "API.md"
STUB = ROOT / "python" / "tolvane-stubs" / "__init__.pyi"


def fenced_blocks(path):
    """(language, text, line number of the opening fence) of every fenced block."""
    text = path.read_text()
    return [(m[1], m[2], text.count("\n", 0, m.start()) + 1)
            for m in re.finditer(r"^```(\w*)\n(.*?)^```$", text, re.MULTILINE | re.DOTALL)]


def python_examples():
    """(code, expected stdout or None) of each python block, by line."""
    blocks = fenced_blocks(README) + [(None, None, None)]
    return [pytest.param(text, following[1] if following[0] == "text" else None, id=f"README.md:{line}")
            for (language, text, line), following in zip(blocks, blocks[1:]) if language == "python"]


def console_commands():
    """(command, expected output lines) of each console command, by line."""
    commands = []
    for language, text, line in fenced_blocks(README):
        for offset, row in enumerate(text.splitlines() if language == "console" else [], start=1):
            if row.startswith("$ "):
                commands.append(pytest.param(row[2:], [], id=f"README.md:{line + offset}"))
            else:
                assert commands, f"README.md:{line + offset}: output before any command"
                commands[-1].values[1].append(row)
    return commands


ENV = dict(os.environ, PYTHONPATH=module_path())


def test_every_text_block_follows_a_python_block():
    blocks = fenced_blocks(README)
    assert {"python", "text", "console"} <= {language for language, _, _ in blocks}
    for previous, (language, _, line) in zip([(None,)] + blocks, blocks):
        assert language != "text" or previous[0] == "python", f"README.md:{line} follows no python block"


@pytest.mark.parametrize(("code", "expected"), python_examples())
def test_python_example(code, expected):
    result = subprocess.run([sys.executable, "-c", code], cwd=ROOT, capture_output=True, text=True, env=ENV)
    assert (result.returncode, result.stderr) == (0, "")
    assert expected is None or result.stdout == expected


@pytest.mark.parametrize(("command", "expected"), console_commands())
def test_console_example(tmp_path, command, expected):
    tool = tmp_path / "tolvane"
    # A sanitizer's preload (tools/sanitize-module) applies to tolvane alone,
    # not to the other programs an example runs (a C compiler).
    preload = f'LD_PRELOAD="{ENV["LD_PRELOAD"]}" ' if "LD_PRELOAD" in ENV else ""
    tool.write_text(f'#!/bin/sh\n{preload}exec "{sys.executable}" -m tolvane_cli "$@"\n')
    tool.chmod(0o755)
    env = {k: v for k, v in ENV.items() if k != "LD_PRELOAD"} | {"PATH": f"{tmp_path}{os.pathsep}{ENV['PATH']}"}
    result = subprocess.run(["sh", "-c", command], cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True, env=env)
    assert result.stdout.splitlines() == expected


# --- docs/API.md against the stub ---------------------------------------------


def stub_classes():
    tree = ast.parse(STUB.read_text())
    return {node.name: node for node in tree.body if isinstance(node, ast.ClassDef) and not node.name.startswith("_")}


def stub_signature(function):
    """The signature as the reference writes it; the constructor as NcfParser(...)."""
    params = ast.unparse(function.args).replace("=", " = ")
    if function.name == "__init__":
        return f"NcfParser({params.removeprefix('self, ')})"
    return f"{function.name}({params}) -> {ast.unparse(function.returns)}"


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


def stub_functions():
    """The stub's public functions (the module's private helpers for the CLI are not documented)."""
    tree = ast.parse(STUB.read_text())
    return {node.name: node for node in tree.body
            if isinstance(node, ast.FunctionDef) and not node.name.startswith("_")}


def test_the_reference_has_a_section_for_every_class_and_function_of_the_module():
    public = {name for name in vars(tolvane) if not name.startswith("_")}
    assert public == set(stub_classes()) | set(stub_functions())
    assert public | {"Diagnostic.Severity", "Positions", "tolvane_cli"} == set(api_sections())


@pytest.mark.parametrize("name", stub_classes())
def test_the_reference_gives_every_field_and_parser_method_as_the_stub(name):
    functions = [node for node in stub_classes()[name].body if isinstance(node, ast.FunctionDef)]
    if name == "CodecError":  # an exception class: no fields
        assert api_sections()[name] == ["CodecError(ValueError)"]
        return
    if name == "NcfParser":
        assert sorted(api_sections()[name]) == sorted(stub_signature(f) for f in functions)
        return
    properties = {f.name: f"{f.name}: {ast.unparse(f.returns)}" for f in functions
                  if any(ast.unparse(d) == "property" for d in f.decorator_list)}
    fields = getattr(tolvane, name).__match_args__
    listed = api_sections()[name]
    missing = [field for field in fields if properties[field] not in listed]
    assert missing == [], f"docs/API.md: {name} does not list {missing}"
    assert listed == [properties[field] for field in fields], f"docs/API.md: {name} lists other fields"


def test_the_reference_gives_the_positions_and_the_functions_as_the_stub():
    record = {f.name: f for f in stub_classes()["NcfFile"].body if isinstance(f, ast.FunctionDef)}
    assert api_sections()["Positions"] == [
        "line: int", "column: int", stub_signature(record["position_of"])]
    for name in ("to_dict", "validate", "check", "check_files", "rules", "dumps", "dump", "pack", "unpack", "protected_id",
                 "checksum", "encode", "decode"):
        assert api_sections()[name] == [stub_signature(stub_functions()[name])], name


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

    assert tolvane_cli.to_dict is tolvane.to_dict
    assert api_sections()["tolvane_cli"] == [
        "to_dict", signature(tolvane_cli.format_diagnostic), signature(tolvane_cli.main)]
