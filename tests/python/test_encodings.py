"""The encoding section: named encodings and their value lines."""

import pytest

from conftest import check_diagnostics, parse_node_at, to_dict


def logical(value, text=None):
    return {"type": "logical", "logical_value": {"signal_value": value, "text_info": text}, "physical_range": None}


def physical(low, high, scale, offset, text=None):
    physical_range = {"min_value": low, "max_value": high, "scale": scale, "offset_val": offset, "text_info": text}
    return {"type": "physical", "logical_value": None, "physical_range": physical_range}


def plain(kind):
    return {"type": kind, "logical_value": None, "physical_range": None}


def entry(name, *values):
    return {"name": name, "values": list(values)}


def parse_encodings(body):
    """Parses a node whose encoding section holds `body` on line 8, from
    column 1 ("encoding {" is line 7); the section's "}" stands alone on line 9."""
    node, diagnostics = parse_node_at(encoding=f"encoding {{\n{body}\n}}\n")
    return to_dict(node.encodings), diagnostics


# The value lines one by one, in an entry of their own; then whole entries.
VALUE_LINES = [
    ("logical_value, 3;", logical(3)),
    ('logical_value, 0x1F, "on";', logical(31, "on")),
    ('physical_value, 0, 254, 0.5, -40, "degC";', physical(0, 254, 0.5, -40.0, "degC")),
    ("physical_value, 0, 100, 1, 0;", physical(0, 100, 1.0, 0.0)),
    ("bcd_value;", plain("bcd")),
    ("ascii_value;", plain("ascii")),
]


@pytest.mark.parametrize(
    "body, encodings",
    [(f"e {{ {line} }}", [entry("e", value)]) for line, value in VALUE_LINES]
    + [
        ("", []),
        ("e { }", [entry("e")]),
        (
            'e { logical_value, 1, "a"; logical_value, 0, "b"; bcd_value; logical_value, 1, "c"; }',
            [entry("e", logical(1, "a"), logical(0, "b"), plain("bcd"), logical(1, "c"))],
        ),
        ("e { ascii_value; } e { bcd_value; }", [entry("e", plain("ascii")), entry("e", plain("bcd"))]),
    ],
)
def test_entries(body, encodings):
    parsed, diagnostics = parse_encodings(body)
    assert diagnostics == []
    assert parsed == encodings


@pytest.mark.parametrize(
    "body, encodings, expected",
    [
        (
            "e { physical_value, 0.5, 10, 1, 0; }",
            [entry("e", physical(0, 10, 1.0, 0.0))],
            [(8, 21, "Expected integer, found '0.5'")],
        ),
        # The string after the comma is missing: the ";" is taken as the text.
        (
            "e { logical_value, 1, ; }",
            [entry("e", logical(1, ";"))],
            [(8, 23, "Expected string literal"), (8, 25, "Expected ;, found '}'")],
        ),
        # A misspelt value keyword is an identifier: it ends the entry and opens another.
        (
            "e { logical_valu, 1; }",
            [entry("e"), entry("logical_valu")],
            [
                (8, 5, "Expected }, found 'logical_valu'"),
                (8, 17, "Expected {, found ','"),
                (8, 17, "Expected }, found ','"),
                (8, 17, "Expected }, found ','"),
                (8, 17, "Expected status_management, found ','"),
                ...,
            ],
        ),
        ('"e" { }', [], [(8, 1, "Expected }, found 'e'"), (8, 1, "Expected status_management, found 'e'"), ...]),
    ],
)
def test_problems(body, encodings, expected):
    parsed, diagnostics = parse_encodings(body)
    check_diagnostics(diagnostics, expected)
    assert parsed == encodings

