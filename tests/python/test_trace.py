"""The trace of grammar rules, written to the process's C standard output
(file descriptor 1), not to Python's sys.stdout."""

import contextlib
import ctypes
import io
import re
import subprocess
import sys

import pytest

import tolvane
from api_samples import FULL

SMALL = b"""node_capability_file;
LIN_language_version = "2.1";
node n {
 general { LIN_protocol_version = "2.1"; supplier = 1; function = 2; variant = 0; bitrate = 19.2 kbps; }
 diagnostic { NAD = 1; }
 frames { publish f { length = 1; signals { s { size = 1; offset = 0; init_value = 0; } } } }
 encoding { e { bcd_value; } }
 status_management { response_error = s; }
 free_text { "x" }
}
"""

SMALL_TRACE = b"""\
[TRACE] ENTER ncf_file at 1:1 ('node_capability_file')
  [TRACE] ENTER language_version at 2:1 ('LIN_language_version')
  [TRACE] EXIT at 3:1 ('node')
  [TRACE] ENTER node_definition at 3:1 ('node')
    [TRACE] ENTER general_definition at 4:2 ('general')
      [TRACE] ENTER bitrate_definition at 4:93 ('19.2')
      [TRACE] EXIT at 4:102 (';')
    [TRACE] EXIT at 5:2 ('diagnostic')
    [TRACE] ENTER diagnostic_definition at 5:2 ('diagnostic')
    [TRACE] EXIT at 6:2 ('frames')
    [TRACE] ENTER frame_definition at 6:2 ('frames')
      [TRACE] ENTER single_frame at 6:11 ('publish')
        [TRACE] ENTER frame_properties at 6:23 ('length')
        [TRACE] EXIT at 6:35 ('signals')
        [TRACE] ENTER signal_definition at 6:35 ('signals')
          [TRACE] ENTER signal_entry at 6:45 ('s')
            [TRACE] ENTER signal_properties at 6:49 ('size')
            [TRACE] EXIT at 6:87 ('}')
          [TRACE] EXIT at 6:89 ('}')
        [TRACE] EXIT at 6:91 ('}')
      [TRACE] EXIT at 6:93 ('}')
    [TRACE] EXIT at 7:2 ('encoding')
    [TRACE] ENTER encoding_definition at 7:2 ('encoding')
      [TRACE] ENTER encoding_entry at 7:13 ('e')
        [TRACE] ENTER encoding_value at 7:17 ('bcd_value')
        [TRACE] EXIT at 7:28 ('}')
      [TRACE] EXIT at 7:30 ('}')
    [TRACE] EXIT at 8:2 ('status_management')
    [TRACE] ENTER status_management at 8:2 ('status_management')
    [TRACE] EXIT at 9:2 ('free_text')
    [TRACE] ENTER free_text at 9:2 ('free_text')
    [TRACE] EXIT at 10:1 ('}')
  [TRACE] EXIT at 11:1 ('<EOF>')
[TRACE] EXIT at 11:1 ('<EOF>')
"""

LINE = re.compile(rb"^(?P<indent>(?:  )*)\[TRACE\] (?:ENTER (?P<label>[a-z_]+)|EXIT) at \d+:\d+ \('.*'\)$", re.DOTALL)

_libc = ctypes.CDLL(None)


@pytest.fixture
def c_stdout(capfdbinary):
    """Reads what has been written to file descriptor 1 since the last read,
    C stdio buffers included."""
    _libc.fflush(None)  # leave out what earlier tests left in the buffer
    capfdbinary.readouterr()

    def read():
        _libc.fflush(None)
        return capfdbinary.readouterr().out

    return read


def traced_parse(content, filename="t.ncf"):
    parser = tolvane.NcfParser(filename, content)
    parser.set_trace(True)
    parser.parse()
    return parser


def check_nesting(trace):
    """Every entry line is closed by an exit line at the same indentation,
    and a rule's lines are indented by two spaces per enclosing rule."""
    open_rules = []
    for line in trace.splitlines():
        match = LINE.match(line)
        assert match, line
        depth = len(match["indent"]) // 2
        if match["label"] is not None:
            assert depth == len(open_rules), line
            open_rules.append(match["label"])
        else:
            assert open_rules, line
            open_rules.pop()
            assert depth == len(open_rules), line
    assert open_rules == []


def test_small_file_traces_byte_exactly(c_stdout):
    parser = traced_parse(SMALL)
    assert c_stdout() == SMALL_TRACE
    assert parser.get_diagnostics() == []
    check_nesting(SMALL_TRACE)


def test_trace_bypasses_sys_stdout(c_stdout):
    python_side = io.StringIO()
    with contextlib.redirect_stdout(python_side):
        traced_parse(SMALL)
    assert python_side.getvalue() == ""
    assert c_stdout() == SMALL_TRACE


def test_second_parse_starts_again_at_depth_zero(c_stdout):
    parser = traced_parse(SMALL)
    c_stdout()
    parser.parse()
    assert c_stdout() == (
        b"[TRACE] ENTER ncf_file at 11:1 ('<EOF>')\n"
        b"  [TRACE] ENTER language_version at 11:1 ('<EOF>')\n"
        b"  [TRACE] EXIT at 11:1 ('<EOF>')\n"
        b"[TRACE] EXIT at 11:1 ('<EOF>')\n"
    )


@pytest.mark.parametrize(
    ("content", "expected"),
    [
        # A stray byte is written as it is, not escaped.
        (
            b'node_capability_file; LIN_language_version = "2.1"; \xe9',
            b"[TRACE] ENTER ncf_file at 1:1 ('node_capability_file')\n"
            b"  [TRACE] ENTER language_version at 1:23 ('LIN_language_version')\n"
            b"  [TRACE] EXIT at 1:53 ('\xe9')\n"
            b"[TRACE] EXIT at 1:53 ('\xe9')\n",
        ),
        # A string shows its re-encoded text without quotes.
        (
            b'node_capability_file; "\xe9"',
            b"[TRACE] ENTER ncf_file at 1:1 ('node_capability_file')\n"
            b"  [TRACE] ENTER language_version at 1:23 ('\xc3\xa9')\n"
            b"  [TRACE] EXIT at 1:26 ('<EOF>')\n"
            b"[TRACE] EXIT at 1:26 ('<EOF>')\n",
        ),
        # A byte-order mark is skipped; the first token is at column 1.
        (
            b"\xef\xbb\xbf",
            b"[TRACE] ENTER ncf_file at 1:1 ('<EOF>')\n"
            b"  [TRACE] ENTER language_version at 1:1 ('<EOF>')\n"
            b"  [TRACE] EXIT at 1:1 ('<EOF>')\n"
            b"[TRACE] EXIT at 1:1 ('<EOF>')\n",
        ),
    ],
    ids=["stray byte", "string", "byte-order mark"],
)
def test_token_text_is_written_byte_for_byte(c_stdout, content, expected):
    traced_parse(content)
    assert c_stdout() == expected


def test_every_rule_of_a_large_file_is_closed(c_stdout):
    # FULL has every construct; breaking it after the first node adds rules
    # left early through the recovery paths.
    traced_parse(FULL + b"node broken { general { } frames { publish { } } }")
    trace = c_stdout()
    check_nesting(trace)
    labels = set(re.findall(rb"ENTER ([a-z_]+) at", trace))
    assert labels == {
        b"ncf_file",
        b"language_version",
        b"node_definition",
        b"general_definition",
        b"bitrate_definition",
        b"diagnostic_definition",
        b"frame_definition",
        b"single_frame",
        b"frame_properties",
        b"signal_definition",
        b"signal_entry",
        b"signal_properties",
        b"encoding_definition",
        b"encoding_entry",
        b"encoding_value",
        b"status_management",
        b"free_text",
    }


def test_nothing_is_written_with_trace_off(c_stdout):
    tolvane.NcfParser("t.ncf", SMALL).parse()
    switched_off = tolvane.NcfParser("t.ncf", SMALL)
    switched_off.set_trace(True)
    switched_off.set_trace(False)
    switched_off.parse()
    assert c_stdout() == b""


def test_switching_on_between_parses(c_stdout):
    parser = tolvane.NcfParser("t.ncf", b'node_capability_file; LIN_language_version = "2.1";\nx')
    parser.parse()
    assert c_stdout() == b""
    parser.set_trace(True)
    parser.parse()
    # The first parse stopped at x; the second goes on from there.
    assert c_stdout() == (
        b"[TRACE] ENTER ncf_file at 2:1 ('x')\n"
        b"  [TRACE] ENTER language_version at 2:1 ('x')\n"
        b"  [TRACE] EXIT at 2:2 ('<EOF>')\n"
        b"[TRACE] EXIT at 2:2 ('<EOF>')\n"
    )


def test_trace_reaches_standard_output_of_a_process_without_a_flush():
    program = (
        "import sys, tolvane\n"
        "p = tolvane.NcfParser('t.ncf', sys.stdin.buffer.read())\n"
        "p.set_trace(True)\n"
        "p.parse()\n"
    )
    result = subprocess.run([sys.executable, "-c", program], input=SMALL, capture_output=True, check=True)
    assert result.stdout == SMALL_TRACE
    assert result.stderr == b""
