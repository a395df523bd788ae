"""The command-line tool: check, show, json, trace, standard input, exit
statuses, and to_dict() over every record kind."""

import json
import os
import pathlib
import subprocess
import sys

import pytest

import tolvane
import tolvane_cli
from api_samples import FIELDS, FULL, field_names, one_record_of_each_class, parse_full
from conftest import END_OF_INPUT_MESSAGES, EXAMPLES, HEADER, ROOT
from conftest import to_dict as reference_dict
from tolvane_cli import main, to_dict

DOOR = str(EXAMPLES / "door_module.ncf")
BROKEN = str(EXAMPLES / "broken.ncf")

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


def write(tmp_path, name, content):
    path = tmp_path / name
    path.write_bytes(content if isinstance(content, bytes) else content.encode())
    return str(path)


def child_environment():
    """The environment of a child Python that finds the same tolvane and tolvane_cli."""
    module_dirs = [os.path.dirname(tolvane.__file__), os.path.dirname(tolvane_cli.__file__)]
    return dict(os.environ, PYTHONPATH=os.pathsep.join(module_dirs))


def run_cli(*args, stdin=b"", cwd=ROOT):
    """Runs `python -m tolvane_cli ARGS` in a new process; returns the exit
    status and the decoded stdout and stderr."""
    result = subprocess.run(
        [sys.executable, "-m", "tolvane_cli", *args], input=stdin, capture_output=True, cwd=cwd,
        env=child_environment(),
    )
    return result.returncode, result.stdout.decode(), result.stderr.decode()


def stray_x_trace(name):
    """What trace prints for HEADER + "x" read under `name`."""
    return [
        "[TRACE] ENTER ncf_file at 1:1 ('node_capability_file')",
        "  [TRACE] ENTER language_version at 2:1 ('LIN_language_version')",
        "  [TRACE] EXIT at 3:1 ('x')",
        "[TRACE] EXIT at 3:1 ('x')",
        f"{name}:3:1: error: Unexpected token at top level: 'x'",
    ]


# --- check --------------------------------------------------------------------


def test_check_prints_each_diagnostic_in_the_compiler_format(capsys):
    assert main(["check", BROKEN]) == 1
    out, err = capsys.readouterr()
    parser = tolvane.NcfParser(BROKEN)
    parser.parse()
    expected = [f"{d.file}:{d.line}:{d.column}: error: {d.message}" for d in parser.get_diagnostics()]
    assert len(expected) > 1
    assert out.splitlines() == expected + [f"1 file checked: {len(expected)} diagnostics in 1 file"]
    assert err == ""


@pytest.mark.parametrize(
    ("files", "status", "summary"),
    [
        (["good"], 0, "1 file checked: no diagnostics"),
        (["good", "good"], 0, "2 files checked: no diagnostics"),
        (["bad"], 1, "1 file checked: 1 diagnostic in 1 file"),
        (["good", "bad", "bad"], 1, "3 files checked: 2 diagnostics in 2 files"),
        (["missing"], 2, "0 files checked: no diagnostics; 1 file unreadable"),
        (["good", "missing"], 2, "1 file checked: no diagnostics; 1 file unreadable"),
        (["bad", "missing", "missing"], 2, "1 file checked: 1 diagnostic in 1 file; 2 files unreadable"),
    ],
)
def test_check_exit_status_and_summary(tmp_path, capsys, files, status, summary):
    paths = {
        "good": write(tmp_path, "good.ncf", HEADER),
        "bad": write(tmp_path, "bad.ncf", HEADER + "x"),
        "missing": str(tmp_path / "missing.ncf"),
    }
    assert main(["check", *(paths[name] for name in files)]) == status
    assert capsys.readouterr().out.splitlines()[-1] == summary


def test_check_goes_on_after_an_unreadable_file_and_names_it(tmp_path, capsys):
    missing = str(tmp_path / "missing.ncf")
    bad = write(tmp_path, "bad.ncf", HEADER + "x")
    assert main(["check", missing, str(tmp_path), bad]) == 2
    out, err = capsys.readouterr()
    assert err.splitlines() == [
        f"tolvane: cannot read {missing}: No such file or directory",
        f"tolvane: cannot read {tmp_path}: Is a directory",
    ]
    assert out.splitlines() == [
        f"{bad}:3:1: error: Unexpected token at top level: 'x'",
        "1 file checked: 1 diagnostic in 1 file; 2 files unreadable",
    ]


# --- standard input -----------------------------------------------------------


def test_stdin_is_read_as_bytes_and_named_stdin():
    # A Latin-1 byte in a string literal reaches the parser unchanged, which
    # turns it into UTF-8; decoding the input on the way would have failed.
    text = HEADER.replace('"2.1"', '"2.1 \xe9"').encode("latin-1") + b"@"
    status, out, err = run_cli("json", "-", stdin=text)
    assert (status, err) == (0, "")
    assert json.loads(out) == {
        "ncf_file": {"filename": "<stdin>", "language_version": "2.1 \u00e9", "nodes": []},
        "diagnostics": [
            {"severity": "Error", "file": "<stdin>", "line": 3, "column": 1,
             "message": "Unexpected token at top level: '@'"},
        ],
    }


def test_empty_stdin_is_parsed_as_empty_input_even_beside_a_file_named_stdin(tmp_path):
    # The parser reads the named file when it is given no text; empty input
    # must not turn into a read of ./<stdin>.
    write(tmp_path, "<stdin>", HEADER)
    status, out, err = run_cli("check", "-", stdin=b"", cwd=tmp_path)
    assert (status, err) == (1, "")
    assert out.splitlines() == [f"<stdin>:1:1: error: {message}" for message in END_OF_INPUT_MESSAGES] + [
        "1 file checked: 6 diagnostics in 1 file"
    ]


@pytest.mark.parametrize(
    ("command", "first_lines"),
    [
        ("check", ["<stdin>:3:1: error: Unexpected token at top level: '@'"]),
        ("show", ["NcfFile", "  filename = '<stdin>'", "  language_version = '2.1'", "  nodes = []"]),
        ("json", ["{", '  "ncf_file": {', '    "filename": "<stdin>",']),
        ("trace", ["[TRACE] ENTER ncf_file at 1:1 ('node_capability_file')"]),
    ],
)
def test_every_command_reads_stdin(command, first_lines):
    status, out, err = run_cli(command, "-", stdin=(HEADER + "@").encode())
    assert (status, err) == (1 if command == "check" else 0, "")
    assert out.splitlines()[: len(first_lines)] == first_lines


# --- usage errors, --help, unreadable files and the process -------------------


@pytest.mark.parametrize(
    ("argv", "message"),
    [
        ([], "tolvane: error: the following arguments are required: COMMAND"),
        (["lint", DOOR], "tolvane: error: argument COMMAND: invalid choice: 'lint'"),
        (["check"], "tolvane check: error: the following arguments are required: FILE"),
        (["show", DOOR, BROKEN], "tolvane: error: unrecognized arguments: " + BROKEN),
        (["json"], "tolvane json: error: the following arguments are required: FILE"),
        (["trace", "--verbose", DOOR], "tolvane: error: unrecognized arguments: --verbose"),
    ],
)
def test_usage_errors_exit_2(capsys, argv, message):
    assert main(argv) == 2
    out, err = capsys.readouterr()
    assert out == ""
    assert err.startswith("usage: tolvane")
    assert message in err.splitlines()[-1]


@pytest.mark.parametrize(
    ("argv", "usage"),
    [
        (["--help"], "usage: tolvane [-h] COMMAND ..."),
        (["check", "--help"], "usage: tolvane check [-h] FILE [FILE ...]"),
        (["show", "-h"], "usage: tolvane show [-h] FILE"),
        (["json", "--help"], "usage: tolvane json [-h] FILE"),
        (["trace", "--help"], "usage: tolvane trace [-h] FILE"),
    ],
)
def test_help_for_each_command(capsys, argv, usage):
    assert main(argv) == 0
    out, err = capsys.readouterr()
    assert (out.splitlines()[0], err) == (usage, "")
    assert "Exit status: 0" in " ".join(out.split())
    if argv == ["--help"]:
        listed = [line.split()[0] for line in out.splitlines() if line.startswith("    ")]
        assert listed == ["check", "show", "json", "trace"]


@pytest.mark.parametrize("command", ["show", "json", "trace"])
def test_an_unreadable_file_exits_2_with_its_name(tmp_path, capsys, command):
    missing = str(tmp_path / "missing.ncf")
    assert main([command, missing]) == 2
    assert capsys.readouterr() == ("", f"tolvane: cannot read {missing}: No such file or directory\n")


def test_a_closed_pipe_ends_quietly():
    process = subprocess.Popen(
        [sys.executable, "-m", "tolvane_cli", "show", DOOR],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=child_environment(),
    )
    process.stdout.close()  # before the tool has written anything
    err = process.stderr.read()
    process.stderr.close()
    assert (process.wait(), err) == (1, b"")


# --- show ---------------------------------------------------------------------

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
    assert tolvane_cli.show_lines(one_record_of_each_class()["Diagnostic"]) == [
        "Diagnostic",
        "  severity = Error",
        "  file = 'broken.ncf'",
        "  line = 1",
        "  column = 21",
        "  message = \"Expected ;, found '<EOF>'\"",
    ]


# --- json ---------------------------------------------------------------------


def json_of(path, capsys):
    assert main(["json", path]) == 0
    out, err = capsys.readouterr()
    assert err == ""
    return out


@pytest.mark.parametrize("content", [FULL, pathlib.Path(BROKEN).read_bytes()], ids=["full", "broken"])
def test_json_is_the_whole_tree_and_the_diagnostics_in_field_order(tmp_path, capsys, content):
    path = write(tmp_path, "t.ncf", content)
    document = json.loads(json_of(path, capsys))
    parser = tolvane.NcfParser(path)
    expected = {"ncf_file": reference_dict(parser.parse()), "diagnostics": reference_dict(parser.get_diagnostics())}
    # Compared as text, so that the order of the keys and int against float count.
    assert json.dumps(document) == json.dumps(expected)


def test_json_output_is_stable_indented_and_ascii(tmp_path, capsys):
    # String literals are read as Latin-1: the byte 0xB0 is the degree sign.
    path = write(tmp_path, "text.ncf", HEADER.replace('"2.1"', '"2.1 \xb0C"').encode("latin-1"))
    first = json_of(path, capsys)
    assert first == json_of(path, capsys)
    assert first.isascii() and first.endswith("}\n")
    assert first.splitlines()[:4] == [
        "{",
        '  "ncf_file": {',
        f'    "filename": {json.dumps(path)},',
        '    "language_version": "2.1 \\u00b0C",',
    ]


# --- trace --------------------------------------------------------------------


def test_trace_comes_between_earlier_output_and_the_diagnostics(tmp_path, capfd):
    path = write(tmp_path, "bad.ncf", HEADER + "x")
    print("before")  # still in Python's buffer when the trace starts
    assert main(["trace", path]) == 0
    assert capfd.readouterr() == ("\n".join(["before", *stray_x_trace(path)]) + "\n", "")


def test_trace_into_a_pipe_keeps_its_order():
    # Into a pipe, both Python's stdout and C's hold what they are given:
    # Python's "before" must be out before the trace, and the trace before
    # the diagnostics that Python writes.
    script = "import sys, tolvane_cli; print('before'); sys.exit(tolvane_cli.main(['trace', '-']))"
    result = subprocess.run(
        [sys.executable, "-c", script], input=(HEADER + "x").encode(), capture_output=True,
        env=child_environment(),
    )
    assert (result.returncode, result.stderr) == (0, b"")
    assert result.stdout.decode().splitlines() == ["before", *stray_x_trace("<stdin>")]


# --- to_dict ------------------------------------------------------------------


@pytest.mark.parametrize("kind", FIELDS)
def test_to_dict_gives_every_field_of_every_record_class_in_order(kind):
    record = one_record_of_each_class()[kind]
    assert type(record).__name__ == kind
    assert list(to_dict(record)) == field_names(kind)


def test_to_dict_of_a_complete_file_is_plain_data():
    ncf = parse_full()[1]
    assert to_dict(ncf) == reference_dict(ncf)  # lists as lists, records as dicts
    assert json.dumps(to_dict(ncf)) == json.dumps(reference_dict(ncf))  # key order; int, float and bool apart


def test_to_dict_turns_severities_into_names_and_absent_records_into_none():
    records = one_record_of_each_class()
    assert to_dict(records["Diagnostic"]) == {
        "severity": "Error", "file": "broken.ncf", "line": 1, "column": 21, "message": "Expected ;, found '<EOF>'",
    }
    assert to_dict(records["NcfEncodingValue"]) == {
        "type": "logical", "logical_value": {"signal_value": 0, "text_info": "it's off"}, "physical_range": None,
    }


@pytest.mark.parametrize(
    ("value", "message"),
    [
        (None, "to_dict() takes a tolvane record, not NoneType"),
        ({"name": "n"}, "to_dict() takes a tolvane record, not dict"),
        (tolvane.Diagnostic.Error, "to_dict() takes a tolvane record, not Severity"),
        (tolvane.NcfParser("a.ncf", "x"), "to_dict() takes a tolvane record, not NcfParser"),
        ([], "to_dict() takes a tolvane record, not list"),
    ],
)
def test_to_dict_refuses_what_is_not_a_record(value, message):
    with pytest.raises(TypeError) as raised:
        to_dict(value)
    assert str(raised.value) == message
