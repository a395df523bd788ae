"""Status management and free text, the last sections of a node."""

import pytest

from conftest import assert_diagnostics, node_text, parse_node_at, to_dict


# The status management section stands on line 7 of a node without encodings.
@pytest.mark.parametrize(
    "statements, status, expected",
    [
        ("response_error = e;", ("e", []), []),
        ("response_error = e; fault_state_signals = a;", ("e", ["a"]), []),
        ("response_error = e; fault_state_signals = a, b, c;", ("e", ["a", "b", "c"]), []),
        # The name may be an identifier, a string (without its quotes) or a number.
        ('response_error = "err";', ("err", []), []),
        ("response_error = 0x10;", ("0x10", []), []),
        # The missing ";" is reported and the section still closes on the "}".
        ("response_error = e; fault_state_signals = a, b", ("e", ["a", "b"]), [(7, 68, "Expected ;, found '}'")]),
    ],
)
def test_status_management(statements, status, expected):
    node, diagnostics = parse_node_at(status=f"status_management {{ {statements} }}\n")
    assert diagnostics == expected
    assert (node.status.response_error, node.status.fault_state_signals) == status


def test_missing_section_takes_the_node_brace_as_the_name():
    node, diagnostics = parse_node_at(status="")
    assert diagnostics == [
        (7, 1, "Expected status_management, found '}'"),
        (7, 1, "Expected {, found '}'"),
        (7, 1, "Expected response_error, found '}'"),
        (7, 1, "Expected =, found '}'"),
        (8, 1, "Expected ;, found '<EOF>'"),
        (8, 1, "Expected }, found '<EOF>'"),
        (8, 1, "Expected }, found '<EOF>'"),
    ]
    assert to_dict(node.status) == {"response_error": "}", "fault_state_signals": []}


@pytest.mark.parametrize(
    "section, free_text, expected",
    [
        ("", None, []),
        ('free_text { "values outside 0 - 199 are ignored" }\n', "values outside 0 - 199 are ignored", []),
        ('free_text { "" }\n', "", []),
        (
            'free_text { "a" "b" }\n',
            "a",
            [
                (8, 17, "Expected }, found 'b'"),
                (8, 17, "Expected }, found 'b'"),
                (8, 17, "Unexpected token at top level: 'b'"),
            ],
        ),
    ],
)
def test_free_text(section, free_text, expected):
    node, diagnostics = parse_node_at(free_text=section)
    assert diagnostics == expected
    assert node.free_text == free_text


@pytest.mark.parametrize(
    "sections, expected",
    [
        # Encodings are looked for only before status management.
        (
            {"status": "status_management { response_error = e; }\nencoding { }\n"},
            [(8, 1, "Expected }, found 'encoding'"), (8, 1, "Unexpected token at top level: 'encoding'")],
        ),
        # Free text is looked for only after it.
        (
            {"status": 'free_text { "t" }\nstatus_management { response_error = e; }\n'},
            [
                (7, 1, "Expected status_management, found 'free_text'"),
                (7, 1, "Expected {, found 'free_text'"),
                (7, 1, "Expected response_error, found 'free_text'"),
                (7, 1, "Expected =, found 'free_text'"),
                (7, 11, "Expected ;, found '{'"),
                (7, 11, "Expected }, found '{'"),
                (7, 11, "Expected }, found '{'"),
                (7, 11, "Unexpected token at top level: '{'"),
            ],
        ),
    ],
)
def test_sections_out_of_order(sections, expected):
    ncf = assert_diagnostics(node_text(**sections), expected)
    assert (ncf.nodes[0].encodings, ncf.nodes[0].free_text) == ([], None)
