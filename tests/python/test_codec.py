"""Frames on the bus: raw signal values to data bytes and back, the
protected identifier and the checksum."""

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import tolvane
from rules_cases import frames_of, node_file, published, signal


def frame_of(signals, length=2):
    """The frame of a one-node file with the given signal lines."""
    parser = tolvane.NcfParser("codec.ncf", node_file(frames=frames_of(published("f", signals, length)), encoding=""))
    ncf_file = parser.parse()
    assert parser.get_diagnostics() == []
    return ncf_file.nodes[0].frames[0]


@pytest.mark.parametrize(("signals", "length", "values", "data"), [
    # A scalar that spans bytes is little-endian.
    ([("s", 12, 4)], 2, {"s": 0xABC}, "c0ab"),
    ([("s", 1, 0)], 1, {"s": 1}, "01"),
    ([("s", 1, 63)], 8, {"s": 1}, "0000000000000080"),
    ([("s", 16, 0)], 2, {"s": 0xFFFF}, "ffff"),
    ([("s", 16, 3)], 3, {"s": 0x8001}, "080004"),
    ([("a", 4, 0), ("b", 4, 4)], 1, {"a": 0x1, "b": 0xF}, "f1"),
    ([("a", 3, 2)], 1, {"a": 0}, "00"),
], ids=["span", "bit-0", "bit-63", "16-bit", "16-bit-unaligned", "nibbles", "zero"])
def test_scalars_in_the_lin_bit_order(signals, length, values, data):
    frame = frame_of("".join(signal(name, size, offset) for name, size, offset in signals), length)
    assert tolvane.pack(frame, values).hex() == data
    assert tolvane.unpack(frame, bytes.fromhex(data)) == values


def test_byte_arrays_take_whole_bytes_in_order():
    frame = frame_of(signal("one", 8, 8, "{ 0x11 }") + signal("eight", 64, 0, "{ 1, 2, 3, 4, 5, 6, 7, 8 }"), 8)
    with pytest.raises(tolvane.CodecError, match="overlaps"):
        tolvane.pack(frame)
    frame = frame_of(signal("array", 16, 8, "{ 0x22, 0x11 }") + signal("s", 8, 0), 3)
    assert tolvane.pack(frame).hex() == "002211"  # the initial values
    assert tolvane.pack(frame, {"array": [0xAB, 0xCD], "s": 7}).hex() == "07abcd"
    assert tolvane.pack(frame, {"array": bytearray(b"\x01\x02")}).hex() == "000102"
    assert tolvane.unpack(frame, memoryview(b"\x07\xab\xcd")) == {"array": b"\xab\xcd", "s": 7}
    eight = frame_of(signal("eight", 64, 0, "{ 1, 2, 3, 4, 5, 6, 7, 8 }"), 8)
    assert tolvane.pack(eight) == bytes(range(1, 9))


def test_defaults_and_unused_bits():
    frame = frame_of(signal("a", 4, 0, "5") + signal("b", 2, 8, "3"), 2)
    assert tolvane.pack(frame).hex() == "0503"
    assert tolvane.pack(frame, unused_bits=1).hex() == "f5ff"
    assert tolvane.pack(frame, {"b": 0}, unused_bits=1).hex() == "f5fc"
    with pytest.raises(ValueError, match="unused_bits is 0 or 1"):
        tolvane.pack(frame, unused_bits=2)


@pytest.mark.parametrize(("values", "message"), [
    ({"x": 1}, "Frame 'f' has no signal 'x'"),
    ({"s": 256}, "The value 256 of the signal 's' of frame 'f' does not fit 8 bits"),
    ({"s": -1}, "The value -1 of the signal 's' of frame 'f' is negative"),
    ({"s": 2**64}, "does not fit 64 bits"),
    ({"s": b"\x01"}, "The signal 's' of frame 'f' is a scalar: give an int, not bytes"),
    ({"s": True}, "is an int, or bytes for a byte array, not bool"),
    ({"s": "1"}, "is an int, or bytes for a byte array, not str"),
    ({"array": b"\x01"}, "The signal 'array' of frame 'f' takes 2 bytes, not 1"),
    ({"array": [1, 256]}, "The byte 256 of the signal 'array' of frame 'f' does not fit 8 bits"),
    ({"array": [1, None]}, "are ints 0..255, not NoneType"),
    ({"array": 3}, "is a byte array: give its 2 bytes, not an int"),
])
def test_values_that_do_not_fit(values, message):
    frame = frame_of(signal("s", 8, 0) + signal("array", 16, 8, "{ 0, 0 }"), 3)
    with pytest.raises(tolvane.CodecError, match=message.replace("(", r"\(").replace(")", r"\)")):
        tolvane.pack(frame, values)
    assert tolvane.pack(frame, {"s": 255}).hex() == "ff0000"


def test_an_unusable_frame_lists_every_problem():
    frame = frame_of(signal("a", 8, 0) + signal("b", 8, 4) + signal("c", 17, 0) + signal("d", 8, 12), 2)
    with pytest.raises(tolvane.CodecError) as raised:
        tolvane.unpack(frame, b"\0\0")
    assert str(raised.value) == (
        "Frame 'f' cannot be packed: signal 'c' is a scalar of 17 bits, not 1..16; signal 'd' (bits 12..19) "
        "does not fit the frame's 2 byte(s); signal 'b' (bits 4..11) overlaps signal 'a' (bits 0..7)")


def test_data_of_another_length():
    frame = frame_of(signal("s", 8, 0), 2)
    for data in (b"", b"\0", b"\0\0\0"):
        with pytest.raises(tolvane.CodecError, match=rf"^Frame 'f' has 2 data bytes, not {len(data)}$"):
            tolvane.unpack(frame, data)


# The protected identifiers of every frame identifier, as the LIN 2.2A
# standard tabulates them (its table of frame identifiers and their parity).
PROTECTED = bytes.fromhex(
    "80c14203c48506470849ca8b4c0d8ecf"
    "501192d31455d697d8991a5b9cdd5e1f"
    "2061e2a36425a6e7a8e96a2becad2e6f"
    "f0b13273b4f576377839bafb3c7dfebf")


def test_protected_identifiers():
    assert bytes(tolvane.protected_id(i) for i in range(0x40)) == PROTECTED
    for wrong in (-1, 0x40):
        with pytest.raises(tolvane.CodecError, match="outside 0..0x3F"):
            tolvane.protected_id(wrong)


def test_checksums():
    # The worked example of the LIN 2.x standard: protected identifier
    # 0x4A and data 0x55 0x93 0xE5 give the enhanced checksum 0xE6.
    assert tolvane.checksum(b"\x55\x93\xe5", 0x4A) == 0xE6
    assert tolvane.checksum(b"\x55\x93\xe5") == 0x31  # classic: the same sum without the identifier
    assert tolvane.checksum(b"") == 0xFF and tolvane.checksum(b"\xff" * 8) == 0x00
    with pytest.raises(tolvane.CodecError, match="a byte, not 256"):
        tolvane.checksum(b"", 256)


LAYOUT = [("a", 1, 0), ("b", 7, 1), ("c", 12, 8), ("d", 4, 20), ("e", 16, 24)]


@settings(max_examples=200, deadline=None)
@given(st.fixed_dictionaries({name: st.integers(0, 2**size - 1) for name, size, _ in LAYOUT}),
       st.fixed_dictionaries({"array": st.binary(min_size=3, max_size=3)}), st.binary(min_size=8, max_size=8))
def test_unpack_gives_back_what_pack_was_given(scalars, arrays, data):
    frame = FRAME
    values = {**scalars, **arrays}
    assert tolvane.unpack(frame, tolvane.pack(frame, values)) == values
    assert tolvane.pack(frame, tolvane.unpack(frame, data), unused_bits=0) == data


FRAME = frame_of("".join(signal(n, s, o) for n, s, o in LAYOUT) + signal("array", 24, 40, "{ 0, 0, 0 }"), 8)
