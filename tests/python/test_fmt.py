"""tolvane fmt: the canonical text to standard output, --check, --in-place,
--from-json."""

import json
import os
import stat

import pytest

from conftest import CORPUS, EXAMPLES
from test_writer import MINIMAL
from tolvane_cli import main

SLOPPY = MINIMAL.replace("    ", "\t").replace("\n", " ")
COMMENTED = "// a comment the tree does not keep\n" + SLOPPY


def run(capsysbinary, *args):
    status = main(["fmt", *args])
    out, err = capsysbinary.readouterr()
    return status, out, err.decode()


def write(tmp_path, name, text):
    path = tmp_path / name
    path.write_bytes(text.encode() if isinstance(text, str) else text)
    return path


def test_writes_the_canonical_text_to_standard_output(tmp_path, capsysbinary):
    assert run(capsysbinary, str(write(tmp_path, "a.ncf", SLOPPY))) == (0, MINIMAL.encode(), "")


def test_the_example_and_every_clean_real_file_are_fixed_points(tmp_path, capsysbinary, corpus_files):
    clean = []
    for index, source in enumerate([EXAMPLES / "door_module.ncf", *corpus_files]):
        status, out, _ = run(capsysbinary, str(source))
        if status == 0:
            clean.append(write(tmp_path, f"{index}.ncf", out))
    assert len(clean) >= 14  # the example and the real files that parse without diagnostics
    assert run(capsysbinary, "--check", *map(str, clean)) == (0, b"", "")


def test_check_lists_what_would_change_and_changes_nothing(tmp_path, capsysbinary):
    sloppy, canonical = write(tmp_path, "s.ncf", SLOPPY), write(tmp_path, "c.ncf", MINIMAL)
    assert run(capsysbinary, "--check", str(sloppy), str(canonical)) == (1, f"would reformat {sloppy}\n".encode(), "")
    assert sloppy.read_text() == SLOPPY


def test_in_place_rewrites_what_is_not_canonical_keeping_permissions(tmp_path, capsysbinary):
    sloppy, canonical = write(tmp_path, "s.ncf", SLOPPY), write(tmp_path, "c.ncf", MINIMAL)
    sloppy.chmod(0o604)
    before = canonical.stat().st_mtime_ns
    assert run(capsysbinary, "--in-place", str(sloppy), str(canonical)) == (0, b"", "")
    assert sloppy.read_text() == MINIMAL and stat.S_IMODE(sloppy.stat().st_mode) == 0o604
    assert canonical.stat().st_mtime_ns == before  # not rewritten
    assert sorted(os.listdir(tmp_path)) == ["c.ncf", "s.ncf"]


def test_in_place_keeps_the_comments_unless_told_to_drop_them(tmp_path, capsysbinary):
    path = write(tmp_path, "c.ncf", COMMENTED)
    assert run(capsysbinary, "--in-place", str(path)) == (0, b"", "")
    assert path.read_text() == "// a comment the tree does not keep\n" + MINIMAL
    assert run(capsysbinary, "--check", "--drop-comments", str(path))[0] == 1
    assert run(capsysbinary, "--in-place", "--drop-comments", str(path)) == (0, b"", "")
    assert path.read_text() == MINIMAL
    # Comment markers inside a string are text, not comments.
    quoted = SLOPPY.replace('"2.1";', '"2.1 // /* not a comment";', 1)
    status, out, _ = run(capsysbinary, str(write(tmp_path, "q.ncf", quoted)))
    assert (status, out) == (0, MINIMAL.replace('"2.1";', '"2.1 // /* not a comment";', 1).encode())


def test_a_file_with_syntax_errors_is_shown_not_formatted(tmp_path, capsysbinary):
    broken = write(tmp_path, "b.ncf", SLOPPY.replace("variant = 0;", "variant = ;"))
    status, out, err = run(capsysbinary, "--in-place", str(broken))
    assert (status, out) == (1, b"")
    assert err.splitlines()[0] == f"{broken}:1:160: error: Expected integer, found ';' [syntax]"
    assert err.splitlines()[-1] == f"tolvane: {broken}: not formatted: it has syntax errors"
    assert broken.read_text() == SLOPPY.replace("variant = 0;", "variant = ;")


def test_json_to_ncf_to_json_gives_the_same_document(tmp_path, capsysbinary):
    source = write(tmp_path, "a.ncf", MINIMAL)
    assert main(["json", str(source)]) == 0
    document = capsysbinary.readouterr().out.decode()
    status, text, _ = run(capsysbinary, "--from-json", str(write(tmp_path, "a.json", document)))
    assert (status, text) == (0, MINIMAL.encode())
    assert main(["json", str(write(tmp_path, "b.ncf", text))]) == 0
    again = json.loads(capsysbinary.readouterr().out)
    again["ncf_file"]["filename"] = str(source)
    assert again == json.loads(document)


@pytest.mark.parametrize(("document", "message"), [
    ("{", "not a JSON document"),
    ('{"ncf_file": {"filename": "x", "nodes": []}}', "language_version: missing"),
    ("[]", "expected an NcfFile or its to_dict() form, not list"),
])
def test_from_json_reports_what_it_cannot_read(tmp_path, capsysbinary, document, message):
    status, out, err = run(capsysbinary, "--from-json", str(write(tmp_path, "d.json", document)))
    assert (status, out) == (1, b"") and message in err


@pytest.mark.parametrize(("args", "message"), [
    (["--in-place", "--check", "x"], "--in-place and --check exclude each other"),
    (["--in-place", "-"], "--in-place cannot rewrite standard input"),
    (["a", "b"], "one FILE to write to standard output"),
    (["--from-json", "--check", "x"], "--from-json writes to standard output only"),
])
def test_usage_errors(capsysbinary, args, message):
    status, _, err = run(capsysbinary, *args)
    assert status == 2 and message in err


def test_a_missing_file_is_trouble(tmp_path, capsysbinary):
    assert run(capsysbinary, "--check", str(tmp_path / "none.ncf"))[0] == 2
