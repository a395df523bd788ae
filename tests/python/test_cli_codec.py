"""tolvane decode and tolvane encode: frames of a file's node on the command line."""

import pytest

from conftest import EXAMPLES
from rules_cases import node, node_file
from tolvane_cli import main
from tolvane_cli.codec import value_from_text

DOOR = str(EXAMPLES / "door_module.ncf")
STATUS_LINES = [
    'door_open = "open" (raw 0x1)',
    "window_position = 20.0 percent (raw 0x28)",
    "mirror_angle = 2211 (raw 22 11)",
    "comm_error = 0 (raw 0x0)",
]


@pytest.mark.parametrize("data", [["0001282211"], ["00", "01", "28", "22", "11"], ["00:01:28:22:11"],
                                  ["0x00 0x01 0x28 0x22 0x11"], ["00-01-28", "2211"]])
def test_decode_prints_a_line_per_signal_whatever_the_hex_looks_like(capsys, data):
    assert main(["decode", DOOR, "door_status", *data]) == 0
    assert capsys.readouterr() == ("\n".join(STATUS_LINES) + "\n", "")


def test_decode_shows_what_no_line_covers_as_raw(capsys):
    assert main(["decode", DOOR, "door_status", "00 01 ff 2f 11"]) == 0
    assert capsys.readouterr().out.splitlines()[1:3] == [
        'window_position = "unknown" (raw 0xff)', "mirror_angle = [0x2f, 0x11] (raw 2f 11)"]
    assert main(["decode", DOOR, "door_control", "03 c8"]) == 0
    assert capsys.readouterr().out.splitlines() == ["lock_request = 3 (raw 0x3)", "window_request = 200 (raw 0xc8)"]


@pytest.mark.parametrize(("values", "data"), [
    (["door_open=open", "window_position=20.0", "mirror_angle=2211"], "00 01 28 22 11"),
    (["door_open=\"closed\"", "window_position=unknown"], "00 00 ff 22 11"),
    (["window_position=0x10", "mirror_angle=[0x12, 0x34]", "comm_error=1"], "00 02 20 12 34"),  # 16 percent
    (["window_position=010"], "00 00 14 22 11"),  # ten percent: decimal, not octal
    ([], "00 00 ff 22 11"),  # the initial values
])
def test_encode_prints_the_data_bytes(capsys, values, data):
    assert main(["encode", DOOR, "door_status", *values]) == 0
    assert capsys.readouterr() == (data + "\n", "")


def test_encode_and_decode_give_each_other_back(capsys):
    assert main(["encode", DOOR, "door_control", "lock_request=unlock", "window_request=7", "--unused-bits", "1"]) == 0
    data = capsys.readouterr().out.split()
    assert data == ["fe", "07"]
    assert main(["decode", DOOR, "door_control", *data]) == 0
    assert capsys.readouterr().out.splitlines() == ['lock_request = "unlock" (raw 0x2)',
                                                    "window_request = 7 (raw 0x07)"]


@pytest.mark.parametrize(("text", "value"), [
    ("42", 42), ("-3", -3), ("0x2A", 42), ("0b101", 5), ("007", 7),
    ("20.5", 20.5), ("-1e3", -1000.0),
    ("open", "open"), ('"1"', "1"), ('"no request"', "no request"), ("", ""),
    ("[0x22, 0x11]", [0x22, 0x11]), ("[1 2 3]", [1, 2, 3]), ("[]", []), ("[a]", "[a]"),
])
def test_values_from_the_command_line(text, value):
    assert value_from_text(text) == value
    assert type(value_from_text(text)) is type(value)


@pytest.mark.parametrize(("argv", "status", "message"), [
    (["decode", DOOR, "door", "00"], 1, "tolvane: Node 'door_module' has no frame 'door'"),
    (["decode", DOOR, "door_status", "00 01"], 1, "tolvane: Frame 'door_status' has 5 data bytes, not 2"),
    (["decode", DOOR, "door_status", "0g"], 2, "tolvane: '0g' is not data bytes in hex (two digits a byte)"),
    (["decode", DOOR, "door_status", "001"], 2, "is not data bytes in hex"),
    (["encode", DOOR, "door_status", "door=1"], 1, "tolvane: Frame 'door_status' has no signal 'door'"),
    (["encode", DOOR, "door_status", "door_open=ajar"], 1, "it takes 'closed', 'open'"),
    (["encode", DOOR, "door_status", "window_position=101"], 1, "lies outside every physical range: 0..100 percent"),
    (["encode", DOOR, "door_status", "door_open"], 2, "tolvane: 'door_open' is not NAME=VALUE"),
    (["encode", DOOR, "door_status", "=1"], 2, "is not NAME=VALUE"),
    (["encode", DOOR, "door_status", "door_open=1", "door_open=0"], 2, "signal 'door_open' is given twice"),
    (["decode", DOOR, "door_status", "00", "--node", "seat"], 2,
     "has no node 'seat' (it has door_module)"),
])
def test_what_the_codec_refuses_and_usage_errors(capsys, argv, status, message):
    assert main(argv) == status
    out, err = capsys.readouterr()
    assert out == "" and message in err


def test_a_file_of_several_nodes_needs_node(tmp_path, capsys):
    path = tmp_path / "two.ncf"
    path.write_text(node_file(node("front"), node("rear")))
    assert main(["decode", str(path), "status", "00 00"]) == 2
    assert "has 2 nodes: choose one with --node (front, rear)" in capsys.readouterr().err
    assert main(["decode", str(path), "status", "00 50", "--node", "rear"]) == 0
    assert capsys.readouterr().out.splitlines() == ["error_bit = 0 (raw 0x0)",
                                                    "position = 40.0 degrees (raw 0x50)"]


def test_a_file_with_syntax_errors_is_refused_with_its_errors(tmp_path, capsys):
    path = tmp_path / "broken.ncf"
    path.write_text(node_file().replace("length = 2;", "length = ;"))
    assert main(["decode", str(path), "status", "00 00"]) == 1
    out, err = capsys.readouterr()
    lines = err.splitlines()
    assert out == "" and ": error: " in lines[0] and lines[-1] == f"tolvane: {path} has syntax errors: fix them first"
