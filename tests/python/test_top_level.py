"""The top level of a file: header, language version, the run of nodes, and
what parse() does with the cursor and the lexer's own reports."""

import pytest

import tolvane
from conftest import END_OF_INPUT_MESSAGES, HEADER, assert_diagnostics, node_text


@pytest.mark.parametrize(
    "text, version, expected",
    [
        (HEADER, "2.1", []),
        ("node_capability_file;\nLIN_language_version = 2.1;", "2.1", [(2, 24, "Expected string literal")]),
        (
            'node_capability_file\nLIN_language_version = "2.2";',
            "2.2",
            [(2, 1, "Expected ;, found 'LIN_language_version'")],
        ),
        ('node_capability_file; LIN_language_version "2.2";', "2.2", [(1, 44, "Expected =, found '2.2'")]),
        ('node_capability_file;\nLIN_language_version = "2.1"\n', "2.1", [(3, 1, "Expected ;, found '<EOF>'")]),
    ],
)
def test_header_and_version(text, version, expected):
    ncf = assert_diagnostics(text, expected)
    assert (ncf.language_version, ncf.nodes) == (version, [])


NODE = node_text()[len(HEADER) :]  # "node n { ... }" from line 3 on


@pytest.mark.parametrize(
    "text, nodes, expected",
    [
        (HEADER + "x\n" + NODE, 0, [(3, 1, "Unexpected token at top level: 'x'")]),
        (node_text() + "}\n" + NODE, 1, [(9, 1, "Unexpected token at top level: '}'")]),
        # Parsing stops at the stray token: the unterminated string after it is never read.
        (HEADER + 'x "abc', 0, [(3, 1, "Unexpected token at top level: 'x'")]),
        # The byte is quoted unchanged; Python shows it with a backslash escape.
        (HEADER.encode() + b"\xe9 " + NODE.encode(), 0, [(3, 1, "Unexpected token at top level: '\\xe9'")]),
    ],
)
def test_a_stray_top_level_token_ends_the_parse(text, nodes, expected):
    ncf = assert_diagnostics(text, expected)
    assert len(ncf.nodes) == nodes


@pytest.mark.parametrize(
    "text, expected",
    [
        (node_text() + NODE.replace("node n", 'node "m"'), []),
        # The node's "}" is missing: the keyword node stays current and starts the next node.
        (node_text()[:-2] + NODE.replace("node n", "node m"), [(8, 1, "Expected }, found 'node'")]),
    ],
)
def test_nodes_are_read_in_order(text, expected):
    ncf = assert_diagnostics(text, expected)
    assert [node.name for node in ncf.nodes] == ["n", "m"]


# The lexer's reports come after the grammar's, even when they lie earlier in
# the text; none is reported before parse() runs.
@pytest.mark.parametrize(
    "text, expected",
    [
        (
            'node_capability_file;\nLIN_language_version = "2.1;\n',
            [(3, 1, "Expected ;, found '<EOF>'"), (2, 24, "Unterminated string literal")],
        ),
        (
            '"abc',
            [(1, 1, f"Expected {what}, found 'abc'") for what in ("node_capability_file", ";", "LIN_language_version")]
            + [(1, 1, "Expected =, found 'abc'")]
            + [(1, 5, "Expected ;, found '<EOF>'"), (1, 1, "Unterminated string literal")],
        ),
    ],
)
def test_lexer_reports_come_after_the_grammar_reports(text, expected):
    parser = tolvane.NcfParser("t.ncf", text)
    assert parser.get_diagnostics() == []
    parser.parse()
    assert [(d.line, d.column, d.message) for d in parser.get_diagnostics()] == expected


@pytest.mark.parametrize(
    "text, end, first, lexer",
    [
        (node_text(), (9, 1), [], []),
        (
            'node_capability_file;\nLIN_language_version = "2.1',
            (2, 28),
            [(2, 28, "Expected ;, found '<EOF>'")],
            [(2, 24, "Unterminated string literal")],
        ),
    ],
)
def test_a_second_parse_continues_at_the_end_of_input(text, end, first, lexer):
    parser = tolvane.NcfParser("t.ncf", text)
    parser.parse()
    assert [(d.line, d.column, d.message) for d in parser.get_diagnostics()] == first + lexer
    again = parser.parse()
    assert (again.filename, again.language_version, again.nodes) == ("t.ncf", "<EOF>", [])
    assert [(d.line, d.column, d.message) for d in parser.get_diagnostics()] == [
        (*end, message) for message in END_OF_INPUT_MESSAGES
    ] + lexer
