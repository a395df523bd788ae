"""The encoding section: named encodings and their value lines."""

import pytest

from conftest import check_diagnostics, node_text, parse_node_at, parse_text, to_dict


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


@pytest.mark.parametrize(
    "line, value",
    [
        ("logical_value, 3;", logical(3)),
        ('logical_value, 0x1F, "on";', logical(31, "on")),
        ('logical_value, -1, "";', logical(-1, "")),
        ('physical_value, 0, 254, 0.5, -40, "degC";', physical(0, 254, 0.5, -40.0, "degC")),
        ("physical_value, 0, 100, 1, 0;", physical(0, 100, 1.0, 0.0)),
        ('physical_value, 0, 0xFFFF, 0.059499, 0, "a; [b]";', physical(0, 65535, 0.059499, 0.0, "a; [b]")),
        ("bcd_value;", plain("bcd")),
        ("ascii_value;", plain("ascii")),
    ],
)
def test_value_lines(line, value):
    encodings, diagnostics = parse_encodings(f"e {{ {line} }}")
    assert diagnostics == []
    assert encodings == [entry("e", value)]


@pytest.mark.parametrize(
    "body, encodings",
    [
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


def test_a_node_without_the_section_has_no_encodings():
    node, diagnostics = parse_node_at()
    assert (node.encodings, diagnostics) == ([], [])


@pytest.mark.parametrize(
    "body, encodings, expected",
    [
        (
            "e { physical_value, 0.5, 10, 1, 0; }",
            [entry("e", physical(0, 10, 1.0, 0.0))],
            [(8, 21, "Expected integer, found '0.5'")],
        ),
        (
            "e { physical_value, 0, 1, x, 0; }",
            [entry("e", physical(0, 1, 0.0, 0.0))],
            [(8, 27, "Expected number, found 'x'")],
        ),
        ("e { logical_value, 3000000000; }", [entry("e", logical(0))], [(8, 20, "Integer out of range: '3000000000'")]),
        # The string after the comma is missing: the ";" is taken as the text.
        (
            "e { logical_value, 1, ; }",
            [entry("e", logical(1, ";"))],
            [(8, 23, "Expected string literal"), (8, 25, "Expected ;, found '}'")],
        ),
        ("e { logical_value 1; }", [entry("e", logical(1))], [(8, 19, "Expected ,, found '1'")]),
        ('e { logical_value, 1, "a" }', [entry("e", logical(1, "a"))], [(8, 27, "Expected ;, found '}'")]),
        ("e { bcd_value }", [entry("e", plain("bcd"))], [(8, 15, "Expected ;, found '}'")]),
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


# String literals are taken as ISO 8859-1 and handed over as UTF-8, so a unit
# written in UTF-8 has each of its bytes re-encoded.
@pytest.mark.parametrize("unit, text", [(b"\xb0C", "°C"), ("°C".encode(), "Â°C")])
def test_unit_text_bytes(unit, text):
    source = node_text(encoding="encoding { t { physical_value, 0, 1, 1, 0, \"UNIT\"; } }\n").encode()
    ncf, diagnostics = parse_text(source.replace(b"UNIT", unit))
    assert diagnostics == []
    assert ncf.nodes[0].encodings[0].values[0].physical_range.text_info == text
