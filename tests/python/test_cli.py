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
from conftest import EXAMPLES, ROOT
from tolvane_cli import main, to_dict

DOOR = str(EXAMPLES / "door_module.ncf")
BROKEN = str(EXAMPLES / "broken.ncf")

HEADER_ONLY = 'node_capability_file;\nLIN_language_version = "2.1";\n'

# One node with a record of every kind, without a diagnostic.
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
  encoding { e { logical_value, 0, "off"; physical_value, 1, 3, 0.5, -1, "V"; ascii_value; } }
  status_management { response_error = s; }
}
"""

# What empty input gives, whatever its name.
EMPTY_INPUT_DIAGNOSTICS = [
    "1:1: error: Expected node_capability_file, found '<EOF>'",
    "1:1: error: Expected ;, found '<EOF>'",
    "1:1: error: Expected LIN_language_version, found '<EOF>'",
    "1:1: error: Expected =, found '<EOF>'",
    "1:1: error: Expected string literal",
    "1:1: error: Expected ;, found '<EOF>'",
]

# The fields of every record, in declaration order.
FIELDS = {
    "Diagnostic": ["severity", "file", "line", "column", "message"],
    "NcfInitValue": ["is_array", "scalar", "array_values"],
    "NcfBitrateDefinition": ["type", "min_br", "max_br", "rates", "fixed_rate"],
    "NcfGeneralDef": [
        "protocol_version", "supplier_id", "function_id", "variant_id", "bitrate", "sends_wake_up_signal",
        "volt_from", "volt_to", "temp_from", "temp_to", "conformance",
    ],
    "NcfDiagnosticDef": [
        "nad_lhs", "nad_rhs", "nad_list", "diagnostic_class", "p2_min", "st_min", "n_as_timeout",
        "n_cr_timeout", "support_sids", "max_message_length",
    ],
    "NcfSignalProperties": ["init_value", "size", "offset", "encoding_name"],
    "NcfSignalDef": ["name", "properties"],
    "NcfFrameProperties": ["length", "min_period", "max_period", "event_triggered_frame"],
    "NcfSingleFrame": ["kind", "name", "properties", "signals"],
    "NcfLogicalValue": ["signal_value", "text_info"],
    "NcfPhysicalRange": ["min_value", "max_value", "scale", "offset_val", "text_info"],
    "NcfEncodingValue": ["type", "logical_value", "physical_range"],
    "NcfEncodingEntry": ["name", "values"],
    "NcfStatusManagement": ["response_error", "fault_state_signals"],
    "NcfNodeDef": ["name", "general", "diagnostic", "frames", "encodings", "status", "free_text"],
    "NcfFile": ["filename", "language_version", "nodes"],
}


def write(tmp_path, name, text):
    path = tmp_path / name
    path.write_text(text)
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


def api_diagnostic_lines(path):
    """The diagnostics of a file as the module reports them, in the form check prints."""
    parser = tolvane.NcfParser(path)
    parser.parse()
    return [f"{d.file}:{d.line}:{d.column}: error: {d.message}" for d in parser.get_diagnostics()]


def rich_file():
    return tolvane.NcfParser("rich.ncf", RICH).parse()


# ---------------------------------------------------------------------------
# check
# ---------------------------------------------------------------------------


def test_check_a_valid_file(capsys):
    assert main(["check", DOOR]) == 0
    assert capsys.readouterr() == ("1 file checked: no diagnostics\n", "")


def test_check_prints_each_diagnostic_in_the_compiler_format(capsys):
    assert main(["check", BROKEN]) == 1
    out, err = capsys.readouterr()
    expected = api_diagnostic_lines(BROKEN)
    assert len(expected) > 1
    assert out.splitlines() == expected + [f"1 file checked: {len(expected)} diagnostics in 1 file"]
    assert err == ""


def test_check_an_empty_file_reports_the_missing_header_under_its_name(tmp_path, capsys):
    empty = write(tmp_path, "empty.ncf", "")
    assert main(["check", empty]) == 1
    out, _ = capsys.readouterr()
    assert out.splitlines() == [f"{empty}:{line}" for line in EMPTY_INPUT_DIAGNOSTICS] + [
        "1 file checked: 6 diagnostics in 1 file"
    ]


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
        "good": write(tmp_path, "good.ncf", HEADER_ONLY),
        "bad": write(tmp_path, "bad.ncf", HEADER_ONLY + "x"),
        "missing": str(tmp_path / "missing.ncf"),
    }
    assert main(["check", *(paths[name] for name in files)]) == status
    assert capsys.readouterr().out.splitlines()[-1] == summary


def test_check_goes_on_after_an_unreadable_file_and_names_it(tmp_path, capsys):
    missing = str(tmp_path / "missing.ncf")
    bad = write(tmp_path, "bad.ncf", HEADER_ONLY + "x")
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


# ---------------------------------------------------------------------------
# Standard input
# ---------------------------------------------------------------------------


def test_stdin_is_read_as_bytes_and_named_stdin():
    # A Latin-1 byte in a string literal reaches the parser unchanged, which
    # turns it into UTF-8; decoding the input on the way would have failed.
    text = HEADER_ONLY.replace('"2.1"', '"2.1 \xe9"').encode("latin-1") + b"@"
    status, out, err = run_cli("json", "-", stdin=text)
    assert (status, err) == (0, "")
    document = json.loads(out)
    assert document["ncf_file"] == {"filename": "<stdin>", "language_version": "2.1 \u00e9", "nodes": []}
    assert document["diagnostics"] == [
        {"severity": "Error", "file": "<stdin>", "line": 3, "column": 1,
         "message": "Unexpected token at top level: '@'"},
    ]


def test_empty_stdin_is_parsed_as_empty_input_even_beside_a_file_named_stdin(tmp_path):
    # The parser reads the named file when it is given no text; empty input
    # must not turn into a read of ./<stdin>.
    write(tmp_path, "<stdin>", HEADER_ONLY)
    status, out, err = run_cli("check", "-", stdin=b"", cwd=tmp_path)
    assert (status, err) == (1, "")
    assert out.splitlines() == [f"<stdin>:{line}" for line in EMPTY_INPUT_DIAGNOSTICS] + [
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
    status, out, err = run_cli(command, "-", stdin=(HEADER_ONLY + "@").encode())
    assert (status, err) == (1 if command == "check" else 0, "")
    assert out.splitlines()[: len(first_lines)] == first_lines


# ---------------------------------------------------------------------------
# Usage errors and --help
# ---------------------------------------------------------------------------


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


def test_help_lists_every_command(capsys):
    main(["--help"])
    listed = [line.split()[0] for line in capsys.readouterr().out.splitlines() if line.startswith("    ")]
    assert listed == ["check", "show", "json", "trace"]


@pytest.mark.parametrize("command", ["show", "json", "trace"])
def test_an_unreadable_file_exits_2_with_its_name(tmp_path, capsys, command):
    missing = str(tmp_path / "missing.ncf")
    assert main([command, missing]) == 2
    assert capsys.readouterr() == ("", f"tolvane: cannot read {missing}: No such file or directory\n")


def test_the_module_runs_as_a_script():
    status, out, err = run_cli("check", "examples/door_module.ncf")
    assert (status, out, err) == (0, "1 file checked: no diagnostics\n", "")


def test_a_closed_pipe_ends_quietly():
    process = subprocess.Popen(
        [sys.executable, "-m", "tolvane_cli", "show", DOOR],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=child_environment(),
    )
    process.stdout.close()  # before the tool has written anything
    err = process.stderr.read()
    process.stderr.close()
    assert (process.wait(), err) == (1, b"")


# ---------------------------------------------------------------------------
# show
# ---------------------------------------------------------------------------

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
        type = 'logical'
        logical_value: NcfLogicalValue
          signal_value = 0
          text_info = 'off'
        physical_range = None
      values[1]: NcfEncodingValue
        type = 'physical'
        logical_value = None
        physical_range: NcfPhysicalRange
          min_value = 1
          max_value = 3
          scale = 0.5
          offset_val = -1.0
          text_info = 'V'
      values[2]: NcfEncodingValue
        type = 'ascii'
        logical_value = None
        physical_range = None
    status: NcfStatusManagement
      response_error = 's'
      fault_state_signals = []
    free_text = None
"""


def test_show_prints_every_field_of_every_record(tmp_path, capsys):
    assert main(["show", write(tmp_path, "rich.ncf", RICH)]) == 0
    out, err = capsys.readouterr()
    assert out == RICH_SHOWN.replace("'rich.ncf'", repr(str(tmp_path / "rich.ncf")))
    assert err == ""


def test_show_a_file_without_nodes(tmp_path, capsys):
    path = write(tmp_path, "header.ncf", HEADER_ONLY)
    assert main(["show", path]) == 0
    assert capsys.readouterr().out == f"NcfFile\n  filename = {path!r}\n  language_version = '2.1'\n  nodes = []\n"


def test_show_exits_0_despite_diagnostics_and_shows_the_recovered_tree(capsys):
    assert main(["show", BROKEN]) == 0
    out, err = capsys.readouterr()
    assert err == ""
    # Every field of every record is one line: as many as to_dict() has fields.
    tolvane_file = tolvane.NcfParser(BROKEN).parse()

    def count_fields(value):
        if isinstance(value, dict):
            return len(value) + sum(count_fields(item) for item in value.values())
        if isinstance(value, list) and value and isinstance(value[0], dict):
            # A list of records takes a line per element instead of one for the list.
            return len(value) - 1 + sum(count_fields(item) for item in value)
        return 0

    assert len(out.splitlines()) == 1 + count_fields(to_dict(tolvane_file))


def test_show_lines_of_a_diagnostic_name_the_severity():
    parser = tolvane.NcfParser("a.ncf", "x")
    parser.parse()
    assert tolvane_cli.show_lines(parser.get_diagnostics()[0]) == [
        "Diagnostic",
        "  severity = Error",
        "  file = 'a.ncf'",
        "  line = 1",
        "  column = 1",
        "  message = \"Expected node_capability_file, found 'x'\"",
    ]


# ---------------------------------------------------------------------------
# json
# ---------------------------------------------------------------------------


def json_of(path, capsys):
    assert main(["json", path]) == 0
    out, err = capsys.readouterr()
    assert err == ""
    return out


def test_json_is_the_whole_tree_and_the_diagnostics(capsys):
    out = json_of(BROKEN, capsys)
    parser = tolvane.NcfParser(BROKEN)
    expected = {
        "ncf_file": to_dict(parser.parse()),
        "diagnostics": [to_dict(d) for d in parser.get_diagnostics()],
    }
    assert json.loads(out) == expected
    assert list(json.loads(out)) == ["ncf_file", "diagnostics"]
    assert expected["diagnostics"][0] == {
        "severity": "Error",
        "file": BROKEN,
        "line": 3,
        "column": 24,
        "message": "Expected string literal",
    }


def test_json_keys_follow_the_field_order_of_every_record(tmp_path, capsys):
    document = json.loads(json_of(write(tmp_path, "rich.ncf", RICH), capsys))
    ncf = document["ncf_file"]
    node = ncf["nodes"][0]
    frame = node["frames"][0]
    signal = frame["signals"][0]
    values = node["encodings"][0]["values"]
    records = {
        "NcfFile": ncf,
        "NcfNodeDef": node,
        "NcfGeneralDef": node["general"],
        "NcfBitrateDefinition": node["general"]["bitrate"],
        "NcfDiagnosticDef": node["diagnostic"],
        "NcfSingleFrame": frame,
        "NcfFrameProperties": frame["properties"],
        "NcfSignalDef": signal,
        "NcfSignalProperties": signal["properties"],
        "NcfInitValue": signal["properties"]["init_value"],
        "NcfEncodingEntry": node["encodings"][0],
        "NcfEncodingValue": values[0],
        "NcfLogicalValue": values[0]["logical_value"],
        "NcfPhysicalRange": values[1]["physical_range"],
        "NcfStatusManagement": node["status"],
    }
    assert {name: list(record) for name, record in records.items()} == {
        name: FIELDS[name] for name in records
    }


def test_json_writes_absent_optionals_as_null(tmp_path, capsys):
    out = json_of(write(tmp_path, "rich.ncf", RICH), capsys)
    assert '"free_text": null' in out
    assert '"min_br": null' in out
    ascii_value = json.loads(out)["ncf_file"]["nodes"][0]["encodings"][0]["values"][2]
    assert ascii_value == {"type": "ascii", "logical_value": None, "physical_range": None}


def test_json_output_is_stable_indented_and_ascii(tmp_path, capsys):
    # String literals are read as Latin-1: the byte 0xB0 is the degree sign.
    path = str(tmp_path / "text.ncf")
    pathlib.Path(path).write_bytes(HEADER_ONLY.replace('"2.1"', '"2.1 \xb0C"').encode("latin-1"))
    first = json_of(path, capsys)
    assert first == json_of(path, capsys)
    assert first.isascii() and first.endswith("}\n")
    assert first.splitlines()[:4] == [
        "{",
        '  "ncf_file": {',
        f'    "filename": {json.dumps(path)},',
        '    "language_version": "2.1 \\u00b0C",',
    ]


def test_json_of_the_example_matches_its_values(capsys):
    node = json.loads(json_of(DOOR, capsys))["ncf_file"]["nodes"][0]
    assert node["general"]["bitrate"] == {
        "type": "automatic", "min_br": 9.6, "max_br": 19.2, "rates": [], "fixed_rate": None,
    }
    assert node["diagnostic"]["support_sids"] == [0xB0, 0xB2, 0xB7]
    assert node["frames"][1]["properties"] == {
        "length": 2, "min_period": None, "max_period": 100, "event_triggered_frame": None,
    }
    assert node["status"] == {"response_error": "comm_error", "fault_state_signals": ["door_open", "lock_request"]}


# ---------------------------------------------------------------------------
# trace
# ---------------------------------------------------------------------------

HEADER_TRACE = [
    "[TRACE] ENTER ncf_file at 1:1 ('node_capability_file')",
    "  [TRACE] ENTER language_version at 2:1 ('LIN_language_version')",
    "  [TRACE] EXIT at 3:1 ('<EOF>')",
    "[TRACE] EXIT at 3:1 ('<EOF>')",
]


def test_trace_comes_between_earlier_output_and_the_diagnostics(tmp_path, capfd):
    path = write(tmp_path, "bad.ncf", HEADER_ONLY + "x")
    print("before", end="\n")  # still in Python's buffer when the trace starts
    assert main(["trace", path]) == 0
    out, err = capfd.readouterr()
    assert err == ""
    assert out.splitlines() == [
        "before",
        "[TRACE] ENTER ncf_file at 1:1 ('node_capability_file')",
        "  [TRACE] ENTER language_version at 2:1 ('LIN_language_version')",
        "  [TRACE] EXIT at 3:1 ('x')",
        "[TRACE] EXIT at 3:1 ('x')",
        f"{path}:3:1: error: Unexpected token at top level: 'x'",
    ]


def test_trace_into_a_pipe_keeps_its_order():
    # Into a pipe, both Python's stdout and C's hold what they are given:
    # Python's "before" must be out before the trace, and the trace before
    # the diagnostics that Python writes.
    script = "import sys, tolvane_cli; print('before'); sys.exit(tolvane_cli.main(['trace', '-']))"
    result = subprocess.run(
        [sys.executable, "-c", script], input=(HEADER_ONLY + "x").encode(), capture_output=True,
        env=child_environment(),
    )
    assert (result.returncode, result.stderr) == (0, b"")
    assert result.stdout.decode().splitlines() == [
        "before",
        *[line.replace("'<EOF>'", "'x'") for line in HEADER_TRACE],
        "<stdin>:3:1: error: Unexpected token at top level: 'x'",
    ]


def test_trace_of_a_valid_file_has_no_diagnostics(tmp_path, capfd):
    assert main(["trace", write(tmp_path, "ok.ncf", HEADER_ONLY)]) == 0
    assert capfd.readouterr() == ("\n".join(HEADER_TRACE) + "\n", "")


# ---------------------------------------------------------------------------
# to_dict
# ---------------------------------------------------------------------------


def records_of_every_kind():
    ncf = rich_file()
    node = ncf.nodes[0]
    frame = node.frames[0]
    signal = frame.signals[0]
    values = node.encodings[0].values
    parser = tolvane.NcfParser("d.ncf", "x")
    parser.parse()
    return {
        "Diagnostic": parser.get_diagnostics()[0],
        "NcfInitValue": signal.properties.init_value,
        "NcfBitrateDefinition": node.general.bitrate,
        "NcfGeneralDef": node.general,
        "NcfDiagnosticDef": node.diagnostic,
        "NcfSignalProperties": signal.properties,
        "NcfSignalDef": signal,
        "NcfFrameProperties": frame.properties,
        "NcfSingleFrame": frame,
        "NcfLogicalValue": values[0].logical_value,
        "NcfPhysicalRange": values[1].physical_range,
        "NcfEncodingValue": values[1],
        "NcfEncodingEntry": node.encodings[0],
        "NcfStatusManagement": node.status,
        "NcfNodeDef": node,
        "NcfFile": ncf,
    }


def test_to_dict_knows_every_record_class_of_the_module():
    classes = [name for name, value in vars(tolvane).items() if isinstance(value, type) and name != "NcfParser"]
    assert sorted(records_of_every_kind()) == sorted(classes) == sorted(FIELDS)


@pytest.mark.parametrize("kind", list(FIELDS))
def test_to_dict_gives_every_field_in_order(kind):
    record = records_of_every_kind()[kind]
    assert type(record).__name__ == kind
    assert list(to_dict(record)) == FIELDS[kind]


@pytest.mark.parametrize(
    ("kind", "expected"),
    [
        ("Diagnostic", {
            "severity": "Error", "file": "d.ncf", "line": 1, "column": 1,
            "message": "Expected node_capability_file, found 'x'",
        }),
        ("NcfInitValue", {"is_array": True, "scalar": 0, "array_values": [1, 2]}),
        ("NcfBitrateDefinition", {
            "type": "select", "min_br": None, "max_br": None, "rates": [9.6, 19.2], "fixed_rate": None,
        }),
        ("NcfLogicalValue", {"signal_value": 0, "text_info": "off"}),
        ("NcfPhysicalRange", {"min_value": 1, "max_value": 3, "scale": 0.5, "offset_val": -1.0, "text_info": "V"}),
        ("NcfEncodingValue", {
            "type": "physical",
            "logical_value": None,
            "physical_range": {"min_value": 1, "max_value": 3, "scale": 0.5, "offset_val": -1.0, "text_info": "V"},
        }),
        ("NcfSignalDef", {
            "name": "s",
            "properties": {
                "init_value": {"is_array": True, "scalar": 0, "array_values": [1, 2]},
                "size": 2, "offset": 0, "encoding_name": "e",
            },
        }),
        ("NcfStatusManagement", {"response_error": "s", "fault_state_signals": []}),
    ],
)
def test_to_dict_values(kind, expected):
    assert to_dict(records_of_every_kind()[kind]) == expected


def test_to_dict_is_plain_data_all_the_way_down():
    def kinds(value):
        if isinstance(value, dict):
            return {dict}.union(*(kinds(item) for item in value.values()))
        if isinstance(value, list):
            return {list}.union(*(kinds(item) for item in value))
        return {type(value)}

    assert kinds(to_dict(rich_file())) == {dict, list, str, int, float, bool, type(None)}


def test_to_dict_keeps_integers_and_reals_apart():
    general = to_dict(tolvane.NcfParser(DOOR).parse().nodes[0].general)
    assert (type(general["supplier_id"]), type(general["temp_from"])) == (int, float)
    assert (general["supplier_id"], general["temp_from"]) == (0x1E, -40.0)


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


def test_to_dict_of_a_parse_result_outlives_the_parser():
    ncf = tolvane.NcfParser("rich.ncf", RICH).parse()
    first = to_dict(ncf)
    del ncf
    assert first["nodes"][0]["encodings"][0]["name"] == "e"
    assert to_dict(rich_file()) == first
