"""check_files(): many files at once, each checked as check() checks it,
in the order given, whatever the number of threads."""

import os
import pathlib
import subprocess
import sys

import pytest

import tolvane
from conftest import CORPUS, EXAMPLES, module_path


def every_file():
    files = sorted(EXAMPLES.glob("*.ncf"))
    if CORPUS.is_dir():
        files += sorted(CORPUS.iterdir())
    return [str(path) for path in files if path.is_file()]


def plain(diagnostics):
    return [tolvane.to_dict(diagnostic) for diagnostic in diagnostics]


@pytest.mark.parametrize("lenient", [False, True])
@pytest.mark.parametrize("jobs", [1, 2, 5, None])
def test_each_file_gives_what_check_gives(lenient, jobs):
    files = every_file() * 3  # more files than threads, each several times
    results = tolvane.check_files(files, lenient=lenient, jobs=jobs)
    assert len(results) == len(files)
    for name, diagnostics in zip(files, results):
        assert plain(diagnostics) == plain(tolvane.check(name, lenient=lenient)[1]), name


def test_syntax_only_gives_the_parsers_diagnostics_in_the_order_of_their_places():
    files = every_file()
    for name, diagnostics in zip(files, tolvane.check_files(files, syntax_only=True, jobs=2)):
        parser = tolvane.NcfParser(name)
        parser.parse()
        expected = sorted(parser.get_diagnostics(), key=lambda d: (d.line, d.column))
        assert plain(diagnostics) == plain(expected), name


def test_a_file_that_cannot_be_read_gives_its_error_in_its_place(tmp_path):
    door = str(EXAMPLES / "door_module.ncf")
    missing = tmp_path / "missing.ncf"
    empty = tmp_path / "empty.ncf"
    empty.write_bytes(b"")
    results = tolvane.check_files([door, missing, str(tmp_path), bytes(empty), pathlib.Path(door)], jobs=3)
    assert [type(result).__name__ for result in results] == [
        "list", "FileNotFoundError", "IsADirectoryError", "list", "list"]
    assert (results[1].errno, results[1].strerror, results[1].filename) == (2, "No such file or directory", missing)
    assert (results[2].strerror, results[2].filename) == ("Is a directory", str(tmp_path))
    assert results[0] == results[4] == []
    assert [d.file for d in results[3]] == [str(empty)] * 6  # as an empty text reads
    assert tolvane.check_files([]) == []


@pytest.mark.parametrize(("filenames", "jobs", "error", "message"), [
    ([1], None, TypeError, "expected str, bytes or os.PathLike object, not int"),
    (["a\0b.ncf"], None, ValueError, "embedded null byte"),
    (None, None, TypeError, "incompatible function arguments"),
    (["a.ncf"], 0, ValueError, "jobs must be at least 1, not 0"),
    (["a.ncf"], -3, ValueError, "jobs must be at least 1, not -3"),
])
def test_what_check_files_refuses(filenames, jobs, error, message):
    with pytest.raises(error, match=message):
        tolvane.check_files(filenames, jobs=jobs)


def test_more_threads_than_can_be_had_still_check_every_file():
    files = every_file()[:3]
    assert [len(result) for result in tolvane.check_files(files, jobs=100_000)] == [
        len(result) for result in tolvane.check_files(files, jobs=1)]


def test_it_reads_a_fifo_that_a_python_thread_writes_while_it_runs(tmp_path):
    # The reading blocks until the writer, a Python thread, writes: that it
    # ends at all shows the interpreter lock released while files are read.
    fifo = tmp_path / "node.fifo"
    os.mkfifo(fifo)
    script = f"""
import threading, tolvane
text = open({str(EXAMPLES / "door_module.ncf")!r}, "rb").read()
writer = threading.Thread(target=lambda: open({str(fifo)!r}, "wb").write(text))
writer.start()
result = tolvane.check_files([{str(fifo)!r}], jobs=1)
writer.join()
print(result)
"""
    child = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60,
                           env=dict(os.environ, PYTHONPATH=module_path()))
    assert (child.returncode, child.stdout, child.stderr) == (0, "[[]]\n", "")
