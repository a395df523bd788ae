"""The trace of grammar rules, written to the process's C standard output
(file descriptor 1), not to Python's sys.stdout."""

import contextlib
import io
import re

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
HEADER_ONLY = b'node_capability_file; LIN_language_version = "2.1";'

def check_nesting(trace):
    """Every entry line is closed by an exit line at the same indentation,
    and a rule's lines are indented by two spaces per enclosing rule."""
    open_rules = []
    for line in trace.splitlines():
        match = LINE.match(line)
        assert match, line
        if match["label"] is None:
            assert open_rules, line
            open_rules.pop()
        assert len(match["indent"]) // 2 == len(open_rules), line
        if match["label"] is not None:
            open_rules.append(match["label"])
    assert open_rules == []


def test_small_file_traces_byte_exactly_to_the_descriptor_and_not_to_sys_stdout(c_stdout):
    parser = tolvane.NcfParser("t.ncf", SMALL)
    parser.set_trace(True)
    python_side = io.StringIO()
    with contextlib.redirect_stdout(python_side):
        parser.parse()
    assert (c_stdout(), python_side.getvalue(), parser.get_diagnostics()) == (SMALL_TRACE, "", [])
    check_nesting(SMALL_TRACE)


def trace_lines(at, token, end):
    """The trace of a parse that meets `token` at `at` and the end at `end`."""
    return (
        f"[TRACE] ENTER ncf_file at {at} ('{token}')\n  [TRACE] ENTER language_version at {at} ('{token}')\n"
        f"  [TRACE] EXIT at {end} ('<EOF>')\n[TRACE] EXIT at {end} ('<EOF>')\n"
    ).encode()


@pytest.mark.parametrize(
    ("content", "untraced_parses", "expected"),
    [
        # A stray byte is written as it is, not escaped as Python shows it.
        (
            HEADER_ONLY + b" \xe9",
            0,
            b"[TRACE] ENTER ncf_file at 1:1 ('node_capability_file')\n"
            b"  [TRACE] ENTER language_version at 1:23 ('LIN_language_version')\n"
            b"  [TRACE] EXIT at 1:53 ('\xe9')\n"
            b"[TRACE] EXIT at 1:53 ('\xe9')\n",
        ),
        # A byte-order mark is skipped; the first token is at column 1.
        (b"\xef\xbb\xbf", 0, trace_lines("1:1", "<EOF>", "1:1")),
        # Switched on after a parse that stopped at x: the second goes on from there, at depth zero.
        (HEADER_ONLY + b"\nx", 1, trace_lines("2:1", "x", "2:2")),
        (SMALL, 1, trace_lines("11:1", "<EOF>", "11:1")),
    ],
    ids=["stray byte", "byte-order mark", "switched on at a stray token", "switched on at the end"],
)
def test_token_text_and_later_parses(c_stdout, content, untraced_parses, expected):
    parser = tolvane.NcfParser("t.ncf", content)
    parser.set_trace(True)
    parser.set_trace(False)  # off again: the parses below write nothing
    for _ in range(untraced_parses):
        parser.parse()
    assert c_stdout() == b""
    parser.set_trace(True)
    parser.parse()
    assert c_stdout() == expected


def test_every_rule_of_a_large_file_is_closed(c_stdout):
    # FULL has every construct; breaking it after the first node adds rules
    # left early through the recovery paths.
    parser = tolvane.NcfParser("t.ncf", FULL + b"node broken { general { } frames { publish { } } }")
    parser.set_trace(True)
    parser.parse()
    trace = c_stdout()
    check_nesting(trace)
    every_rule = set(re.findall(rb"ENTER ([a-z_]+) at", SMALL_TRACE))
    assert len(every_rule) == 17 and set(re.findall(rb"ENTER ([a-z_]+) at", trace)) == every_rule

