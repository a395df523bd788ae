"""Frames through a node's encodings: decoding data bytes to what each
signal means, and encoding values back to data bytes."""

import math
import pathlib
import pickle

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import tolvane
from rules_cases import encodings_of, frames_of, node_file, published, signal

GAPS = 'physical_value, 0, 9, 1, 0, "a"; physical_value, 20, 29, 0.5, 10, "b";'
MIXED = 'logical_value, 0, "off"; physical_value, 1, 254, 1, 0, "km/h"; logical_value, 255, "error";'
OVERLAP = "physical_value, 0, 10, 1, 0; physical_value, 5, 20, 2, 0;"
TEMPERATURE = 'physical_value, 0, 250, 0.5, -40, "C";'


def node_of(lines, size=8, init="0", length=None, encoding="e"):
    """The node of a file with one frame 'f' of one signal 's' at offset 0
    that uses encoding 'e' made of `lines`."""
    length = length or max(1, (size + 7) // 8)
    text = node_file(frames=frames_of(published("f", signal("s", size, 0, init, encoding), length)),
                     encoding=encodings_of(f"e {{ {lines} }}") if lines is not None else "")
    parser = tolvane.NcfParser("enc.ncf", text)
    ncf_file = parser.parse()
    assert parser.get_diagnostics() == []
    return ncf_file.nodes[0]


def decoded(lines, raw, size=8, array=False):
    data = raw if array else raw.to_bytes(max(1, (size + 7) // 8), "little")
    init = "{ " + ", ".join("0" for _ in data) + " }" if array else "0"
    return tuple(tolvane.decode(node_of(lines, size, init), "f", data)["s"])


@pytest.mark.parametrize(("lines", "size", "raw", "expected"), [
    # Several physical lines with a gap between them: the gap stays raw.
    (GAPS, 8, 0, (0, 0.0, "a", "physical")),
    (GAPS, 8, 9, (9, 9.0, "a", "physical")),
    (GAPS, 8, 10, (10, 10, None, "raw")),
    (GAPS, 8, 20, (20, 20.0, "b", "physical")),
    (GAPS, 8, 29, (29, 24.5, "b", "physical")),
    (GAPS, 8, 30, (30, 30, None, "raw")),
    # The first line that covers the raw value wins.
    (OVERLAP, 8, 7, (7, 7.0, None, "physical")),
    (OVERLAP, 8, 15, (15, 30.0, None, "physical")),
    # Logical and physical lines mixed.
    (MIXED, 8, 0, (0, "off", None, "logical")),
    (MIXED, 8, 1, (1, 1.0, "km/h", "physical")),
    (MIXED, 8, 254, (254, 254.0, "km/h", "physical")),
    (MIXED, 8, 255, (255, "error", None, "logical")),
    ("logical_value, 3;", 8, 3, (3, 3, None, "logical")),
    # Scale 0 gives the offset; negative offsets and scales.
    ('physical_value, 0, 3, 0, 5, "x";', 8, 2, (2, 5.0, "x", "physical")),
    (TEMPERATURE, 8, 0, (0, -40.0, "C", "physical")),
    (TEMPERATURE, 8, 250, (250, 85.0, "C", "physical")),
    ("physical_value, 0, 100, -1, 100;", 8, 30, (30, 70.0, None, "physical")),
    ("physical_value, 10, 0, 1, 0;", 8, 5, (5, 5, None, "raw")),  # a reversed range covers nothing
    # Both ends of 1- and 16-bit signals.
    ("physical_value, 0, 1, 1, 0;", 1, 1, (1, 1.0, None, "physical")),
    ("physical_value, 0, 65535, 1, 0;", 16, 0, (0, 0.0, None, "physical")),
    ("physical_value, 0, 65535, 1, 0;", 16, 65535, (65535, 65535.0, None, "physical")),
    # BCD of a scalar: four bits a digit, the most significant first.
    ("bcd_value;", 16, 0x1234, (0x1234, 1234, None, "bcd")),
    ("bcd_value;", 16, 0x9999, (0x9999, 9999, None, "bcd")),
    ("bcd_value;", 16, 0x12A4, (0x12A4, 0x12A4, None, "raw")),
    ("bcd_value;", 6, 0x39, (0x39, 39, None, "bcd")),
    ("bcd_value;", 1, 1, (1, 1, None, "bcd")),
    # An ASCII line never covers a scalar.
    ("ascii_value;", 8, 0x41, (0x41, 0x41, None, "raw")),
], ids=lambda value: None)
def test_decoding_a_scalar(lines, size, raw, expected):
    assert decoded(lines, raw, size) == expected


@pytest.mark.parametrize(("lines", "data", "expected"), [
    # BCD of a byte array: the first byte holds the most significant digits.
    ("bcd_value;", b"\x22\x11", (b"\x22\x11", 2211, None, "bcd")),
    ("bcd_value;", b"\x00\x09", (b"\x00\x09", 9, None, "bcd")),
    ("bcd_value;", b"\x0f\x00", (b"\x0f\x00", b"\x0f\x00", None, "raw")),
    ("bcd_value;", b"\x99" * 8, (b"\x99" * 8, 9999999999999999, None, "bcd")),
    # ASCII: one 7-bit character per byte, every byte kept.
    ("ascii_value;", b"AB", (b"AB", "AB", None, "ascii")),
    ("ascii_value;", b"\x00A", (b"\x00A", "\x00A", None, "ascii")),
    ("ascii_value;", b"\x7f\x7f", (b"\x7f\x7f", "\x7f\x7f", None, "ascii")),
    ("ascii_value;", b"\x80A", (b"\x80A", b"\x80A", None, "raw")),
    # Physical and logical lines never cover a byte array.
    ("physical_value, 0, 255, 1, 0;", b"\x01\x02", (b"\x01\x02", b"\x01\x02", None, "raw")),
    ("logical_value, 1;", b"\x01\x00", (b"\x01\x00", b"\x01\x00", None, "raw")),
    ("bcd_value; ascii_value;", b"\x12\x34", (b"\x12\x34", 1234, None, "bcd")),
    ("bcd_value; ascii_value;", b"A\x7f", (b"A\x7f", "A\x7f", None, "ascii")),
])
def test_decoding_a_byte_array(lines, data, expected):
    assert decoded(lines, data, 8 * len(data), array=True) == expected


def encoded(lines, value, size=8, init="0"):
    return tolvane.encode(node_of(lines, size, init), "f", {"s": value}).hex()


@pytest.mark.parametrize(("lines", "size", "value", "data"), [
    # Halves are rounded away from zero (Python's round() would give 2 and -2).
    ("physical_value, 0, 10, 2, 0;", 8, 3, "02"),
    ("physical_value, 0, 10, 2, 0;", 8, 5, "03"),
    ("physical_value, 0, 10, 2, 0;", 8, 4.9, "02"),
    ("physical_value, 0, 10, -2, 0;", 8, -5, "03"),
    ("physical_value, 0, 10, 1, -0.5;", 8, 2.0, "03"),
    (TEMPERATURE, 8, -40, "00"),
    (TEMPERATURE, 8, 85.0, "fa"),
    (TEMPERATURE, 8, 20.2, "78"),  # 120.4 rounds to 120
    (TEMPERATURE, 8, 20.25, "79"),  # 120.5 rounds to 121
    # The first line that takes the value wins; a gap is not a line.
    (GAPS, 8, 4.5, "05"),
    (GAPS, 8, 2.25, "02"),
    (GAPS, 8, 22.25, "19"),
    (OVERLAP, 8, 12, "06"),
    # Scale 0 takes only the offset itself, as the line's lowest raw value.
    ('physical_value, 2, 3, 0, 5, "x";', 8, 5, "02"),
    ('physical_value, 2, 3, 0, 5, "x";', 8, 5.0, "02"),
    # Logical texts and the raw value of a logical line.
    (MIXED, 8, "off", "00"),
    (MIXED, 8, "error", "ff"),
    (MIXED, 8, 255, "ff"),
    (MIXED, 8, 0, "00"),
    (MIXED, 8, 100, "64"),
    ('logical_value, 0, "no"; logical_value, 1, "yes";', 1, "yes", "01"),
    ('logical_value, 0, "no"; logical_value, 1, "yes";', 1, 1, "01"),
    # BCD numbers.
    ("bcd_value;", 16, 1234, "3412"),
    ("bcd_value;", 16, 0, "0000"),
    ("bcd_value;", 16, 9999, "9999"),
    ("bcd_value;", 6, 39, "39"),
    # Without an encoding line that takes numbers, an int is the raw value.
    ('logical_value, 0, "no";', 8, 200, "c8"),
    ("ascii_value;", 16, 0xFFFF, "ffff"),
])
def test_encoding_a_scalar(lines, size, value, data):
    assert encoded(lines, value, size) == data


def test_encoding_without_an_encoding_takes_raw_values_to_both_ends():
    for size in (1, 8, 16):
        node = node_of(None, size, encoding=None)
        for raw in (0, 2**size - 1):
            assert tolvane.encode(node, "f", {"s": raw}) == raw.to_bytes((size + 7) // 8, "little")
        with pytest.raises(tolvane.CodecError, match=f"does not fit {size} bit"):
            tolvane.encode(node, "f", {"s": 2**size})


@pytest.mark.parametrize(("lines", "size", "value", "message"), [
    (GAPS, 8, 15, "The value 15 of the signal 's' of frame 'f' (encoding 'e') lies outside every physical "
                  "range: 0..9 a; 20..24.5 b"),
    (GAPS, 8, 9.6, "outside every physical range"),
    # The range is cut to what the signal can carry.
    ("physical_value, 0, 1000, 1, 0;", 8, 300, "outside every physical range: 0..1000"),
    ("physical_value, -10, 10, 1, 0;", 8, -1, "outside every physical range"),
    ('physical_value, 2, 3, 0, 5, "x";', 8, 5.5, "outside every physical range: 5..5 x"),
    (TEMPERATURE, 8, math.nan, "takes a finite number, not nan"),
    (TEMPERATURE, 8, math.inf, "takes a finite number, not inf"),
    (TEMPERATURE, 8, -math.inf, "takes a finite number, not -inf"),
    (TEMPERATURE, 8, 10**30, "does not fit 64 bits"),
    (TEMPERATURE, 8, "hot", "The text 'hot' is not a logical value of the signal 's' of frame 'f' (encoding 'e'), "
                            "which takes no text"),
    (MIXED, 8, "Off", "it takes 'off', 'error'"),
    (MIXED, 8, 256, "outside every physical range: 1..254 km/h"),
    ('logical_value, 300, "big";', 8, "big", "The logical value 'big' of the signal 's' of frame 'f' (encoding 'e') "
                                            "has the raw value 300, which does not fit 8 bits"),
    ('logical_value, 0, "no";', 8, 2.0, "is not an int, and no physical value line takes it"),
    ('logical_value, 0, "no";', 8, -1, "The value -1 of the signal 's' of frame 'f' (encoding 'e') is negative"),
    ("bcd_value;", 16, 10000, "does not fit 4 BCD digits of 16 bits"),
    ("bcd_value;", 6, 40, "does not fit 2 BCD digits of 6 bits"),
    ("bcd_value;", 16, -1, "does not fit 4 BCD digits"),
    ("bcd_value;", 16, 12.0, "is not an int"),
    ("bcd_value;", 16, True, "is a number, a text, or bytes for a byte array, not bool"),
    ("bcd_value;", 16, None, "not NoneType"),
    ("bcd_value;", 16, b"\x01\x02", "is a scalar: give an int, not bytes"),
])
def test_values_no_line_takes(lines, size, value, message):
    with pytest.raises(tolvane.CodecError, match=message.replace("(", r"\(").replace(")", r"\)")):
        encoded(lines, value, size)


@pytest.mark.parametrize(("lines", "value", "data"), [
    ("bcd_value;", 2211, "2211"),
    ("bcd_value;", 7, "0007"),
    ("ascii_value;", "AB", "4142"),
    ("ascii_value;", "\x00\x7f", "007f"),
    ("ascii_value;", b"\x80\x81", "8081"),
    ("bcd_value;", [0x12, 0x34], "1234"),
    (None, bytearray(b"\xff\x00"), "ff00"),
])
def test_encoding_a_byte_array(lines, value, data):
    node = node_of(lines, 16, "{ 0, 0 }", encoding="e" if lines else None)
    assert tolvane.encode(node, "f", {"s": value}).hex() == data


@pytest.mark.parametrize(("lines", "value", "message"), [
    ("ascii_value;", "ABC", "The text 'ABC' of the signal 's' of frame 'f' \\(encoding 'e'\\) has 3 characters, not 2"),
    ("ascii_value;", "é!", "is not 7-bit ASCII"),
    ("ascii_value;", "\x80!", "is not 7-bit ASCII"),
    ("ascii_value;", "\ud800!", "The text of the signal 's' of frame 'f' holds a lone surrogate"),
    ("bcd_value;", 10000, "does not fit 4 BCD digits of 16 bits"),
    ("bcd_value;", "12", "is not a logical value"),
    ("physical_value, 0, 255, 1, 0;", 12, "is a byte array: give its 2 bytes, not a number"),
    ("physical_value, 0, 255, 1, 0;", 1.5, "is a byte array: give its 2 bytes, not a number"),
    ("ascii_value;", b"\x01", "takes 2 bytes, not 1"),
    ("ascii_value;", [1, 256], "The byte 256 of the signal 's' of frame 'f' does not fit 8 bits"),
    ("ascii_value;", [1, "2"], "are ints 0..255, not str"),
])
def test_byte_array_values_no_line_takes(lines, value, message):
    node = node_of(lines, 16, "{ 0, 0 }")
    with pytest.raises(tolvane.CodecError, match=message):
        tolvane.encode(node, "f", {"s": value})


EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "door_module.ncf"
DOOR = tolvane.NcfParser("door_module.ncf", EXAMPLE.read_bytes()).parse()
DOOR_NODE = DOOR.nodes[0]


def test_the_example_module_decodes_and_encodes_every_kind():
    status = tolvane.decode(DOOR_NODE, "door_status", bytes.fromhex("0001282211"))
    assert {name: tuple(value) for name, value in status.items()} == {
        "door_open": (1, "open", None, "logical"),
        "window_position": (40, 20.0, "percent", "physical"),
        "mirror_angle": (b"\x22\x11", 2211, None, "bcd"),
        "comm_error": (0, 0, None, "raw"),
    }
    values = {"door_open": "open", "window_position": 20.0, "mirror_angle": 2211}
    assert tolvane.encode(DOOR_NODE, "door_status", values).hex() == "0001282211"
    # A frame record works as well as its name; unset bits may be 1.
    frame = DOOR_NODE.frames[1]
    assert tolvane.encode(DOOR_NODE, frame, {"lock_request": "unlock"}, unused_bits=1).hex() == "fe00"
    assert tolvane.decode(DOOR_NODE, frame, b"\x01\x07")["lock_request"].value == "lock"


def test_frames_and_encodings_the_node_does_not_have():
    with pytest.raises(tolvane.CodecError, match="Node 'door_module' has no frame 'door'"):
        tolvane.decode(DOOR_NODE, "door", b"")
    with pytest.raises(tolvane.CodecError, match="Frame 'door_status' has no signal 'door'"):
        tolvane.encode(DOOR_NODE, "door_status", {"door": 1})
    with pytest.raises(TypeError, match="frame is an NcfSingleFrame or a frame's name, not int"):
        tolvane.decode(DOOR_NODE, 1, b"")
    with pytest.raises(TypeError, match="signal names are str, not int"):
        tolvane.encode(DOOR_NODE, "door_status", {1: 1})
    with pytest.raises(tolvane.CodecError, match="has 5 data bytes, not 4"):
        tolvane.decode(DOOR_NODE, "door_status", b"\x00" * 4)
    node = node_of(None, encoding="missing")
    for call in (lambda: tolvane.decode(node, "f", b"\x00"), lambda: tolvane.encode(node, "f")):
        with pytest.raises(tolvane.CodecError, match="The signal 's' of frame 'f' uses encoding 'missing', which node "
                                                     "'door' does not define"):
            call()


def test_a_logical_text_of_a_latin_1_file_matches():
    # The reader takes string literals as ISO 8859-1: the text is the same in Python.
    text = node_file(frames=frames_of(published("f", signal("s", 8, 0, "0", "e"), 1)),
                     encoding=encodings_of('e { logical_value, 7, "50 \xb0C"; }'))
    node = tolvane.NcfParser("latin.ncf", text.encode("latin-1")).parse().nodes[0]
    value = tolvane.decode(node, "f", b"\x07")["s"].value
    assert value == "50 °C"
    assert tolvane.encode(node, "f", {"s": value}) == b"\x07"


def test_the_decoded_record_is_a_read_only_named_tuple():
    record = tolvane.decode(DOOR_NODE, "door_status", bytes.fromhex("0001282211"))["window_position"]
    assert repr(record) == "tolvane.DecodedSignal(raw=40, value=20.0, unit='percent', kind='physical')"
    assert (record.raw, record.value, record.unit, record.kind) == record == (40, 20.0, "percent", "physical")
    with pytest.raises(AttributeError):
        record.value = 1.0
    match record:
        case tolvane.DecodedSignal(raw, value, unit, "physical"):
            assert (raw, value, unit) == (40, 20.0, "percent")
        case _:
            pytest.fail("no match")
    assert pickle.loads(pickle.dumps(record)) == record


# A frame of every kind of signal, its encodings drawn: scales and offsets
# of ordinary size, lines that take no value twice.
SCALES = [1e-4, 0.01, 0.1, 0.25, 0.5, 1, 2, 10, 1e4, -0.5, -1]


@st.composite
def physical_lines(draw):
    """Physical lines over disjoint raw ranges of an 8-bit signal, whose
    physical values do not overlap either (each line's range lies above the
    one before, for a positive scale)."""
    bounds = sorted(draw(st.sets(st.integers(0, 255), min_size=2, max_size=6)))
    lines, start = [], draw(st.floats(-1e6, 1e6, allow_nan=False).map(lambda x: round(x, 2)))
    for low, high in zip(bounds[::2], bounds[1::2]):
        scale = draw(st.sampled_from([s for s in SCALES if s > 0]))
        offset = start - low * scale
        lines.append(f"physical_value, {low}, {high}, {scale!r}, {offset!r};")
        start += (high - low + 2) * scale + 1
    return " ".join(lines)


def mixed_node(physical, logical_raw):
    signals = (signal("p", 8, 0, "0", "pe") + signal("l", 4, 8, "0", "le") + signal("b", 12, 12, "0", "be")
               + signal("t", 16, 32, "{ 65, 66 }", "te") + signal("d", 16, 48, "{ 0, 0 }", "de"))
    logical = " ".join(f'logical_value, {raw}, "v{raw}";' for raw in logical_raw)
    text = node_file(frames=frames_of(published("f", signals, 8)),
                     encoding=encodings_of(f"pe {{ {physical} }}", f"le {{ {logical} }}", "be { bcd_value; }",
                                           "te { ascii_value; }", "de { bcd_value; }"))
    parser = tolvane.NcfParser("mixed.ncf", text)
    ncf_file = parser.parse()
    assert parser.get_diagnostics() == []
    return ncf_file.nodes[0]


@settings(max_examples=150, deadline=None)
@given(physical_lines(), st.sets(st.integers(0, 15), min_size=1), st.binary(min_size=8, max_size=8))
def test_decode_never_fails_and_encode_takes_its_values_back(physical, logical_raw, data):
    node = mixed_node(physical, logical_raw)
    decoded_values = tolvane.decode(node, "f", data)
    assert list(decoded_values) == ["p", "l", "b", "t", "d"]
    assert {name: value.raw for name, value in decoded_values.items()} == tolvane.unpack(node.frames[0], data)
    meant = {name: value.value for name, value in decoded_values.items() if value.kind != "raw"}
    again = tolvane.decode(node, "f", tolvane.encode(node, "f", meant))
    for name in meant:
        assert again[name] == decoded_values[name], name
