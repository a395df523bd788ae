"""tolvane check beyond the plain run: --select and --ignore, --werror,
--syntax-only, and the json and sarif formats."""

import json
import os

import jsonschema  # Debian's python3-jsonschema, in the list of tools/py314
import pytest

import tolvane
import tolvane_cli
from conftest import DATA, EXAMPLES, GENERAL, node_text
from tolvane_cli import main

BROKEN = str(EXAMPLES / "broken.ncf")
SECTIONS = {
    "diagnostic": "diagnostic { NAD = 0x10; diagnostic_class = 2; support_sid { 0xB0, 0xB2, 0xB7 }; }\n",
    "frames": "frames { publish f { length = 4; signals { e { size = 1; init_value = 0; offset = 0; } "
    "s { size = 2; init_value = 0; offset = 8; } } } }\n",
}
CLEAN = node_text(**SECTIONS)  # breaks no rule
WARNING = CLEAN.replace("supplier = 1;", "supplier = 0x7FFF;")  # the wildcard: a warning alone
# Errors supplier-id and variant-id on line 4, warning nad on line 5, error signal-size on line 6.
FAULTS = node_text(
    general=GENERAL.replace("supplier = 1;", "supplier = 0x1FFFF;").replace("variant = 0;", "variant = 300;"),
    diagnostic=SECTIONS["diagnostic"].replace("0x10", "0x80"),
    frames=SECTIONS["frames"].replace("s { size = 2;", "s { size = 17;"),
)


def write(tmp_path, content, name="t.ncf"):
    path = tmp_path / name
    path.write_bytes(content if isinstance(content, bytes) else content.encode())
    return str(path)


def run_check(capsys, *args):
    status = main(["check", *args])
    out, err = capsys.readouterr()
    return status, out.splitlines(), err


@pytest.mark.parametrize(
    ("options", "codes", "status", "summary"),
    [
        ([], ["supplier-id", "variant-id", "nad", "signal-size"], 1, "3 errors, 1 warning in 1 file"),
        (["--select", "nad"], ["nad"], 0, "1 warning in 1 file"),
        (["--select", "s"], ["supplier-id", "signal-size"], 1, "2 errors in 1 file"),  # the start of codes
        (["--select", "variant-id", "--select", " nad ,"], ["variant-id", "nad"], 1, "1 error, 1 warning in 1 file"),
        (["--select", "s,variant", "--ignore", "signal-size,supplier"], ["variant-id"], 1, "1 error in 1 file"),
        (["--ignore", "supplier,variant,signal"], ["nad"], 0, "1 warning in 1 file"),
        (["--ignore", "supplier,variant,signal", "--werror"], ["nad"], 1, "1 warning in 1 file"),
        (["--select", "syntax", "--werror"], [], 0, "no diagnostics"),
    ],
)
def test_select_and_ignore_choose_what_is_printed_counted_and_failed_on(tmp_path, capsys, options, codes, status,
                                                                        summary):
    got, lines, _ = run_check(capsys, *options, write(tmp_path, FAULTS))
    assert (got, [line.rsplit(" [", 1)[1] for line in lines[:-1]]) == (status, [f"{c}]" for c in codes])
    assert lines[-1] == "1 file checked: " + summary


@pytest.mark.parametrize(
    ("options", "message"),
    [
        (["--select", "xyz"], "tolvane: --select: unknown code 'xyz'"),
        (["--ignore", "nad,nad-rangee"], "tolvane: --ignore: unknown code 'nad-rangee'"),
        (["--select", "duplicate", "--ignore", "Nad"], "tolvane: --ignore: unknown code 'Nad'"),
    ],
)
def test_a_code_that_starts_no_code_is_a_usage_error_before_any_file_is_read(tmp_path, capsys, options, message):
    assert run_check(capsys, *options, str(tmp_path / "missing.ncf")) == (2, [], message + "\n")


@pytest.mark.parametrize(
    ("path", "options", "status", "summary"),
    [
        (WARNING, [], 0, "1 warning in 1 file"),
        (WARNING, ["--werror"], 1, "1 warning in 1 file"),
        # Without the parser's errors only the Info that the node went unchecked is left.
        (BROKEN, ["--ignore", "syntax", "--werror"], 0, "1 info in 1 file"),
        (BROKEN, ["--syntax-only", "--ignore", "syntax"], 0, "no diagnostics"),
        (BROKEN, ["--syntax-only"], 1, "8 errors in 1 file"),
        (BROKEN, [], 1, "8 errors, 1 info in 1 file"),
        (BROKEN, ["--no-recovery"], 1, "10 errors, 1 info in 1 file"),
        (FAULTS, ["--syntax-only"], 0, "no diagnostics"),
        (CLEAN, ["--werror"], 0, "no diagnostics"),
    ],
)
def test_exit_status_by_severity_werror_and_syntax_only(tmp_path, capsys, path, options, status, summary):
    path = path if path == BROKEN else write(tmp_path, path)
    result = run_check(capsys, *options, path)
    assert (result[0], result[1][-1]) == (status, "1 file checked: " + summary)


def test_json_lists_the_diagnostics_of_every_file_with_every_field(tmp_path, capsys):
    faults, missing = write(tmp_path, FAULTS), str(tmp_path / "missing.ncf")
    status, out, err = run_check(capsys, "--format", "json", "--select", "supplier,nad", faults, missing, faults)
    assert (status, err) == (2, f"tolvane: cannot read {missing}: No such file or directory\n")
    document = json.loads("\n".join(out))
    assert document[0] == {"severity": "Error", "file": faults, "line": 4, "column": 52,
                           "message": "Supplier ID 0x1FFFF does not fit 16 bits", "code": "supplier-id"}
    assert [list(d) for d in document] == [list(document[0])] * 4
    assert out[:3] == ["[", "  {", '    "severity": "Error",']  # indented by two
    assert [d["code"] for d in document] == ["supplier-id", "nad"] * 2
    status, out, _ = run_check(capsys, "--format", "json", "--select", "nad", faults)
    assert (status, [d["code"] for d in json.loads("\n".join(out))]) == (0, ["nad"])


def sarif_run(capsys, *args):
    status, out, err = run_check(capsys, "--format", "sarif", *args)
    assert err == ""
    return status, json.loads("\n".join(out))


def test_sarif_is_a_valid_log_with_every_rule_and_a_result_for_each_diagnostic(tmp_path, capsys):
    faults = write(tmp_path, FAULTS, "two words.ncf")
    status, log = sarif_run(capsys, faults, BROKEN)
    validator = jsonschema.Draft4Validator(json.loads((DATA / "sarif-2.1.0.json").read_text()))
    assert (status, [error.message for error in validator.iter_errors(log)]) == (1, [])

    (run,) = log["runs"]
    rules = run["tool"]["driver"]["rules"]
    assert [(rule["id"], rule["shortDescription"]["text"]) for rule in rules] == list(tolvane.rules().items())
    expected = [(faults.replace(" ", "%20"), d) for d in tolvane.check(faults, recover=True)[1]]
    expected += [(BROKEN, d) for d in tolvane.check(BROKEN, recover=True)[1]]
    levels = {"Error": "error", "Warning": "warning", "Info": "note"}
    assert len(run["results"]) == len(expected)
    for result, (uri, d) in zip(run["results"], expected):
        assert rules[result["ruleIndex"]]["id"] == result["ruleId"] == d.code
        assert (result["level"], result["message"]["text"]) == (levels[d.severity.name], d.message)
        # All ASCII: the columns in bytes and in characters agree.
        assert result["locations"] == [{"physicalLocation": {
            "artifactLocation": {"uri": uri}, "region": {"startLine": d.line, "startColumn": d.column}}}]
    assert {result["level"] for result in run["results"]} == {"note", "warning", "error"}


# Before the value on line 4, a comment in UTF-8 takes 3 bytes more than characters, in Latin-1 none.
COMMENTED = node_text(general=GENERAL.replace("supplier = 1;", "/* Größe: Tür */ supplier = 0x1FFFF;"), **SECTIONS)
COLUMN = COMMENTED.splitlines()[3].index("0x1FFFF") + 1


@pytest.mark.parametrize(
    ("content", "line", "byte_column", "column"),
    [(COMMENTED.encode(), 4, COLUMN + 3, COLUMN), (COMMENTED.encode("latin-1"), 4, COLUMN, COLUMN),
     (COMMENTED.replace("\n", "\r\n").encode(), 4, COLUMN + 3, COLUMN),
     # For the two bytes of a truncated sequence in place of the two of "ö": one character each.
     (COMMENTED.encode().replace("ö".encode(), b"\xe2\x82"), 4, COLUMN + 3, COLUMN + 1),
     # The parser counts the first line's columns from after a byte-order mark.
     (b"\xef\xbb\xbf" + "/* é */ x".encode(), 1, 10, 9)],
    ids=["utf-8", "latin-1", "carriage returns", "not utf-8", "byte-order mark"],
)
def test_sarif_counts_columns_in_characters_where_text_counts_bytes(tmp_path, capsys, content, line, byte_column,
                                                                     column):
    path = write(tmp_path, content)
    assert run_check(capsys, path)[1][0].startswith(f"{path}:{line}:{byte_column}: error: ")
    (run,) = sarif_run(capsys, path)[1]["runs"]
    assert run["columnKind"] == "unicodeCodePoints"
    assert run["results"][0]["locations"][0]["physicalLocation"]["region"] == {"startLine": line, "startColumn": column}


def test_an_undecodable_file_name_is_checked_and_its_bytes_percent_encoded(tmp_path, capsys):
    path = os.fsdecode(os.fsencode(tmp_path) + b"/T\xfcr.ncf")
    write(tmp_path, FAULTS, os.path.basename(path))
    status, log = sarif_run(capsys, "--select", "variant", path)
    uri = log["runs"][0]["results"][0]["locations"][0]["physicalLocation"]["artifactLocation"]["uri"]
    assert (status, uri.endswith("/T%FCr.ncf")) == (1, True)
    assert run_check(capsys, "--select", "variant", path)[1][-1] == "1 file checked: 1 error in 1 file"
