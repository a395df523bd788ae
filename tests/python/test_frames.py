"""The frames section: frames and their properties."""

import pytest

from conftest import check_diagnostics, parse_node_at, to_dict


def frame(kind="publish", name="f", length=1, min_period=None, max_period=None, event=None, signals=()):
    properties = {"length": length, "min_period": min_period, "max_period": max_period, "event_triggered_frame": event}
    return {"kind": kind, "name": name, "properties": properties, "signals": list(signals)}


def parse_frames(body):
    """Parses a node whose frames section holds `body` on line 7, from
    column 1; the section's "}" stands alone on line 8, status management
    on line 9."""
    node, diagnostics = parse_node_at(frames=f"frames {{\n{body}\n}}\n")
    return to_dict(node.frames), diagnostics


SIGNAL = {"name": "s", "properties": {"init_value": {"is_array": False, "scalar": 0, "array_values": []},
                                      "size": 1, "offset": 0, "encoding_name": None}}  # fmt: skip


@pytest.mark.parametrize(
    "body, frames",
    [
        ("", []),
        (
            "publish node_status { length = 4; min_period = 10 ms; max_period = 100 ms; } "
            "subscribe control { length = 1; max_period = 100 ms; }",
            [
                frame("publish", "node_status", 4, min_period=10, max_period=100),
                frame("subscribe", "control", 1, max_period=100),
            ],
        ),
        (
            "publish f { length = 8; event_triggered_frame = node_status_event; signals { s { size = 1; } } }",
            [frame(length=8, event="node_status_event", signals=[SIGNAL])],
        ),
        ('publish 0x10 { length = 1; } publish "f" { length = 0x8; }', [frame(name="0x10"), frame(length=8)]),
    ],
)
def test_frames(body, frames):
    parsed, diagnostics = parse_frames(body)
    assert diagnostics == []
    assert parsed == frames


@pytest.mark.parametrize(
    "body, frames, expected",
    [
        ("publish f { length = 8.0; }", [frame(length=0)], [(7, 22, "Expected integer, found '8.0'")]),
        ("publish f { length = 1; min_period = 10; }", [frame(min_period=10)], [(7, 40, "Expected ms, found ';'")]),
        # The name of the event-triggered frame is any token: here the ";".
        ("publish f { length = 1; event_triggered_frame = ; }", [frame(event=";")], [(7, 51, "Expected ;, found '}'")]),
        ("publish f length = 1; }", [frame()], [(7, 11, "Expected {, found 'length'")]),
        # A statement out of order, repeated or unknown ends the frame and then the section.
        (
            "publish f { length = 1; max_period = 100 ms; min_period = 10 ms; }",
            [frame(max_period=100)],
            [(7, 46, "Expected }, found 'min_period'"), (7, 46, "Expected }, found 'min_period'"), ...],
        ),
        (
            "publish f { message_ID = 0x10; length = 1; }",
            [frame(length=0)],
            [
                (7, 13, "Expected length, found 'message_ID'"),
                (7, 13, "Expected =, found 'message_ID'"),
                (7, 13, "Expected integer, found 'message_ID'"),
                (7, 24, "Expected ;, found '='"),
                (7, 24, "Expected }, found '='"),
                (7, 24, "Expected }, found '='"),
                (7, 24, "Expected status_management, found '='"),
                ...,
            ],
        ),
        (
            "publish f { length = 1; } frame g { length = 1; }",
            [frame()],
            [(7, 27, "Expected }, found 'frame'"), (7, 27, "Expected status_management, found 'frame'"), ...],
        ),
    ],
)
def test_problems(body, frames, expected):
    parsed, diagnostics = parse_frames(body)
    check_diagnostics(diagnostics, expected)
    assert parsed == frames


def test_missing_section_reports_three_expectations_and_goes_on():
    node, diagnostics = parse_node_at(frames="")
    assert diagnostics == [
        (6, 1, "Expected frames, found 'status_management'"),
        (6, 1, "Expected {, found 'status_management'"),
        (6, 1, "Expected }, found 'status_management'"),
    ]
    assert (node.frames, node.status.response_error) == ([], "e")
