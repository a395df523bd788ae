"""Repeated use leaves nothing behind.

Each test runs one kind of cycle (construct, parse, read, drop) many times
and checks that the process's resident memory does not grow. tracemalloc
cannot see the C++ allocations, so the measure is the resident set size from
/proc/self/statm, taken after a warm-up that lets the allocators settle. Each
cycle handles enough bytes that keeping any of them per cycle would grow the
process by far more than the margin. The C++ core on its own is checked by
LeakSanitizer in the sanitizer build (tools/sanitize).
"""

import ctypes
import gc
import os
import pathlib
import weakref

import pytest

import tolvane
from conftest import EXAMPLES

STATM = pathlib.Path("/proc/self/statm")
MARGIN = 8 << 20  # bytes of growth tolerated after the warm-up
BROKEN = (EXAMPLES / "broken.ncf").read_bytes()
DOOR_MODULE = (EXAMPLES / "door_module.ncf").read_bytes()
# About 200 KB: the example's node a hundred times under other names, with a
# Latin-1 string (re-encoded) and an error in each, and an unterminated
# string at the end (a lexer diagnostic).
_node = DOOR_MODULE[DOOR_MODULE.index(b"node door_module") :]
LARGE = (
    DOOR_MODULE[: DOOR_MODULE.index(b"node door_module")]
    + b"".join(
        _node.replace(b"door_module", b"door_%d" % i).replace(b"length = 4;", b"length = 4")
        .replace(b'"percent"', b'"\xb0C"')
        for i in range(100)
    )
    + b'node tail "'
)


try:
    # glibc keeps freed memory for reuse, where it would hide a leak of the
    # same size; malloc_trim(0) hands every free page back first.
    _malloc_trim = ctypes.CDLL(None).malloc_trim
except AttributeError:
    _malloc_trim = None


def resident_bytes():
    gc.collect()
    if _malloc_trim is not None:
        _malloc_trim(0)
    return int(STATM.read_text().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def assert_no_growth(cycle, warm_up, repeats):
    if not STATM.exists():
        pytest.skip("needs /proc/self/statm")
    # The objects that exist already are moved out of the collector's sight,
    # so that the collections in the cycles stay cheap.
    gc.freeze()
    try:
        for _ in range(warm_up):
            cycle()
        before = resident_bytes()
        for _ in range(repeats):
            cycle()
        growth = resident_bytes() - before
    finally:
        gc.unfreeze()
    assert growth < MARGIN, f"resident memory grew by {growth} bytes over {repeats} cycles"


def read_everything(value):
    """Reads every property of every record below `value`, and its text."""
    pending = [value]
    while pending:
        current = pending.pop()
        if isinstance(current, list):
            pending.extend(current)
            continue
        if type(current).__module__ != "tolvane" or isinstance(current, tolvane.Diagnostic.Severity):
            continue
        assert repr(current) == str(current)
        for name, attribute in vars(type(current)).items():
            if isinstance(attribute, property):
                pending.append(getattr(current, name))


def test_parsing_large_files_over_and_over():
    def cycle():
        parser = tolvane.NcfParser("large.ncf", LARGE)
        ncf = parser.parse()
        diagnostics = parser.get_diagnostics()
        assert len(ncf.nodes) == 101 and diagnostics[-1].message == "Unterminated string literal"
        assert repr(ncf).startswith("NcfFile(")
        parser.parse()

    assert_no_growth(cycle, warm_up=20, repeats=200)


def test_reading_every_property_over_and_over():
    def cycle():
        for content in (DOOR_MODULE, BROKEN):
            parser = tolvane.NcfParser("small.ncf", content)
            read_everything(parser.parse())
            read_everything(parser.get_diagnostics())

    assert_no_growth(cycle, warm_up=100, repeats=1500)


def test_views_that_outlive_their_file_over_and_over():
    def cycle():
        ncf = tolvane.NcfParser("large.ncf", LARGE).parse()
        owner = weakref.ref(ncf)
        deepest = ncf.nodes[-2].frames[0].signals[-1].properties.init_value
        encoding = ncf.nodes[0].encodings[1].values[0].physical_range
        del ncf
        gc.collect()
        assert owner() is not None  # the views keep the whole file alive
        assert (deepest.is_array, encoding.text_info) == (False, "\u00b0C")
        del deepest, encoding
        gc.collect()
        assert owner() is None  # and let it go with the last of them

    assert_no_growth(cycle, warm_up=20, repeats=200)


def test_files_that_cannot_be_opened_over_and_over(tmp_path):
    # Long names, so that keeping the name or the message would show.
    missing = str(tmp_path / ("m" * 200)) * 40
    not_utf8 = b"\xff" * 8000

    def cycle():
        for name in (missing, not_utf8, str(tmp_path)):
            with pytest.raises(RuntimeError):
                tolvane.NcfParser(name)

    assert_no_growth(cycle, warm_up=100, repeats=1000)
