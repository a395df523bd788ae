"""The signals block of a frame: signal properties in any order."""

from itertools import permutations

import pytest

from conftest import check_diagnostics, parse_node_at, to_dict


def signal(name="s", size=0, offset=0, scalar=0, array=None, encoding=None):
    init_value = {"is_array": array is not None, "scalar": scalar, "array_values": array or []}
    properties = {"init_value": init_value, "size": size, "offset": offset, "encoding_name": encoding}
    return {"name": name, "properties": properties}


def parse_signals(body):
    """Parses a frame whose signals block holds `body` on line 7, from
    column 1; line 8 closes the block, the frame and the section."""
    frames = f"frames {{ publish f {{ length = 8; signals {{\n{body}\n}} }} }}\n"
    node, diagnostics = parse_node_at(frames=frames)
    return to_dict(node.frames[0].signals), diagnostics


STATEMENTS = ["init_value = 3;", "size = 8;", "offset = 16;"]


@pytest.mark.parametrize(
    "body, signals",
    [
        ("", []),
        ("state { size = 8; init_value = 0; offset = 0; }", [signal("state", size=8)]),
        ("angle { size = 16; init_value = { 0x22, 0x11 }; offset = 16; }", [signal("angle", 16, 16, array=[34, 17])]),
        ("fault_state { size = 2; init_value = 0; offset = 9; enc; }", [signal("fault_state", 2, 9, encoding="enc")]),
        ("empty { }", [signal("empty")]),
        ("a { size = 1; } b { size = 2; }", [signal("a", 1), signal("b", 2)]),
    ]
    + [(f"s {{ {' '.join(order)} }}", [signal(size=8, offset=16, scalar=3)]) for order in permutations(STATEMENTS)],
)
def test_signals(body, signals):
    parsed, diagnostics = parse_signals(body)
    assert diagnostics == []
    assert parsed == signals


# A token that ends the properties is reported by the signal, the block, the
# frame and the section in turn.
def reported_four_times(column, text):
    return [(7, column, f"Expected }}, found '{text}'")] * 4


@pytest.mark.parametrize(
    "body, signals, expected",
    [
        (
            "command { offset = 0; position; init_value = 3; size = 8; }",
            [signal("command", encoding="position")],
            reported_four_times(33, "init_value") + [...],
        ),
        ("s { size = 8; size = 4; }", [signal(size=8)], reported_four_times(15, "size") + [...]),
        # A second identifier after the encoding reference opens a further signal.
        (
            "s { size = 1; enc1; enc2; }",
            [signal(size=1, encoding="enc1"), signal("enc2")],
            [(7, 21, "Expected }, found 'enc2'"), (7, 25, "Expected {, found ';'"), (7, 25, "Expected }, found ';'")]
            + reported_four_times(25, ";")[1:] + [...],
        ),
        (
            "s { init_value = { }; }",
            [signal(array=[0])],
            [(7, 20, "Expected integer, found '}'"), (7, 21, "Expected }, found ';'")],
        ),
        ("s { init_value = { 1, 2; }", [signal(array=[1, 2])], [(7, 24, "Expected }, found ';'")]),
        ("s { enc }", [signal(encoding="enc")], [(7, 9, "Expected ;, found '}'")]),
        ("s size = 8; }", [signal(size=8)], [(7, 3, "Expected {, found 'size'")]),
        ("s { size = 8; } 5 { }", [signal(size=8)], reported_four_times(17, "5")[1:] + [...]),
    ],
)
def test_problems(body, signals, expected):
    parsed, diagnostics = parse_signals(body)
    check_diagnostics(diagnostics, expected)
    assert parsed == signals
