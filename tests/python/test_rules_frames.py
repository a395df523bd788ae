"""The frames section: lengths, periods, names, and where each signal sits
in its frame."""

import pytest

from rules_cases import ENCODING, E, W, assert_findings, findings, frames_of, node_file, published, signal

ERROR_BIT = signal("error_bit", 1, 0)


def frame_file(*frames, encoding=ENCODING):
    """A node with the given frames; the encoding of the clean node stays
    used through a signal of the first frame unless another is given."""
    return node_file(frames=frames_of(*frames), encoding=encoding)


def one_frame(signals, length=2, extra="", name="status"):
    return frame_file(published(name, ERROR_BIT + signals, length, extra), encoding="")


@pytest.mark.parametrize(("length", "expected"), [
    ("1", []),
    ("8", []),
    ("»0", [E("frame-length", "Frame 'status' has length 0, expected 1..8")]),
    ("»9", [E("frame-length", "Frame 'status' has length 9, expected 1..8")]),
    ("»-1", [E("frame-length", "Frame 'status' has length -1, expected 1..8")]),
])
def test_frame_length(length, expected):
    assert_findings(one_frame("", length), expected)


def periods(text):
    return one_frame("", extra=f"            {text}\n")


@pytest.mark.parametrize(("text", "expected"), [
    (periods("min_period = 0 ms; max_period = 0 ms;"), []),
    (periods("min_period = 10 ms; max_period = 10 ms;"), []),
    (periods("min_period = 10 ms;"), []),
    (periods("min_period = »11 ms; max_period = 10 ms;"), [
        E("frame-period", "Frame 'status': min_period 11 ms is above max_period 10 ms")]),
    (periods("min_period = »-1 ms;"), [E("frame-period", "Frame 'status': min_period -1 ms is negative")]),
    (periods("max_period = »-5 ms;"), [E("frame-period", "Frame 'status': max_period -5 ms is negative")]),
    # Negative periods are reported each; their order is not compared.
    (periods("min_period = »-1 ms; max_period = »-5 ms;"), [
        E("frame-period", "Frame 'status': min_period -1 ms is negative"),
        E("frame-period", "Frame 'status': max_period -5 ms is negative")]),
], ids=lambda value: "" if isinstance(value, list) else None)
def test_frame_periods(text, expected):
    assert_findings(text, expected)


def test_a_frame_defined_twice_is_reported_at_every_later_definition():
    text = frame_file(published("status", ERROR_BIT), published("»status", signal("b")),
                      published("»status", signal("c")), encoding="")
    assert_findings(text, [E("duplicate-frame", "Frame 'status' is defined twice in node 'door'")] * 2)


def test_frame_names_are_per_node():
    other = node_file(frames=frames_of(published("status", ERROR_BIT)), encoding="").split("node door", 1)[1]
    assert_findings(node_file(frames=frames_of(published("status", ERROR_BIT)), encoding="")
                    + "node window" + other, [])


@pytest.mark.parametrize(("frames", "expected"), [
    ([published("»quiet", "")], [W("empty-frame", "Frame 'quiet' has no signals")]),
    ([published("»quiet", "").replace("signals {\n            }\n", "")],
     [W("empty-frame", "Frame 'quiet' has no signals")]),
    # An event-triggered frame carries the signals of the frames naming it.
    ([published("events", "", length=2), published("status", signal("b", offset=8), extra=(
        "            event_triggered_frame = events;\n"))], []),
], ids=["no-signal", "no-signals-block", "event-triggered"])
def test_empty_frames(frames, expected):
    assert_findings(frame_file(published("main", ERROR_BIT), *frames, encoding=""), expected)


def sized(size, init="0", offset=0, length=8):
    return one_frame(signal("s", size, offset + 8, init).replace("size = ", "size = »"), length)


@pytest.mark.parametrize(("text", "expected"), [
    (sized(1), []),
    (sized(16), []),
    (sized(0), [E("signal-size", "Scalar signal 's' has size 0, expected 1..16")]),
    (sized(17), [E("signal-size", "Scalar signal 's' has size 17, expected 1..16")]),
    (sized(-3), [E("signal-size", "Scalar signal 's' has size -3, expected 1..16")]),
    (sized(-2, "5"), [E("signal-size", "Scalar signal 's' has size -2, expected 1..16")]),
    (sized(8, "{ 0 }"), []),
    (sized(16, "{ 0, 0 }"), []),
    (sized(56, "{ 0, 0, 0, 0, 0, 0, 0 }"), []),
    (sized(7, "{ 0 }"), [E("signal-size", "Byte-array signal 's' has size 7, expected 8, 16, ..., 64")]),
    (sized(12, "{ 0, 0 }"), [E("signal-size", "Byte-array signal 's' has size 12, expected 8, 16, ..., 64")]),
    # Too large a signal is still placed: here it also leaves its frame.
    (sized(72, "{ 0 }").replace(" s {", " »s {"), [
        E("signal-outside-frame", "Signal 's' (bits 8..79) does not fit frame 'status' of 8 byte(s)"),
        E("signal-size", "Byte-array signal 's' has size 72, expected 8, 16, ..., 64")]),
], ids=lambda value: "" if isinstance(value, list) else None)
def test_signal_sizes(text, expected):
    assert_findings(text, expected)


def test_a_signal_without_a_size_is_reported_at_its_name():
    text = one_frame("                »s { init_value = 0; offset = 8; }\n")
    assert_findings(text, [E("signal-size", "Scalar signal 's' has size 0, expected 1..16")])


def test_a_64_bit_byte_array_fills_a_frame():
    text = frame_file(published("data", signal("s", 64, 0, "{ 1, 2, 3, 4, 5, 6, 7, 8 }"), length=8),
                      published("errors", ERROR_BIT, length=1), encoding="")
    assert_findings(text, [])


@pytest.mark.parametrize(("offset", "expected"), [
    ("8", []),
    ("16", []),
    ("»9", [E("array-offset", "Byte-array signal 's' starts at bit 9, not on a byte boundary")]),
    ("»15", [E("array-offset", "Byte-array signal 's' starts at bit 15, not on a byte boundary")]),
])
def test_byte_arrays_start_on_a_byte(offset, expected):
    text = one_frame(f"                s {{ init_value = {{ 0 }}; size = 8; offset = {offset}; }}\n", length=8)
    assert_findings(text, expected)


def placed(offset, size, length=2):
    return one_frame(signal("s", size, offset).replace("s {", "»s {"), length)


@pytest.mark.parametrize(("text", "expected"), [
    (placed(8, 8), []),
    (placed(15, 1), []),
    (placed(16, 1), [E("signal-outside-frame", "Signal 's' (bits 16..16) does not fit frame 'status' of 2 byte(s)")]),
    (placed(9, 8), [E("signal-outside-frame", "Signal 's' (bits 9..16) does not fit frame 'status' of 2 byte(s)")]),
    (placed(63, 1, 8), []),
    (placed(63, 2, 8), [E("signal-outside-frame", "Signal 's' (bits 63..64) does not fit frame 'status' of 8 byte(s)")]),
    (placed(-1, 1), [E("signal-outside-frame", "Signal 's' (bits -1..-1) does not fit frame 'status' of 2 byte(s)")]),
    # A frame of 9 bytes is checked against the length written.
    (placed(64, 8, 9).replace("»s {", "s {").replace("length = 9", "length = »9"), [
        E("frame-length", "Frame 'status' has length 9, expected 1..8")]),
    (placed(2147483647, 16, 8), [E("signal-outside-frame",
        "Signal 's' (bits 2147483647..2147483662) does not fit frame 'status' of 8 byte(s)")]),
], ids=lambda value: "" if isinstance(value, list) else None)
def test_signals_inside_their_frame(text, expected):
    assert_findings(text, expected)


def test_signals_of_a_frame_without_length_are_not_placed():
    text = one_frame(signal("s", 8, 8), length="»0")
    assert_findings(text, [E("frame-length", "Frame 'status' has length 0, expected 1..8")])


@pytest.mark.parametrize(("signals", "expected"), [
    ([("a", 4, 8), ("b", 4, 12)], []),
    ([("a", 4, 8), ("»b", 4, 11)], [
        E("signal-overlap", "Signal 'b' (bits 11..14) overlaps signal 'a' (bits 8..11) in frame 'status'")]),
    # Reported at the later signal in the file, whichever starts first.
    ([("a", 2, 12), ("»b", 8, 8)], [
        E("signal-overlap", "Signal 'b' (bits 8..15) overlaps signal 'a' (bits 12..13) in frame 'status'")]),
    ([("a", 8, 8), ("»b", 1, 9), ("»»c", 1, 9)], [
        E("signal-overlap", "Signal 'b' (bits 9..9) overlaps signal 'a' (bits 8..15) in frame 'status'"),
        E("signal-overlap", "Signal 'c' (bits 9..9) overlaps signal 'a' (bits 8..15) in frame 'status'"),
        E("signal-overlap", "Signal 'c' (bits 9..9) overlaps signal 'b' (bits 9..9) in frame 'status'")]),
    # Two earlier signals of one name and place give one finding.
    ([("a", 8, 8), ("»»a", 8, 8), ("»b", 1, 9)], [
        E("duplicate-signal", "Signal 'a' is defined twice in frame 'status'"),
        E("signal-overlap", "Signal 'a' (bits 8..15) overlaps signal 'a' (bits 8..15) in frame 'status'"),
        E("signal-overlap", "Signal 'b' (bits 9..9) overlaps signal 'a' (bits 8..15) in frame 'status'")]),
    # A signal of no bits overlaps nothing.
    ([("a", 8, 8), ("»b", 0, 8)], [E("signal-size", "Scalar signal 'b' has size 0, expected 1..16")]),
], ids=["adjacent", "one-bit", "later-in-file", "three", "same-name", "no-bits"])
def test_signal_overlaps(signals, expected):
    lines = "".join(signal(name, size, offset) for name, size, offset in signals)
    text = one_frame(lines)
    if expected and expected[0][1] == "signal-size":
        text = text.replace("»b { init_value = 0; size = 0", "b { init_value = 0; size = »0")
    assert_findings(text, expected)


def test_overlaps_are_not_searched_for_in_other_frames():
    text = frame_file(published("one", ERROR_BIT), published("two", signal("b", 1, 0)), encoding="")
    assert_findings(text, [])


def test_many_signals_on_one_bit_give_twenty_findings_and_a_count_of_the_rest():
    # Each signal overlaps those before it on its bit, of which at most 64 are kept open.
    text = one_frame("".join(signal(f"s{i}", 1, 8) for i in range(300)))
    found = findings(text)
    assert {code for _, _, _, code, _ in found} == {"signal-overlap"}
    pairs = sum(min(i, 64) for i in range(300))
    assert [message for *_, message in found] == [
        "Signal 's1' (bits 8..8) overlaps signal 's0' (bits 8..8) in frame 'status'",
        *(f"Signal 's{i}' (bits 8..8) overlaps signal 's{j}' (bits 8..8) in frame 'status'"
          for i in range(2, 7) for j in range(i))][:20] + [
        f"{pairs - 20} more signal-overlap findings in frame 'status' are not reported "
        "(at most 20 per rule and frame)"]
    assert found[20][:3] == (found[19][0], found[19][1], "Error")  # at s6, where the first one left out is


def initial(init, size=8, offset=8, mark="init_value"):
    line = signal("s", size, offset, init)
    return one_frame(line.replace(mark, "»" + mark, 1), length=8)


@pytest.mark.parametrize(("text", "expected"), [
    (initial("0"), []),
    (initial("255"), []),
    (initial("256"), [E("init-value", "Initial value 256 of signal 's' does not fit 8 bits")]),
    (initial("-1"), [E("init-value", "Initial value -1 of signal 's' does not fit 8 bits")]),
    (initial("1", size=1), []),
    (initial("2", size=1), [E("init-value", "Initial value 2 of signal 's' does not fit 1 bits")]),
    (initial("0xFFFF", size=16), []),
    (initial("0x10000", size=16), [E("init-value", "Initial value 65536 of signal 's' does not fit 16 bits")]),
    (initial("{ 0, 255 }", size=16), []),
    (initial("{ 0 }", size=16), [E("init-value", "Signal 's' has 1 initial bytes for size 16")]),
    (initial("{ 0, 0, 0 }", size=16), [E("init-value", "Signal 's' has 3 initial bytes for size 16")]),
    (initial("{ 0, »256 }", size=16, mark="@"), [E("init-value", "Initial byte 256 of signal 's' does not fit 8 bits")]),
    (initial("{ »-1, »300 }", size=16, mark="@"), [
        E("init-value", "Initial byte -1 of signal 's' does not fit 8 bits"),
        E("init-value", "Initial byte 300 of signal 's' does not fit 8 bits")]),
], ids=lambda value: "" if isinstance(value, list) else None)
def test_initial_values(text, expected):
    assert_findings(text, expected)


def test_a_signal_without_init_value_starts_at_0():
    assert_findings(one_frame("                s { size = 8; offset = 8; }\n"), [])


def test_signal_names():
    text = frame_file(
        published("one", ERROR_BIT + signal("a", 1, 1) + signal("»a", 1, 2)),
        published("two", signal("»a", 1, 0) + signal("»a", 1, 1)),
        published("three", signal("»a", 1, 0)), encoding="")
    assert_findings(text, [
        E("duplicate-signal", "Signal 'a' is defined twice in frame 'one'"),
        W("duplicate-signal", "Signal 'a' is defined in frames 'one' and 'two'"),
        E("duplicate-signal", "Signal 'a' is defined twice in frame 'two'"),
        W("duplicate-signal", "Signal 'a' is defined in frames 'one' and 'three'"),
    ])


def test_signals_of_a_frame_defined_twice_are_not_reported_again():
    text = frame_file(published("one", ERROR_BIT), published("»one", ERROR_BIT), encoding="")
    assert_findings(text, [E("duplicate-frame", "Frame 'one' is defined twice in node 'door'")])


def behind_event_frame(*signals):
    return frame_file(
        published("events", "", length=1),
        published("status", "".join(signals), length=3, extra="            event_triggered_frame = events;\n"),
        encoding="")


@pytest.mark.parametrize(("text", "expected"), [
    (behind_event_frame(signal("error_bit", 1, 8), signal("b", 8, 16)), []),
    (behind_event_frame(signal("error_bit", 1, 8), signal("»b", 1, 7)), [E(
        "event-triggered-pid-byte", "Signal 'b' (bits 7..7) overlaps the identifier byte of event-triggered "
        "frame 'events' in frame 'status'")]),
    (behind_event_frame(signal("error_bit", 1, 8), signal("»b", 1, 0)), [E(
        "event-triggered-pid-byte", "Signal 'b' (bits 0..0) overlaps the identifier byte of event-triggered "
        "frame 'events' in frame 'status'")]),
], ids=["clear", "bit-7", "bit-0"])
def test_the_identifier_byte_behind_an_event_triggered_frame(text, expected):
    assert_findings(text, expected)
