"""Hostile arguments for the functions beyond the parser: dumps(), dump(),
validate(), to_dict() and the codec. Each refuses with a documented exception
and a message that names the problem; none crashes, hangs or changes its
arguments."""

import copy
import gc
import math
import sys
import threading

import pytest

import tolvane
from conftest import EXAMPLES, node_text

DOOR_MODULE = (EXAMPLES / "door_module.ncf").read_bytes()


def door():
    ncf = tolvane.NcfParser("door.ncf", DOOR_MODULE).parse()
    return ncf, ncf.nodes[0], ncf.nodes[0].frames[0]  # door_status: 5 bytes


def plain_door():
    return tolvane.to_dict(door()[0])


def nested(depth, make):
    """A structure nested `depth` levels by `make(inner)`, built without
    recursion."""
    value = {}
    for _ in range(depth):
        value = make(value)
    return value


def clean_frames(count):
    """A frames section of `count` 8-byte frames, each of eight 8-bit signals."""
    frames = "".join(
        f"publish f{i} {{ length = 8; signals {{ "
        + " ".join(f"s{i}_{k} {{ size = 8; offset = {8 * k}; init_value = 0; }}" for k in range(8))
        + " } }\n"
        for i in range(count)
    )
    return "frames {\n" + frames + "}\n"


def with_cycle(plain):
    plain["nodes"][0]["general"]["bitrate"] = plain
    return plain


def frames_holding_their_node(plain):
    node = plain["nodes"][0]
    node["frames"].append(node)
    return plain


# --- dumps() of dicts that are not a file's to_dict() form ------------------------

@pytest.mark.parametrize(("change", "message"), [
    (lambda p: p.update(nodes=None), r"^nodes: expected a list, not NoneType$"),
    (lambda p: p["nodes"].__setitem__(0, "node"), r"^nodes\[0\]: expected a dict of the fields of NcfNodeDef"),
    (lambda p: p["nodes"].extend([None] * 1_000_000), r"^nodes\[1\]: expected a dict"),
    (lambda p: p.update({1: 2}), r"^1: no field of NcfFile has this name$"),
    (lambda p: p.update({b"nodes": []}), r"^b'nodes': no field of NcfFile has this name$"),
    # Deep nesting is read one level at a time, and only as deep as records go.
    (lambda p: p["nodes"][0].update(general=nested(200_000, lambda inner: {"general": inner})),
     r"^nodes\[0\]\.general\.protocol_version: missing$"),
    (lambda p: p.update(nodes=nested(200_000, lambda inner: [inner])), r"^nodes\[0\]: expected a dict"),
    (with_cycle, r"^nodes\[0\]\.general\.bitrate\.type: missing$"),
    (lambda p: p["nodes"].append(p["nodes"]), r"^nodes\[1\]: expected a dict"),
    (frames_holding_their_node, r"^nodes\[0\]\.frames\[2\]\.kind: missing$"),
    (lambda p: p["nodes"][0].update(name="\ud800"), r"^nodes\[0\]\.name: a str that is not Unicode text"),
    (lambda p: p["nodes"][0].update(free_text="\u20ac"), r"^nodes\[0\]\.free_text: .*up to U\+00FF"),
    (lambda p: p["nodes"][0].update(free_text='say "hi"'), r"^nodes\[0\]\.free_text: a double quote"),
    (lambda p: p["nodes"][0]["frames"][0]["signals"][0].update(name="a\0b"),
     r"^nodes\[0\]\.frames\[0\]\.signals\[0\]\.name: 'a\0b' is not an identifier .* the grammar reads here$"),
    (lambda p: p["nodes"][0]["frames"][0]["properties"].update(length=2**1000), r"outside the 32-bit signed range"),
    (lambda p: p["nodes"][0]["general"]["bitrate"].update(min_br=math.nan), r"^nodes\[0\]\.general\.bitrate\.min_br"),
], ids=["nodes None", "node a str", "a million wrong nodes", "an int key", "a bytes key", "deep dicts",
        "deep lists", "a cyclic dict", "a cyclic list", "a node inside its frames", "a lone surrogate",
        "beyond ISO 8859-1", "a double quote", "a NUL in a name", "a huge int", "NaN"])  # fmt: skip
def test_dumps_refuses_what_no_file_can_say(change, message):
    plain = plain_door()
    change(plain)
    kept = shape(plain)
    with pytest.raises(ValueError, match=message):
        tolvane.dumps(plain)
    assert shape(plain) == kept


def shape(plain):
    """The keys of the file's dict and of its first node's, which a writer that
    changed its argument would most likely touch."""
    nodes = plain.get("nodes")
    first = nodes[0] if isinstance(nodes, list) and nodes else None
    return list(plain), list(first) if isinstance(first, dict) else type(first)


@pytest.mark.parametrize("code", [c for c in range(256) if chr(c) not in '"\\'])
def test_every_byte_value_a_string_literal_can_hold_reads_back(code):
    plain = plain_door()
    text = f"a{chr(code)}b"
    plain["nodes"][0]["free_text"] = text
    plain["nodes"][0]["general"]["bitrate"]["type"] = "fixed"
    plain["nodes"][0]["general"]["bitrate"].update(min_br=None, max_br=None, fixed_rate=19.2)
    parser = tolvane.NcfParser("back.ncf", tolvane.dumps(plain))
    back = parser.parse()
    assert (parser.get_diagnostics(), back.nodes[0].free_text) == ([], text)


def test_dumps_of_a_huge_tree_reads_back():
    text = node_text(frames=clean_frames(12_500))
    plain = tolvane.to_dict(tolvane.NcfParser("big.ncf", text).parse())
    written = tolvane.dumps(plain)
    assert tolvane.to_dict(tolvane.NcfParser("big.ncf", written).parse()) == plain


@pytest.mark.parametrize(("path", "error", "message"), [
    ("{tmp}/a\0b.ncf", ValueError, "embedded null byte"),
    (b"{tmp}/a\0b.ncf", ValueError, "embedded null byte"),
    ("{tmp}/missing/x.ncf", FileNotFoundError, "{tmp}/missing/x.ncf"),
    ("{tmp}", IsADirectoryError, "{tmp}"),
    (3, TypeError, "expected str, bytes or os.PathLike object, not int"),
])  # fmt: skip
def test_dump_refuses_a_path_it_cannot_write_and_leaves_nothing(tmp_path, path, error, message):
    # A NUL would end the name where the system reads it: a\0b.ncf would write "a".
    if isinstance(path, (str, bytes)):
        path = path.replace(b"{tmp}" if isinstance(path, bytes) else "{tmp}",
                            bytes(tmp_path) if isinstance(path, bytes) else str(tmp_path))
    with pytest.raises(error) as raised:
        tolvane.dump(door()[0], path)
    assert message.format(tmp=tmp_path) in str(raised.value)
    assert list(tmp_path.iterdir()) == [] and not list(tmp_path.parent.glob(tmp_path.name + ".tolvane-*"))


# --- validate() ---------------------------------------------------------------------

def test_validate_of_a_million_clean_signals_finds_only_what_the_node_lacks():
    ncf = tolvane.NcfParser("m.ncf", node_text(frames=clean_frames(125_000))).parse()
    assert sum(len(frame.signals) for frame in ncf.nodes[0].frames) == 1_000_000
    assert [d.code for d in tolvane.validate(ncf)] == ["diagnostic-class-missing", "response-error"]


def frame_of_one_bit_signals(count, offset_of):
    signals = "".join(f"s{i} {{ size = 1; offset = {offset_of(i)}; init_value = 0; }}\n" for i in range(count))
    return node_text(frames="frames { publish f { length = 8; signals {\n" + signals + "} } }\n",
                     status="status_management { response_error = s0; }\n")


def line_of(text, needle):
    return text.count("\n", 0, text.index(needle)) + 1


def test_validate_of_a_million_signals_in_one_frame_reports_twenty_and_counts_the_rest():
    # Bit i for signal i: the first 64 fit, none overlaps, the rest lie outside.
    count = 1_000_000
    text = frame_of_one_bit_signals(count, lambda i: i)
    found = [d for d in tolvane.validate(tolvane.NcfParser("one.ncf", text).parse())
             if d.code == "signal-outside-frame"]
    assert [d.message for d in found[:20]] == [
        f"Signal 's{i}' (bits {i}..{i}) does not fit frame 'f' of 8 byte(s)" for i in range(64, 84)]
    assert len(found) == 21 and found[20].severity == tolvane.Diagnostic.Error
    assert (found[20].line, found[20].message) == (
        line_of(text, "s84 "),
        f"{count - 64 - 20} more signal-outside-frame findings in frame 'f' are not reported "
        "(at most 20 per rule and frame)")


def test_validate_of_millions_of_overlapping_pairs_words_twenty():
    # 3125 one-bit signals on each of the 64 bits: each signal overlaps those
    # of its bit before it, of which at most 64 are kept open.
    text = frame_of_one_bit_signals(200_000, lambda i: i % 64)
    found = [d for d in tolvane.validate(tolvane.NcfParser("pairs.ncf", text).parse())
             if d.code == "signal-overlap"]
    pairs = 64 * sum(min(j, 64) for j in range(200_000 // 64))
    assert [d.message for d in found[:20]] == [
        f"Signal 's{i}' (bits {i % 64}..{i % 64}) overlaps signal 's{i - 64}' (bits {i % 64}..{i % 64}) in frame 'f'"
        for i in range(64, 84)]
    assert [(d.line, d.message) for d in found[20:]] == [(
        line_of(text, "s84 "),
        f"{pairs - 20} more signal-overlap findings in frame 'f' are not reported (at most 20 per rule and frame)")]


@pytest.mark.parametrize(("args", "message"), [
    ((None,), "incompatible function arguments"),
    (("door.ncf",), "incompatible function arguments"),
    ((None, []), "incompatible function arguments"),
    (("file", [1]), "incompatible function arguments"),
    (("file", "abc"), "incompatible function arguments"),
])
def test_validate_takes_a_file_and_its_diagnostics(args, message):
    ncf = door()[0]
    args = tuple(ncf if arg == "file" else arg for arg in args)
    with pytest.raises(TypeError, match=message):
        tolvane.validate(*args)


# --- to_dict() ----------------------------------------------------------------------

def test_to_dict_of_records_whose_parser_and_file_are_gone():
    parser = tolvane.NcfParser("door.ncf", DOOR_MODULE)
    ncf = parser.parse()
    records = [ncf.nodes[0], ncf.nodes[0].frames[1].signals[0].properties, ncf.nodes[0].encodings[0]]
    expected = [tolvane.to_dict(record, positions=True) for record in records]
    del parser, ncf
    gc.collect()
    assert [tolvane.to_dict(record, positions=True) for record in records] == expected


@pytest.mark.parametrize("value", [None, {}, [], "node", tolvane, tolvane.NcfFile],
                         ids=["None", "dict", "list", "str", "the module", "a record class"])
def test_to_dict_takes_a_record(value):
    with pytest.raises(TypeError, match=r"^to_dict\(\) takes a tolvane record, not "):
        tolvane.to_dict(value)


# --- the codec ----------------------------------------------------------------------

def frame_of_length(length):
    text = node_text(frames=f"frames {{ publish f {{ length = {length}; signals {{ "
                            "s { size = 8; offset = 0; init_value = 0; } } } }\n")
    return tolvane.NcfParser("l.ncf", text).parse().nodes[0]


# How the module refuses arguments of types its signature does not take.
WRONG_ARGUMENTS = "incompatible function arguments"


@pytest.mark.parametrize(("call", "error", "message"), [
    (lambda n, f: tolvane.unpack(None, b"12345"), TypeError, WRONG_ARGUMENTS),
    (lambda n, f: tolvane.unpack(f, "12345"), TypeError, WRONG_ARGUMENTS),
    (lambda n, f: tolvane.unpack(f, [1, 2, 3, 4, 5]), TypeError, WRONG_ARGUMENTS),
    (lambda n, f: tolvane.pack(f, [("door_open", 1)]), TypeError, WRONG_ARGUMENTS),
    (lambda n, f: tolvane.pack(f, {1: 2}), TypeError, "^signal names are str, not int$"),
    (lambda n, f: tolvane.pack(f, {"\ud800": 1}), tolvane.CodecError,
     "^A signal name holds a lone surrogate: frame 'door_status' has no such signal$"),
    # The whole message, past a NUL in the name.
    (lambda n, f: tolvane.pack(f, {"a\0b": 1}), tolvane.CodecError, "^Frame 'door_status' has no signal 'a\0b'$"),
    (lambda n, f: tolvane.encode(n, "a\0b"), tolvane.CodecError, "^Node 'door_module' has no frame 'a\0b'$"),
    (lambda n, f: tolvane.encode(n, "\ud800"), tolvane.CodecError,
     "^A frame name holds a lone surrogate: node 'door_module' has no such frame$"),
    (lambda n, f: tolvane.pack(f, unused_bits=-1), ValueError, "^unused_bits is 0 or 1$"),
    (lambda n, f: tolvane.pack(f, unused_bits=2**70), TypeError, WRONG_ARGUMENTS),
    (lambda n, f: tolvane.pack(f, {"door_open": -1}), tolvane.CodecError, "is negative$"),
    (lambda n, f: tolvane.pack(f, {"door_open": 2**64}), tolvane.CodecError,
     "^The value 18446744073709551616 of the signal 'door_open' of frame 'door_status' does not fit 64 bits$"),
    # Python writes no int of more than 4300 digits; the message gives the size.
    (lambda n, f: tolvane.pack(f, {"door_open": -(10**5000)}), tolvane.CodecError,
     r"^The value \(an int of 16610 bits\) of the signal 'door_open' of frame 'door_status' is negative$"),
    (lambda n, f: tolvane.encode(n, f, {"window_position": 10**5000}), tolvane.CodecError,
     r"^The value \(an int of 16610 bits\) of the signal 'window_position' .* does not fit 64 bits$"),
    (lambda n, f: tolvane.pack(f, {"mirror_angle": [10**5000, 0]}), tolvane.CodecError,
     r"^The byte \(an int of 16610 bits\) of the signal 'mirror_angle' .* does not fit 8 bits$"),
    (lambda n, f: tolvane.encode(n, f, {"mirror_angle": bytes(10**6)}), tolvane.CodecError, "takes 2 bytes, not 1000000$"),
    (lambda n, f: tolvane.encode(n, f, {"window_position": math.nan}), tolvane.CodecError, "takes a finite number, not nan$"),
    (lambda n, f: tolvane.encode(n, f, {"window_position": math.inf}), tolvane.CodecError, "takes a finite number, not inf$"),
    (lambda n, f: tolvane.encode(n, f, {"door_open": -math.inf}), tolvane.CodecError, "takes a finite number, not -inf$"),
    (lambda n, f: tolvane.encode(n, f, {"window_position": sys.float_info.max}), tolvane.CodecError,
     "lies outside every physical range: 0..100 percent$"),
    (lambda n, f: tolvane.encode(n, f, {"window_position": True}), tolvane.CodecError, "not bool$"),
    (lambda n, f: tolvane.encode(None, "door_status"), TypeError, WRONG_ARGUMENTS),
    (lambda n, f: tolvane.encode(n, None), TypeError, "^frame is an NcfSingleFrame or a frame's name, not NoneType$"),
    (lambda n, f: tolvane.decode(n, f, b""), tolvane.CodecError, "^Frame 'door_status' has 5 data bytes, not 0$"),
    (lambda n, f: tolvane.decode(n, f, bytes(9)), tolvane.CodecError, "^Frame 'door_status' has 5 data bytes, not 9$"),
    (lambda n, f: tolvane.unpack(f, bytes(9)), tolvane.CodecError, "^Frame 'door_status' has 5 data bytes, not 9$"),
    (lambda n, f: tolvane.protected_id(-1), tolvane.CodecError, r"^Frame identifier -1 is outside 0\.\.0x3F$"),
    (lambda n, f: tolvane.protected_id(64), tolvane.CodecError, r"^Frame identifier 64 is outside 0\.\.0x3F$"),
    (lambda n, f: tolvane.protected_id(10**5000), TypeError, WRONG_ARGUMENTS),
    (lambda n, f: tolvane.checksum(b"\x01", 256), tolvane.CodecError, "^A protected identifier is a byte, not 256$"),
    (lambda n, f: tolvane.checksum("\x01"), TypeError, WRONG_ARGUMENTS),
])  # fmt: skip
def test_codec_calls_refuse_what_they_cannot_use(call, error, message):
    _, node, frame = door()
    with pytest.raises(error, match=message) as raised:
        call(node, frame)
    assert type(raised.value) is error


@pytest.mark.parametrize(("length", "reason"), [
    (0, "it has 0 data bytes, not 1..8; signal 's' (bits 0..7) does not fit the frame's 0 byte(s)"),
    (9, "it has 9 data bytes, not 1..8"),
])
def test_frames_of_0_and_9_bytes_cannot_be_packed(length, reason):
    node = frame_of_length(length)
    frame = node.frames[0]
    calls = [lambda: tolvane.pack(frame), lambda: tolvane.unpack(frame, bytes(length)),
             lambda: tolvane.decode(node, frame, bytes(length)), lambda: tolvane.encode(node, "f")]
    for call in calls:
        with pytest.raises(tolvane.CodecError) as raised:
            call()
        assert str(raised.value) == f"Frame 'f' cannot be packed: {reason}"


def test_data_is_read_as_the_bytes_it_shows_whatever_its_layout():
    _, node, frame = door()
    data = bytes(range(10, 20))
    expected = tolvane.unpack(frame, data[::2])
    for view in (memoryview(data)[::2], bytearray(data[::2]), memoryview(data[::-1])[::-2]):
        assert tolvane.unpack(frame, view) == expected
        assert tolvane.checksum(view) == tolvane.checksum(data[::2])
    assert tolvane.decode(node, frame, memoryview(data)[::-2])["window_position"].raw == data[5]


def test_a_bytearray_resized_by_another_thread_is_read_whole_or_refused():
    # The call holds the buffer while it reads: the other thread's resizing
    # waits or is refused (BufferError), and every call sees one whole state.
    _, node, frame = door()
    data = bytearray(5)
    stop = threading.Event()

    def resize():
        while not stop.is_set():
            try:
                data.extend(b"\xff" * 4)
                del data[5:]
            except BufferError:
                pass

    worker = threading.Thread(target=resize)
    worker.start()
    outcomes = set()
    try:
        for _ in range(20_000):
            try:
                decoded = tolvane.decode(node, frame, data)
                outcomes.add(("decoded", decoded["window_position"].raw))
            except tolvane.CodecError as error:
                assert str(error) == "Frame 'door_status' has 5 data bytes, not 9"
                outcomes.add(("refused", None))
            tolvane.checksum(data)
    finally:
        stop.set()
        worker.join()
    assert outcomes <= {("decoded", 0), ("refused", None)} and outcomes


def test_a_values_mapping_is_not_changed():
    _, node, frame = door()
    values = {"door_open": 1, "mirror_angle": bytearray(b"\x12\x34"), "window_position": 50.0}
    kept = copy.deepcopy(values)
    data = tolvane.encode(node, frame, values)
    assert values == kept and tolvane.decode(node, frame, data)["window_position"].value == 50.0
