"""The command-line tool: check, show, json, trace, standard input, exit
statuses, and to_dict() over every record kind."""

import contextlib
import io
import json
import os
import pathlib
import subprocess
import sys

import pytest
from hypothesis import given, settings
from hypothesis.strategies import data, lists, sampled_from

import tolvane
import tolvane_cli
import tolvane_cli.tree
from tolvane_cli import commandline
from api_samples import FIELDS, FULL, field_names, one_record_of_each_class
from conftest import END_OF_INPUT_MESSAGES, EXAMPLES, HEADER, ROOT, module_path
from conftest import to_dict as reference_dict
from test_check_formats import WARNING
from tolvane_cli import main, to_dict

DOOR = str(EXAMPLES / "door_module.ncf")
READING = "[--lenient | --no-lenient] [--config PATH] [--isolated]"
RECOVERING = "[--lenient | --no-lenient] [--no-recovery] [--config PATH] [--isolated]"
BROKEN = str(EXAMPLES / "broken.ncf")
ENV = dict(os.environ, PYTHONPATH=module_path())


def write(tmp_path, name, content):
    path = tmp_path / name
    path.write_bytes(content if isinstance(content, bytes) else content.encode())
    return str(path)


def run(args, stdin=b"", cwd=ROOT):
    """Runs python ARGS in a child that finds this tolvane; (status, stdout, stderr)."""
    result = subprocess.run([sys.executable, *args], input=stdin, capture_output=True, cwd=cwd, env=ENV)
    return result.returncode, result.stdout.decode(), result.stderr.decode()


def stray_x_trace(name):
    """What trace prints for HEADER + "x" read under `name`."""
    return [
        "[TRACE] ENTER ncf_file at 1:1 ('node_capability_file')",
        "  [TRACE] ENTER language_version at 2:1 ('LIN_language_version')",
        "  [TRACE] EXIT at 3:1 ('x')",
        "[TRACE] EXIT at 3:1 ('x')",
        f"{name}:3:1: error: Unexpected token at top level: 'x' [syntax]",
    ]


# --- check --------------------------------------------------------------------


@pytest.mark.parametrize(("options", "recover"), [([], True), (["--no-recovery"], False)])
def test_check_prints_each_diagnostic_in_the_compiler_format(capsys, options, recover):
    assert main(["check", *options, BROKEN]) == 1
    _, diagnostics = tolvane.check(BROKEN, recover=recover)
    expected = [f"{d.file}:{d.line}:{d.column}: {d.severity.name.lower()}: {d.message} [{d.code}]"
                for d in diagnostics]
    assert expected[0] == f"{BROKEN}:3:24: error: Expected string literal [syntax]"
    assert {d.code for d in diagnostics} == {"syntax", "not-checked"}
    summary = f"1 file checked: {len(expected) - 1} errors, 1 info in 1 file"
    assert capsys.readouterr() == ("\n".join(expected + [summary]) + "\n", "")


@pytest.mark.parametrize(
    ("files", "status", "summary"),
    [
        (["good"], 0, "1 file checked: no diagnostics"),
        (["good", "good"], 0, "2 files checked: no diagnostics"),
        (["bad"], 1, "1 file checked: 1 error in 1 file"),
        (["good", "bad", "bad"], 1, "3 files checked: 2 errors in 2 files"),
        (["warned"], 0, "1 file checked: 1 warning in 1 file"),
        (["warned", "bad", "warned"], 1, "3 files checked: 1 error, 2 warnings in 3 files"),
        (["missing"], 2, "0 files checked: no diagnostics; 1 file unreadable"),
        (["good", "missing"], 2, "1 file checked: no diagnostics; 1 file unreadable"),
        (["warned", "missing"], 2, "1 file checked: 1 warning in 1 file; 1 file unreadable"),
        (["bad", "missing", "missing"], 2, "1 file checked: 1 error in 1 file; 2 files unreadable"),
    ],
)
def test_check_exit_status_and_summary(tmp_path, capsys, files, status, summary):
    paths = {"good": write(tmp_path, "good.ncf", HEADER), "bad": write(tmp_path, "bad.ncf", HEADER + "x"),
             "warned": write(tmp_path, "warned.ncf", WARNING), "missing": str(tmp_path / "missing.ncf")}
    assert main(["check", *(paths[name] for name in files)]) == status
    assert capsys.readouterr().out.splitlines()[-1] == summary


def test_check_goes_on_after_an_unreadable_file_and_names_it(tmp_path, capsys):
    missing = str(tmp_path / "missing.ncf")
    bad = write(tmp_path, "bad.ncf", HEADER + "x")
    empty_folder = tmp_path / "sub"
    empty_folder.mkdir()
    assert main(["check", missing, str(empty_folder), bad]) == 2
    out, err = capsys.readouterr()
    assert err.splitlines() == [f"tolvane: cannot read {missing}: No such file or directory"]
    assert out.splitlines() == [
        f"{bad}:3:1: error: Unexpected token at top level: 'x' [syntax]",
        "1 file checked: 1 error in 1 file; 1 file unreadable",
    ]


# --- standard input, usage, --help and the process ----------------------------


@pytest.mark.parametrize(
    ("command", "status", "first_lines"),
    [
        ("check", 1, ["<stdin>:3:1: error: Unexpected token at top level: '@' [syntax]"]),
        ("show", 0, ["NcfFile", "  filename = '<stdin>'", "  language_version = '2.1 \u00e9'", "  nodes = []"]),
        # The Latin-1 byte reaches the parser undecoded, which makes it UTF-8.
        ("json", 0, ["{", '  "ncf_file": {', '    "filename": "<stdin>",', '    "language_version": "2.1 \\u00e9",',
                     '    "nodes": []', "  },", '  "diagnostics": [', "    {", '      "severity": "Error",']),
        ("trace", 0, ["[TRACE] ENTER ncf_file at 1:1 ('node_capability_file')"]),
    ],
)
def test_every_command_reads_stdin_as_bytes(command, status, first_lines):
    text = HEADER.replace('"2.1"', '"2.1 \xe9"').encode("latin-1") + b"@"
    out = run(["-m", "tolvane_cli", command, "-"], stdin=text)
    assert out[0::2] == (status, "")
    assert out[1].splitlines()[: len(first_lines)] == first_lines


def test_empty_stdin_is_parsed_as_empty_input_even_beside_a_file_named_stdin(tmp_path):
    # The parser reads the named file when given no text: that must not happen here.
    write(tmp_path, "<stdin>", HEADER)
    status, out, err = run(["-m", "tolvane_cli", "check", "-"], cwd=tmp_path)
    assert (status, err) == (1, "")
    assert out.splitlines() == [f"<stdin>:1:1: error: {END_OF_INPUT_MESSAGES[0]} [syntax]",
                                "1 file checked: 1 error in 1 file"]


@pytest.mark.parametrize(
    ("argv", "status", "line"),
    [
        ([], 2, "tolvane: error: the following arguments are required: COMMAND"),
        (["lint", DOOR], 2, "tolvane: error: argument COMMAND: invalid choice: 'lint'"),
        (["check"], 2, "tolvane check: error: the following arguments are required: FILE"),
        (["check", "--format", "xml", DOOR], 2, "tolvane check: error: argument --format: invalid choice: 'xml'"),
        (["check", DOOR, "--select"], 2, "tolvane check: error: argument --select: expected one argument"),
        (["show", DOOR, BROKEN], 2, "tolvane: error: unrecognized arguments: " + BROKEN),
        (["json"], 2, "tolvane json: error: the following arguments are required: FILE"),
        (["trace", "--verbose", DOOR], 2, "tolvane: error: unrecognized arguments: --verbose"),
        (["--help"], 0, "usage: tolvane [-h] [--version] COMMAND ..."),
        (["check", "--help"], 0, "usage: tolvane check [-h] [--select CODE,...] [--ignore CODE,...] [--werror] "
                                 "[--syntax-only] [--format {text,json,sarif,github}] [--lenient | --no-lenient] "
                                 "[--no-recovery] [--statistics] [-q] [--jobs N] [--force-exclude] [--config PATH] [--isolated] "
                                 "FILE [FILE ...]"),
        (["show", "-h"], 0, f"usage: tolvane show [-h] {RECOVERING} FILE"),
        (["json", "--help"], 0, f"usage: tolvane json [-h] [--positions] {RECOVERING} FILE"),
        (["trace", "--help"], 0, f"usage: tolvane trace [-h] {READING} FILE"),
        (["fmt", "--help"], 0, "usage: tolvane fmt [-h] [--in-place] [--check] [--from-json] [--drop-comments] "
                               "[--lenient | --no-lenient] [--force-exclude] [--config PATH] [--isolated] "
                               "FILE [FILE ...]"),
        (["dump", "--help"], 0, f"usage: tolvane dump [-h] [--node NAME] [--frame NAME] [--ascii] {RECOVERING} FILE"),
        (["html", "--help"], 0, f"usage: tolvane html [-h] [-o DIR] {RECOVERING} FILE [FILE ...]"),
    ],
)
def test_usage_errors_exit_2_and_help_exits_0(capsys, argv, status, line):
    assert main(argv) == status
    out, err = capsys.readouterr()
    if status == 2:  # usage first, the error last, all on stderr
        assert (out, err.startswith("usage: tolvane")) == ("", True)
        assert line in err.splitlines()[-1]
    else:
        usage = " ".join(out.split("\n\n")[0].split())  # however argparse wraps it
        assert (usage, err) == (line, "")
        assert "Exit status: 0" in " ".join(out.split())
    if argv == ["--help"]:
        assert [row.split()[0] for row in out.splitlines() if row.startswith("    ")] == [
            "check", "show", "json", "trace", "fmt", "dump", "html", "generate-c", "decode", "encode", "ldf", "lsp"]


@pytest.mark.parametrize("command", ["show", "json", "trace"])
def test_an_unreadable_file_exits_2_with_its_name(tmp_path, capsys, command):
    missing = str(tmp_path / "missing.ncf")
    assert main([command, missing]) == 2
    assert capsys.readouterr() == ("", f"tolvane: cannot read {missing}: No such file or directory\n")


def test_a_closed_pipe_ends_quietly():
    process = subprocess.Popen([sys.executable, "-m", "tolvane_cli", "show", DOOR],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=ENV)
    process.stdout.close()  # before the tool has written anything
    err = process.stderr.read()
    process.stderr.close()
    assert (process.wait(), err) == (1, b"")


# --- show ---------------------------------------------------------------------

# One node with a record in every place show can put one, without a diagnostic.
RICH = """\
node_capability_file;
LIN_language_version = "2.1";
node n {
  general {
    LIN_protocol_version = "2.1"; supplier = 0x1E; function = 2; variant = 0;
    bitrate = select { 9.6 kbps, 19.2 kbps };
  }
  diagnostic { NAD = 1, 2; }
  frames {
    publish f { length = 1; signals { s { size = 2; init_value = { 1, 2 }; offset = 0; e; } } }
  }
  encoding { e { physical_value, 1, 3, 0.5, -1, "V"; } }
  status_management { response_error = s; }
}
"""

RICH_SHOWN = """\
NcfFile
  filename = 'rich.ncf'
  language_version = '2.1'
  nodes[0]: NcfNodeDef
    name = 'n'
    general: NcfGeneralDef
      protocol_version = '2.1'
      supplier_id = 30
      function_id = 2
      variant_id = 0
      bitrate: NcfBitrateDefinition
        type = 'select'
        min_br = None
        max_br = None
        rates = [9.6, 19.2]
        fixed_rate = None
      sends_wake_up_signal = None
      volt_from = None
      volt_to = None
      temp_from = None
      temp_to = None
      conformance = None
    diagnostic: NcfDiagnosticDef
      nad_lhs = 1
      nad_rhs = None
      nad_list = [2]
      diagnostic_class = None
      p2_min = None
      st_min = None
      n_as_timeout = None
      n_cr_timeout = None
      support_sids = []
      max_message_length = None
    frames[0]: NcfSingleFrame
      kind = 'publish'
      name = 'f'
      properties: NcfFrameProperties
        length = 1
        min_period = None
        max_period = None
        event_triggered_frame = None
      signals[0]: NcfSignalDef
        name = 's'
        properties: NcfSignalProperties
          init_value: NcfInitValue
            is_array = True
            scalar = 0
            array_values = [1, 2]
          size = 2
          offset = 0
          encoding_name = 'e'
    encodings[0]: NcfEncodingEntry
      name = 'e'
      values[0]: NcfEncodingValue
        type = 'physical'
        logical_value = None
        physical_range: NcfPhysicalRange
          min_value = 1
          max_value = 3
          scale = 0.5
          offset_val = -1.0
          text_info = 'V'
    status: NcfStatusManagement
      response_error = 's'
      fault_state_signals = []
    free_text = None
"""


def test_show_prints_every_field_of_every_record(tmp_path, capsys):
    path = write(tmp_path, "rich.ncf", RICH)
    assert main(["show", path]) == 0
    assert capsys.readouterr() == (RICH_SHOWN.replace("'rich.ncf'", repr(path)), "")


def test_show_exits_0_despite_diagnostics_and_does_not_print_them(capsys):
    assert main(["show", BROKEN]) == 0
    out, err = capsys.readouterr()
    assert (out.splitlines()[:2], err) == (["NcfFile", f"  filename = {BROKEN!r}"], "")
    assert "error:" not in out


def test_show_lines_of_a_diagnostic_name_the_severity():
    assert tolvane_cli.tree.show_lines(one_record_of_each_class()["Diagnostic"]) == [
        "Diagnostic", "  severity = Error", "  file = 'broken.ncf'", "  line = 1", "  column = 21",
        "  message = \"Expected ;, found '<EOF>'\"", "  code = 'syntax'",
    ]


# --- json and to_dict ----------------------------------------------------------


def json_of(path, capsys):
    assert main(["json", path]) == 0
    out, err = capsys.readouterr()
    assert err == ""
    return out


@pytest.mark.parametrize("content", [FULL, pathlib.Path(BROKEN).read_bytes()], ids=["full", "broken"])
def test_json_is_the_whole_tree_and_the_diagnostics_in_field_order(tmp_path, capsys, content):
    path = write(tmp_path, "t.ncf", content)
    output = json_of(path, capsys)
    assert output == json_of(path, capsys) and output.isascii() and output.endswith("}\n")
    parser = tolvane.NcfParser(path, recover=True)
    expected = {"ncf_file": reference_dict(parser.parse()), "diagnostics": reference_dict(parser.get_diagnostics())}
    # Compared as text, so that the order of the keys and int against float count.
    assert output == json.dumps(expected, indent=2) + "\n"


def test_json_with_positions_adds_them_to_the_records_and_only_there(tmp_path, capsys):
    path = write(tmp_path, "t.ncf", FULL + b"x")
    assert main(["json", "--positions", path]) == 0
    document = json.loads(capsys.readouterr().out)
    parser = tolvane.NcfParser(path)
    assert document["ncf_file"] == tolvane.to_dict(parser.parse(), positions=True)
    mirror = document["ncf_file"]["nodes"][0]["frames"][0]["signals"][1]
    assert (mirror["name"], mirror["line"], mirror["column"]) == ("Mirror", 15, 9)
    assert document["diagnostics"] == [tolvane.to_dict(d) for d in parser.get_diagnostics()]


@pytest.mark.parametrize("kind", FIELDS)
def test_to_dict_gives_every_field_of_every_record_class_in_order(kind):
    record = one_record_of_each_class()[kind]
    assert type(record).__name__ == kind
    assert list(to_dict(record)) == field_names(kind)


@pytest.mark.parametrize(
    ("value", "type_name"),
    [(None, "NoneType"), ({"name": "n"}, "dict"), (tolvane.Diagnostic.Error, "Severity"),
     (tolvane.NcfParser("a.ncf", "x"), "NcfParser")],
)
def test_to_dict_refuses_what_is_not_a_record(value, type_name):
    with pytest.raises(TypeError) as raised:
        to_dict(value)
    assert str(raised.value) == f"to_dict() takes a tolvane record, not {type_name}"


# --- trace --------------------------------------------------------------------


def test_trace_comes_between_earlier_output_and_the_diagnostics(tmp_path, capfd):
    path = write(tmp_path, "bad.ncf", HEADER + "x")
    print("before")  # still in Python's buffer when the trace starts
    assert main(["trace", path]) == 0
    assert capfd.readouterr() == ("\n".join(["before", *stray_x_trace(path)]) + "\n", "")


def test_trace_into_a_pipe_keeps_its_order():
    # Into a pipe both Python's and C's stdout buffer: Python's "before" must
    # come out before the trace, and the trace before Python's diagnostics.
    script = "import sys, tolvane_cli; print('before'); sys.exit(tolvane_cli.main(['trace', '-']))"
    status, out, err = run(["-c", script], stdin=(HEADER + "x").encode())
    assert (status, err, out.splitlines()) == (0, "", ["before", *stray_x_trace("<stdin>")])


# --- the quick reading of a command line ---------------------------------------


def argparse_reading(argv):
    """What argparse reads from `argv`, as a dict; None when it refuses it."""
    try:
        with contextlib.redirect_stderr(io.StringIO()), contextlib.redirect_stdout(io.StringIO()):
            return vars(commandline.build_argument_parser().parse_args(argv))
    except SystemExit:
        return None


def quick_reading(argv):
    quick = commandline.quick_read(argv)
    return None if quick is None else vars(quick)


@pytest.mark.parametrize("argv", [
    ["check", "a.ncf"],
    ["check", "-", "b.ncf"],
    ["check", "--werror", "a.ncf", "b.ncf"],
    ["check", "a.ncf", "--syntax-only", "--werror"],
    ["check", "--select", "nad,frame", "--ignore=nad-range", "--select", "syntax", "a.ncf"],
    ["check", "--format", "json", "--format=github", "a.ncf"],
    ["check", "--lenient", "a.ncf", "--no-lenient", "--jobs", "3", "-q", "--statistics"],
    ["check", "--config", "x/pyproject.toml", "--force-exclude", "."],
    ["show", "a.ncf"], ["json", "--positions", "-"], ["trace", "--isolated", "a.ncf"],
    ["check", "--no-recovery", "a.ncf"], ["show", "--no-recovery", "--lenient", "a.ncf"],
    ["fmt", "--check", "a", "b"], ["decode", "a.ncf", "f", "00", "01"], ["decode", "--node", "n", "a", "f", "00"],
    ["encode", "a.ncf", "f"], ["encode", "a.ncf", "f", "x=1", "y=-2", "--unused-bits", "1"],
])
def test_the_quick_reading_of_common_command_lines_is_argparses(argv):
    assert quick_reading(argv) is not None
    assert quick_reading(argv) == argparse_reading(argv)


@pytest.mark.parametrize("argv", [
    [], ["lint", "a.ncf"], ["check"], ["check", "--werror"], ["check", "-h", "a.ncf"], ["check", "--help"],
    ["check", "--wer", "a.ncf"],  # an abbreviation argparse accepts
    ["check", "--select", "a.ncf"], ["check", "a.ncf", "--select"], ["check", "--select", "-x", "a.ncf"],
    ["check", "--format", "xml", "a.ncf"], ["check", "a.ncf", "--werror", "b.ncf"],
    ["check", "--", "a.ncf"], ["check", "-x", "a.ncf"], ["check", "--jobs", "0", "a"], ["check", "--werror=1", "a"],
    ["check", "--jobs", "-1", "a"], ["decode", "a.ncf", "f"], ["show", "a", "b"], ["encode", "--unused-bits", "2", "a", "f"],
])
def test_what_the_quick_reading_leaves_to_argparse(argv):
    assert commandline.quick_read(argv) is None


def _words_for(command):
    """Words a command line of `command` may hold: its options, some with a
    value attached, values, and words argparse reads its own way."""
    names = [name for argument in command.arguments if not argument.positional for name in argument.option_names()]
    values = ["a.ncf", "-", "x", "1", "0", "nad", "json", "github", "-1", "--", "-x", "f=2", ""]
    return names + [f"{name}={value}" for name in names[:4] for value in ("1", "nad", "")] + values + ["--wer", "-h"]


@settings(max_examples=300, deadline=None)
@given(data())
def test_the_quick_reading_answers_only_as_argparse_does(data):
    command = data.draw(sampled_from(commandline.declared_commands()))
    argv = [command.name, *data.draw(lists(sampled_from(_words_for(command)), max_size=7))]
    quick = quick_reading(argv)
    if quick is not None:
        assert quick == argparse_reading(argv)


def test_the_dispatch_table_names_the_commands_its_modules_declare():
    declared = commandline.declared_commands()
    assert [command.name for command in declared] == list(commandline.COMMAND_MODULES)
    for command in declared:
        assert command.run.__module__ == f"tolvane_cli.{commandline.COMMAND_MODULES[command.name]}"


@pytest.mark.parametrize(("argv", "status", "line"), [
    (["check", "--wer", DOOR], 0, "1 file checked: no diagnostics"),
    (["check", DOOR, "--werror", BROKEN], 2, "tolvane: error: unrecognized arguments: " + BROKEN),
    (["check", "--format", "xml", DOOR], 2, "tolvane check: error: argument --format: invalid choice"),
    (["check", "--select", "sytnax", DOOR], 2, "tolvane: --select: unknown code 'sytnax'"),
])
def test_check_command_lines_outside_the_quick_reading_behave_as_before(capsys, argv, status, line):
    assert main(argv) == status
    out, err = capsys.readouterr()
    assert line in out + err
