"""The documentation's examples are tests. In README.md, CONTRIBUTING.md and
every page of docs/, each ```python block runs (a following ```text block is
its stdout) and each ```console block runs ("$ " lines are commands, the rest
their output with stderr), from a folder of their own that holds a copy of
examples/. The generated references (tools/docs_reference.py) name every
class, function, field and command of what they are generated from."""

import ast
import importlib.util
import inspect
import os
import re
import shutil
import subprocess
import sys

import pytest

import tolvane
import tolvane_cli
from conftest import ROOT, module_path
from tolvane_cli import commandline

README = ROOT / "README.md"
DOCS = [README, ROOT / "CONTRIBUTING.md", *sorted((ROOT / "docs").rglob("*.md"))]
PYTHON_REFERENCE = ROOT / "docs" / "reference" / "python.md"
CLI_REFERENCE = ROOT / "docs" / "reference" / "cli.md"

_spec = importlib.util.spec_from_file_location("docs_reference", ROOT / "tools" / "docs_reference.py")
docs_reference = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(docs_reference)


def fenced_blocks(path):
    """(language, text, line number of the opening fence) of every fenced block."""
    text = path.read_text()
    return [(m[1], m[2], text.count("\n", 0, m.start()) + 1)
            for m in re.finditer(r"^```(\w*)\n(.*?)^```$", text, re.MULTILINE | re.DOTALL)]


def where(path, line):
    return f"{path.relative_to(ROOT)}:{line}"


def python_examples():
    """(code, expected stdout or None) of each python block, by file and line."""
    examples = []
    for path in DOCS:
        blocks = fenced_blocks(path) + [(None, None, None)]
        examples += [pytest.param(text, following[1] if following[0] == "text" else None, id=where(path, line))
                     for (language, text, line), following in zip(blocks, blocks[1:]) if language == "python"]
    return examples


def console_sessions():
    """Each console block as a session: its (line, command, expected output
    lines) in order, by file and line of the block."""
    sessions = []
    for path in DOCS:
        for language, text, line in fenced_blocks(path):
            if language != "console":
                continue
            commands = []
            for offset, row in enumerate(text.splitlines(), start=1):
                if row.startswith("$ "):
                    commands.append((where(path, line + offset), row[2:], []))
                else:
                    assert commands, f"{where(path, line + offset)}: output before any command"
                    commands[-1][2].append(row)
            sessions.append(pytest.param(commands, id=where(path, line)))
    return sessions


ENV = dict(os.environ, PYTHONPATH=module_path())


@pytest.fixture
def workdir(tmp_path):
    """A folder of the example's own, with the examples it names: what an
    example writes (generated C, a formatted file) goes nowhere another
    example, or another worker running the same example of another page, reads."""
    shutil.copytree(ROOT / "examples", tmp_path / "examples")
    # The top of a repository, where the search for settings files stops, as
    # it stops at the checkout's top in the checkout.
    (tmp_path / ".git").mkdir()
    return tmp_path


def test_the_readme_shows_the_module_and_the_command_line():
    assert {"python", "text", "console"} <= {language for language, _, _ in fenced_blocks(README)}


@pytest.mark.parametrize("path", DOCS, ids=lambda path: str(path.relative_to(ROOT)))
def test_every_text_block_follows_a_python_block(path):
    blocks = fenced_blocks(path)
    for previous, (language, _, line) in zip([(None,)] + blocks, blocks):
        assert language != "text" or previous[0] == "python", f"{where(path, line)} follows no python block"


@pytest.mark.parametrize(("code", "expected"), python_examples())
def test_python_example(workdir, code, expected):
    result = subprocess.run([sys.executable, "-c", code], cwd=workdir, capture_output=True, text=True, env=ENV)
    assert (result.returncode, result.stderr) == (0, "")
    assert expected is None or result.stdout == expected


@pytest.mark.parametrize("commands", console_sessions())
def test_console_example(workdir, tmp_path_factory, commands):
    # The commands of a block run one after the other in one folder, as in
    # a shell: what one writes, the next reads.
    bin_folder = tmp_path_factory.mktemp("bin")
    tool = bin_folder / "tolvane"
    # A sanitizer's preload (tools/sanitize-module) applies to tolvane alone,
    # not to the other programs an example runs (a C compiler).
    preload = f'LD_PRELOAD="{ENV["LD_PRELOAD"]}" ' if "LD_PRELOAD" in ENV else ""
    tool.write_text(f'#!/bin/sh\n{preload}exec "{sys.executable}" -m tolvane_cli "$@"\n')
    tool.chmod(0o755)
    env = {k: v for k, v in ENV.items() if k != "LD_PRELOAD"} | {"PATH": f"{bin_folder}{os.pathsep}{ENV['PATH']}"}
    for place, command, expected in commands:
        result = subprocess.run(["sh", "-c", command], cwd=workdir, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, text=True, env=env)
        assert result.stdout.splitlines() == expected, place


# --- links of the files outside the site --------------------------------------
# mkdocs build --strict checks the site's own links; these files are read on
# the forge and in the sdist.


@pytest.mark.parametrize("path", [README, ROOT / "CONTRIBUTING.md"], ids=lambda path: path.name)
def test_the_relative_links_of_the_front_files_reach_a_file(path):
    targets = re.findall(r"\]\(([^)#]+)(?:#[^)]*)?\)", path.read_text())
    relative = [target for target in targets if "://" not in target]
    assert relative, f"{path.name} links to no page of the documentation"
    assert [target for target in relative if not (ROOT / target).exists()] == []


# --- the Python reference against the module ----------------------------------


def stub_classes():
    tree = docs_reference.stub_tree()
    return {node.name: node for node in tree.body if isinstance(node, ast.ClassDef) and not node.name.startswith("_")}


def stub_functions():
    """The stub's public functions (the module's private helpers for the CLI are not documented)."""
    tree = docs_reference.stub_tree()
    return {node.name: node for node in tree.body
            if isinstance(node, ast.FunctionDef) and not node.name.startswith("_")}


def reference_directives():
    return docs_reference.DIRECTIVE.findall(PYTHON_REFERENCE.read_text())


def bullets(markdown):
    """The code span that opens each bullet."""
    return [line[3: line.index("`", 3)] for line in markdown.splitlines() if line.startswith("- `")]


def test_the_reference_has_an_entry_for_every_class_and_function_of_the_module():
    public = {name for name in vars(tolvane) if not name.startswith("_")}
    assert public == set(stub_classes()) | set(stub_functions())
    directives = reference_directives()
    assert len(directives) == len(set(directives)), "an entry is given twice"
    assert set(directives) == public | {"Diagnostic.Severity", "tolvane_cli"}


@pytest.mark.parametrize("name", sorted(set(stub_classes()) - {"NcfParser", "CodecError"}))
def test_the_reference_gives_every_field_of_a_record_in_the_modules_order(name):
    functions = {f.name: f for f in stub_classes()[name].body if isinstance(f, ast.FunctionDef)}
    fields = getattr(tolvane, name).__match_args__
    listed = bullets(docs_reference.python_reference(name))
    expected = [f"{field}: {ast.unparse(functions[field].returns)}" for field in fields]
    missing = [field for field, entry in zip(fields, expected) if entry not in listed]
    assert missing == [], f"the reference of {name} does not list {missing}"
    assert listed[: len(fields)] == expected, f"the reference of {name} lists other fields first"


def test_the_reference_gives_the_parsers_methods_the_exceptions_base_and_every_records_positions():
    assert issubclass(tolvane.CodecError, ValueError)
    assert "```py\nclass CodecError(ValueError)\n```" in docs_reference.python_reference("CodecError")
    listed = bullets(docs_reference.python_reference("NcfParser"))
    methods = [name for name in vars(tolvane.NcfParser) if not name.startswith("_")]
    assert sorted(entry.split("(")[0] for entry in listed) == sorted(["NcfParser", *methods])
    for name in stub_classes():
        if hasattr(getattr(tolvane, name), "position_of"):
            entries = bullets(docs_reference.python_reference(name))
            assert {"line: int", "column: int"} <= set(entries), name
            assert any(entry.startswith("position_of(name: str, index: int | None = None)") for entry in entries), name


def runtime_parameters(function):
    """The parameter names of a function of the module, as pybind11's docstring gives them."""
    first_line = function.__doc__.strip().splitlines()[0]
    inside = first_line[first_line.index("(") + 1: first_line.rindex(") ->")]
    return [name for name in re.findall(r"(?:^|, )\*?(\w+)(?=[:,]|$)", inside) if name != "arg0"]


@pytest.mark.parametrize("name", sorted(stub_functions()))
def test_the_reference_gives_a_function_with_the_parameters_the_module_takes(name):
    text = docs_reference.python_reference(name)
    signature = re.search(r"```py\n(.*)\n```", text)[1]
    assert signature.startswith(f"{name}(")
    documented = [parameter.arg for parameter in
                  ast.parse(f"def {signature}: ...").body[0].args.args
                  + ast.parse(f"def {signature}: ...").body[0].args.kwonlyargs]
    assert documented == runtime_parameters(getattr(tolvane, name))


def test_the_reference_names_every_severity_with_its_value():
    text = " ".join(PYTHON_REFERENCE.read_text().split())
    members = tolvane.Diagnostic.Severity.__members__
    assert list(members) == ["Error", "Warning", "Info"]
    for name, member in members.items():
        assert f"`{name}` ({member.value})" in text
        assert f"`Diagnostic.{name}`" in text


def test_the_reference_gives_the_signatures_of_the_cli_module():
    def signature(function):
        return function.__name__ + str(inspect.signature(function)).replace("'", "")

    assert tolvane_cli.to_dict is tolvane.to_dict
    listed = bullets(docs_reference.cli_package_reference())
    # to_dict is the module's function, whose signature the stub gives.
    to_dict = docs_reference.signature(stub_functions()["to_dict"]).split(" -> ")[0]
    assert set(tolvane_cli.__all__) == {"to_dict", "format_diagnostic", "main"}
    assert listed == [to_dict if name == "to_dict" else signature(getattr(tolvane_cli, name))
                      for name in tolvane_cli.__all__]


def test_docstrings_reach_the_page_as_text_not_as_markup():
    # The docstrings say `raw * scale` and `<stdin>` and name `offset_val`
    # literally; Markdown would take them for emphasis and HTML.
    assert docs_reference.prose("raw * scale + offset_val for `a*b` <stdin>") == (
        "raw \\* scale + offset\\_val for `a*b` &lt;stdin>")


# --- the command-line reference against the declarations ----------------------


def test_the_command_line_reference_gives_every_command_and_option():
    assert "::: cli" in CLI_REFERENCE.read_text()
    text = docs_reference.cli_reference()
    parser = commandline.build_argument_parser()
    subparsers = next(action for action in parser._actions if action.dest == "command").choices
    assert re.findall(r"^## tolvane (\S+)$", text, re.MULTILINE) == list(commandline.COMMAND_MODULES)
    for name, sub in subparsers.items():
        section = text.split(f"## tolvane {name}\n", 1)[1].split("\n## ", 1)[0]
        options = {flag for action in sub._actions for flag in action.option_strings} - {"-h", "--help"}
        missing = sorted(flag for flag in options if not re.search(rf"`[^`]*{re.escape(flag)}\b", section))
        assert missing == [], f"tolvane {name}: {missing}"


# --- the workshop -------------------------------------------------------------


def test_the_contributing_guide_gives_the_law_of_every_fuzz_target():
    declared = re.findall(r'^\s*\{"(\w+)", \w+_target\},$', (ROOT / "fuzz" / "targets.hpp").read_text(), re.MULTILINE)
    assert len(declared) >= 12
    contributing = (ROOT / "CONTRIBUTING.md").read_text()
    table = contributing[contributing.index("| target | law |"):]
    listed = re.findall(r"^\| `(\w+)` \|", table, re.MULTILINE)
    assert sorted(listed) == sorted(declared)
