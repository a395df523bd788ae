"""tolvane dump and draw_frame: the bits drawn for each signal are the bits
the codec packs for it; goldens pin the whole text of a few files."""

import io

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import tolvane
from conftest import CORPUS, DATA, EXAMPLES
from tolvane_cli import main
from tolvane_cli.dump import takes_utf8


def drawn_bits(text):
    """The bits each mark takes in a drawing, read back from its rows, and
    the name behind each mark."""
    bits, names = {}, {}
    for line in text.splitlines():
        if line.startswith("byte "):
            byte = int(line.split()[1])
            cells = line.replace("|", "│").split("│")[1:9]
            for column, cell in enumerate(cells):
                mark = cell.strip().lstrip(">")
                if mark not in ("", "·", ".", "#", "!"):
                    bits.setdefault(mark, set()).add(byte * 8 + 7 - column)
        elif line.startswith("  ") and "  offset " in line:
            mark, name = line.split()[:2]
            names[mark] = name
    return {names[mark]: taken for mark, taken in bits.items()}


def packed_bits(frame, name):
    """The bits the codec sets for one signal, all of whose bits are 1."""
    values = {}
    for signal in frame.signals:
        array = signal.properties.init_value.is_array
        ones = signal.name == name
        size = signal.properties.size
        values[signal.name] = bytes([0xFF if ones else 0] * (size // 8)) if array else (
            (1 << size) - 1 if ones else 0)
    data = tolvane.pack(frame, values)
    return {byte * 8 + bit for byte, value in enumerate(data) for bit in range(8) if value >> bit & 1}


@st.composite
def frames(draw):
    """The text of a node with one usable frame: scalars of 1 to 16 bits and
    byte arrays, never sharing a bit."""
    length = draw(st.integers(1, 8))
    free = list(range(length * 8))
    signals = []
    for index in range(draw(st.integers(0, 10))):
        if draw(st.booleans()) and length >= 2:
            size = 8 * draw(st.integers(1, 2))
            starts = [b for b in range(0, length * 8 - size + 1, 8) if all(b + i in free for i in range(size))]
            init = "{" + ", ".join(["0"] * (size // 8)) + "}"
        else:
            size = draw(st.integers(1, 16))
            starts = [b for b in range(length * 8 - size + 1) if all(b + i in free for i in range(size))]
            init = "0"
        if not starts:
            continue
        start = draw(st.sampled_from(starts))
        free = [bit for bit in free if not start <= bit < start + size]
        signals.append(f"s{index} {{ size = {size}; init_value = {init}; offset = {start}; }}")
    return (
        'node_capability_file; LIN_language_version = "2.1"; node n { general { LIN_protocol_version = "2.1"; '
        "supplier = 1; function = 2; variant = 0; bitrate = 19.2 kbps; } diagnostic { NAD = 1; } "
        f"frames {{ publish f {{ length = {length}; signals {{ {' '.join(signals)} }} }} }} "
        "status_management { response_error = s0; } }"
    )


@settings(max_examples=150, deadline=None)
@given(frames(), st.booleans())
def test_the_bits_drawn_for_each_signal_are_the_bits_the_codec_packs(text, ascii):
    node = tolvane.NcfParser("f.ncf", text).parse().nodes[0]
    frame = node.frames[0]
    drawn = drawn_bits(tolvane.draw_frame(node, frame, ascii=ascii))
    assert drawn == {s.name: packed_bits(frame, s.name) for s in frame.signals if packed_bits(frame, s.name)}


def test_overlaps_and_the_identifier_byte_show():
    text = (EXAMPLES / "door_module.ncf").read_text(encoding="latin-1")
    text = text.replace("offset = 9;", "offset = 8;", 1)  # comm_error onto door_open's bit
    node = tolvane.NcfParser("d.ncf", text).parse().nodes[0]
    drawing = tolvane.draw_frame(node, "door_status")
    assert "byte 0 │ # │ # │" in drawing and "#: byte 0 holds the protected identifier" in drawing
    assert "│ ! │" in drawing and "  ! byte 1 bit 0: door_open, comm_error" in drawing
    with pytest.raises(tolvane.CodecError):
        tolvane.draw_frame(node, "no_such_frame")


def test_control_characters_of_the_file_do_not_reach_the_terminal():
    text = (EXAMPLES / "door_module.ncf").read_text(encoding="latin-1").replace(
        "publish door_status", 'publish "door\x1b[31m\nbyte 9"', 1)
    node = tolvane.NcfParser("d.ncf", text).parse().nodes[0]
    drawing = tolvane.draw_frame(node, node.frames[0])
    assert drawing.startswith("publish door\\x1B[31m\\x0Abyte 9: 5 bytes\n")
    assert "\x1b" not in drawing and sum(line.startswith("byte ") for line in drawing.splitlines()) == 5


GOLDEN = [
    (EXAMPLES / "door_module.ncf", []),
    (CORPUS / "PersonalTransport__LIN__examples__step_motor.ncf", []),
    (CORPUS / "sebastianwilczek__CANoe-Configurations__LIN__LINSlaveConformanceTest__NCF__VectorSlaveISO.ncf",
     ["--lenient"]),
]


@pytest.mark.parametrize(("path", "options"), GOLDEN, ids=[p.name[:40] for p, _ in GOLDEN])
def test_golden_dumps(path, options, capsys):
    if not path.is_file():
        pytest.skip("the shared corpus is not beside the checkout")
    assert main(["dump", *options, str(path)]) == 0
    out = capsys.readouterr().out
    assert out == (DATA / "dump" / (path.stem + ".txt")).read_text(encoding="utf-8")
    assert main(["dump", "--ascii", *options, str(path)]) == 0
    assert capsys.readouterr().out.isascii()


def test_every_corpus_file_that_reads_is_drawn(corpus_files, capsys):
    drawn = 0
    for path in corpus_files:
        status = main(["dump", "--lenient", str(path)])
        out, _ = capsys.readouterr()
        nodes = tolvane.NcfParser(path.name, path.read_bytes(), lenient=True, recover=True).parse().nodes
        assert status in (0, 1) and out.count("\nnode ") + out.startswith("node ") == len(nodes)
        drawn += status == 0 and bool(nodes)
    assert drawn >= 17


@pytest.mark.parametrize(("args", "status", "message"), [
    (["--node", "nobody"], 1, "no node 'nobody'"),
    (["--frame", "nothing"], 1, "no frame 'nothing'"),
    (["--node", "door_module", "--frame", "door_control"], 0, ""),
])
def test_choosing_nodes_and_frames(args, status, message, capsys):
    assert main(["dump", *args, str(EXAMPLES / "door_module.ncf")]) == status
    out, err = capsys.readouterr()
    assert message in err
    assert ("subscribe door_control" in out) == (status == 0)
    assert "publish door_status" not in out


def test_a_file_with_errors_is_drawn_as_far_as_it_reads(tmp_path, capsys):
    text = (EXAMPLES / "door_module.ncf").read_text(encoding="latin-1").replace("length = 2;", "length = 2", 1)
    path = tmp_path / "broken.ncf"
    path.write_text(text, encoding="latin-1")
    assert main(["dump", str(path)]) == 1
    out, err = capsys.readouterr()
    assert "error: Expected ';' after 'length = 2'" in err
    assert "publish door_status" in out and "subscribe door_control: 2 bytes" in out


def test_box_drawing_only_where_the_output_takes_utf8():
    assert takes_utf8(io.TextIOWrapper(io.BytesIO(), encoding="utf-8"))
    assert not takes_utf8(io.TextIOWrapper(io.BytesIO(), encoding="latin-1"))
    assert not takes_utf8(object())
