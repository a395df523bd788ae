"""The diagnostic section: NAD forms, optional statements and their order."""

import pytest

from conftest import check_diagnostics, parse_node_at, to_dict

EMPTY = {
    "nad_lhs": 0, "nad_rhs": None, "nad_list": [], "diagnostic_class": None, "p2_min": None, "st_min": None,
    "n_as_timeout": None, "n_cr_timeout": None, "support_sids": [], "max_message_length": None,
}  # fmt: skip


def parse_diagnostic(body):
    """Parses a node whose diagnostic section holds `body` on line 6, from
    column 1; the section's "}" stands alone on line 7."""
    node, diagnostics = parse_node_at(diagnostic=f"diagnostic {{\n{body}\n}}\n")
    return to_dict(node.diagnostic), diagnostics


@pytest.mark.parametrize(
    "body, fields",
    [
        ("NAD = 0x0A;", {"nad_lhs": 10}),
        ("NAD = 1 to 3;", {"nad_lhs": 1, "nad_rhs": 3}),
        ("NAD = 1, 2, 3;", {"nad_lhs": 1, "nad_list": [2, 3]}),
        ("NAD = 1; P2_min = 12.5 ms;", {"nad_lhs": 1, "p2_min": 12.5}),
        (
            "NAD = 1; diagnostic_class = 2; P2_min = 50 ms; ST_min = 0 ms; N_As_timeout = 1000 ms; "
            "N_Cr_timeout = 1000 ms; support_sid { 0xB0, 0xB2, 0xB7 }; max_message_length = 4095;",
            {
                "nad_lhs": 1, "diagnostic_class": 2, "p2_min": 50.0, "st_min": 0.0, "n_as_timeout": 1000.0,
                "n_cr_timeout": 1000.0, "support_sids": [176, 178, 183], "max_message_length": 4095,
            },  # fmt: skip
        ),
    ],
)
def test_statements(body, fields):
    diagnostic, diagnostics = parse_diagnostic(body)
    assert diagnostics == []
    assert diagnostic == EMPTY | fields


# What follows a token that ends the section early: the frames section's
# rule meets it first.
def frames_meet(line, column, text):
    return [(line, column, f"Expected frames, found '{text}'"), (line, column, f"Expected {{, found '{text}'")]


@pytest.mark.parametrize(
    "body, fields, expected",
    [
        # After a range no list is looked for: the comma stays current.
        (
            "NAD = 1 to 3, 4;",
            {"nad_lhs": 1, "nad_rhs": 3},
            [(6, 13, "Expected ;, found ','"), (6, 13, "Expected }, found ','")] + frames_meet(6, 13, ",") + [...],
        ),
        ("NAD = 1; P2_min = 50;", {"nad_lhs": 1, "p2_min": 50.0}, [(6, 21, "Expected ms, found ';'")]),
        (
            "NAD = 1; support_sid = { 0xB2 };",
            {"nad_lhs": 1, "support_sids": [0]},
            [
                (6, 22, "Expected {, found '='"),
                (6, 22, "Expected integer, found '='"),
                (6, 24, "Expected }, found '{'"),
                (6, 24, "Expected ;, found '{'"),
                (6, 24, "Expected }, found '{'"),
                (6, 24, "Expected frames, found '{'"),
                (6, 26, "Expected }, found '0xB2'"),
                ...,
            ],
        ),
        (
            "NAD = 1; support_sid { 0xB0 0xB2 };",
            {"nad_lhs": 1, "support_sids": [176]},
            [(6, 29, f"Expected {what}, found '0xB2'") for what in "};}"] + [...],
        ),
        # Optional statements out of order, or repeated, end the section.
        (
            "NAD = 1; max_message_length = 4095; diagnostic_class = 2;",
            {"nad_lhs": 1, "max_message_length": 4095},
            [(6, 37, "Expected }, found 'diagnostic_class'")] + frames_meet(6, 37, "diagnostic_class") + [...],
        ),
        (
            "NAD = 1; P2_min = 1 ms; P2_min = 2 ms;",
            {"nad_lhs": 1, "p2_min": 1.0},
            [(6, 25, "Expected }, found 'P2_min'"), ...],
        ),
        # A wrong value is consumed; the field is present all the same.
        ("NAD = 1.5;", {}, [(6, 7, "Expected integer, found '1.5'")]),
        ("NAD = ;", {}, [(6, 7, "Expected integer, found ';'"), (7, 1, "Expected ;, found '}'")]),
        ("NAD = 1; N_Cr_timeout = x ms;", {"nad_lhs": 1, "n_cr_timeout": 0.0}, [(6, 25, "Expected number, found 'x'")]),
        ("NAD = 1; ST_min 5 ms;", {"nad_lhs": 1, "st_min": 5.0}, [(6, 17, "Expected =, found '5'")]),
    ],
)
def test_problems(body, fields, expected):
    diagnostic, diagnostics = parse_diagnostic(body)
    check_diagnostics(diagnostics, expected)
    assert diagnostic == EMPTY | fields
