"""Repeated use leaves nothing behind.

Each test runs one kind of cycle (construct, parse, read, drop) many times
and checks that the resident set size (/proc/self/statm; tracemalloc cannot
see the C++ allocations) does not grow after a warm-up that lets the
allocators settle. Each cycle handles enough bytes that keeping any of them
would grow the process by far more than the margin. The C++ core on its own
is checked by LeakSanitizer in the sanitizer build (tools/sanitize).
"""

import ctypes
import gc
import os
import pathlib
import weakref

import pytest

import tolvane
from conftest import EXAMPLES, fields, not_sanitized

pytestmark = not_sanitized

STATM = pathlib.Path("/proc/self/statm")
MARGIN = 8 << 20  # bytes of growth tolerated after the warm-up
BROKEN = (EXAMPLES / "broken.ncf").read_bytes()
DOOR_MODULE = (EXAMPLES / "door_module.ncf").read_bytes()
# About 200 KB: the example's node a hundred times under other names, each with
# a Latin-1 string (re-encoded) and an error, then an unterminated string.
_header, _node = DOOR_MODULE.split(b"node door_module", 1)
LARGE = _header + b"".join(
    (b"node door_module" + _node).replace(b"door_module", b"door_%d" % i).replace(b"length = 5;", b"length = 5")
    .replace(b'"percent"', b'"\xb0C"')
    for i in range(100)
) + b'node tail "'
# glibc keeps freed memory for reuse, where it would hide a leak of the same
# size; malloc_trim(0) hands every free page back first.
_malloc_trim = getattr(ctypes.CDLL(None), "malloc_trim", lambda pad: None)


def resident_bytes():
    gc.collect()
    _malloc_trim(0)
    return int(STATM.read_text().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def assert_no_growth(cycle, warm_up, repeats):
    if not STATM.exists():
        pytest.skip("needs /proc/self/statm")
    gc.freeze()  # keeps the collections in the cycles cheap
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
    if isinstance(value, list):
        for item in value:
            read_everything(item)
    elif type(value).__module__ == "tolvane" and not isinstance(value, tolvane.Diagnostic.Severity):
        assert repr(value) == str(value)
        for name in fields(type(value)):
            read_everything(getattr(value, name))


def parse_large():
    parser = tolvane.NcfParser("large.ncf", LARGE)
    ncf = parser.parse()
    assert len(ncf.nodes) == 101 and parser.get_diagnostics()[-1].message == "Unterminated string literal"
    assert repr(ncf).startswith("NcfFile(")
    parser.parse()


def read_small_files():
    for content in (DOOR_MODULE, BROKEN):
        parser = tolvane.NcfParser("small.ncf", content)
        read_everything(parser.parse())
        read_everything(parser.get_diagnostics())


def outlive_the_file():
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


def fail_to_open(directory=pathlib.Path("/tmp")):
    # A directory, and long names, so that keeping the name or the message would show.
    for name in (str(directory / ("m" * 200)) * 40, b"\xff" * 8000, str(directory)):
        with pytest.raises(RuntimeError):
            tolvane.NcfParser(name)


HUGE = -(10**5000)
DOOR_PLAIN = tolvane.to_dict(tolvane.NcfParser("door.ncf", DOOR_MODULE).parse())


def refuse_hostile_calls():
    # Every refusal builds a message and drops what it converted; large
    # arguments make anything kept show.
    ncf = tolvane.NcfParser("door.ncf", DOOR_MODULE).parse()
    node, frame = ncf.nodes[0], ncf.nodes[0].frames[0]
    long_text = "x" * 100_000
    refusals = [
        (lambda: tolvane.dumps(dict(DOOR_PLAIN, language_version=long_text + '"')), ValueError),
        (lambda: tolvane.dumps(dict(DOOR_PLAIN, nodes=[None] * 10_000)), ValueError),
        (lambda: tolvane.dumps(dict(DOOR_PLAIN, **{long_text: 1})), ValueError),
        (lambda: tolvane.pack(frame, {long_text: 1}), tolvane.CodecError),
        (lambda: tolvane.pack(frame, {"door_open": HUGE}), tolvane.CodecError),
        (lambda: tolvane.encode(node, frame, {"mirror_angle": bytes(100_000)}), tolvane.CodecError),
        (lambda: tolvane.encode(node, frame, {"window_position": float("nan")}), tolvane.CodecError),
        (lambda: tolvane.encode(node, long_text), tolvane.CodecError),
        (lambda: tolvane.decode(node, frame, bytes(100_000)), tolvane.CodecError),
        (lambda: tolvane.dump(ncf, "/nonexistent/" + long_text[:200]), OSError),
        (lambda: tolvane.to_dict(long_text), TypeError),
    ]
    for call, error in refusals:
        with pytest.raises(error):
            call()
    assert len(tolvane.validate(ncf)) == 0 and tolvane.to_dict(node)["name"] == "door_module"
    tolvane.decode(node, frame, bytes(5))


@pytest.mark.parametrize(
    "cycle, warm_up, repeats",
    [(parse_large, 20, 200), (read_small_files, 100, 1500), (outlive_the_file, 20, 200), (fail_to_open, 100, 1000),
     (refuse_hostile_calls, 50, 500)],
    ids=["parse large files", "read every property", "views outlive their file", "files that cannot be opened",
         "hostile calls refused"],
)
def test_repeated_cycles_do_not_grow_the_process(cycle, warm_up, repeats):
    assert_no_growth(cycle, warm_up, repeats)
