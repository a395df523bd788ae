"""The top level of a file: header, language version, the run of nodes, and
what parse() does with the cursor and the lexer's own reports."""

import subprocess
import sys

import pytest

import tolvane
from conftest import END_OF_INPUT_MESSAGES, HEADER, assert_diagnostics, node_text, parse_text



@pytest.mark.parametrize(
    "text, version, expected",
    [
        (HEADER, "2.1", []),
        ('node_capability_file;\nLIN_language_version = "";', "", []),
        ("node_capability_file;\nLIN_language_version = 2.1;", "2.1", [(2, 24, "Expected string literal")]),
        (
            'node_capability_file\nLIN_language_version = "2.2";',
            "2.2",
            [(2, 1, "Expected ;, found 'LIN_language_version'")],
        ),
        (
            'LIN_language_version = "2.2";',
            "2.2",
            [
                (1, 1, "Expected node_capability_file, found 'LIN_language_version'"),
                (1, 1, "Expected ;, found 'LIN_language_version'"),
            ],
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


def test_every_diagnostic_names_the_file_and_is_an_error():
    parser = tolvane.NcfParser("dir/x.ncf", HEADER + 'x "')
    assert parser.parse().filename == "dir/x.ncf"
    assert [(d.file, d.severity) for d in parser.get_diagnostics()] == [("dir/x.ncf", tolvane.Diagnostic.Error)]


def test_lexer_reports_come_after_the_grammar_reports():
    assert_diagnostics(
        'node_capability_file;\nLIN_language_version = "2.1;\n',
        [(3, 1, "Expected ;, found '<EOF>'"), (2, 24, "Unterminated string literal")],
    )


def test_an_unterminated_string_at_the_start_waits_for_parse():
    parser = tolvane.NcfParser("t.ncf", '"abc')
    assert parser.get_diagnostics() == []
    assert parser.parse().language_version == "abc"
    found = "found 'abc'"
    assert [(d.line, d.column, d.message) for d in parser.get_diagnostics()] == [
        (1, 1, f"Expected node_capability_file, {found}"),
        (1, 1, f"Expected ;, {found}"),
        (1, 1, f"Expected LIN_language_version, {found}"),
        (1, 1, f"Expected =, {found}"),
        (1, 5, "Expected ;, found '<EOF>'"),
        (1, 1, "Unterminated string literal"),
    ]


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


def test_trace_names_every_rule_and_balances():
    text = node_text(
        frames="frames { publish f { length = 1; signals { s { size = 1; } } } }\n",
        encoding="encoding { e { bcd_value; } }\n",
        free_text='free_text { "t" }\n',
    )
    code = "import sys, tolvane\np = tolvane.NcfParser('t', sys.stdin.read())\np.set_trace(True)\np.parse()"
    result = subprocess.run([sys.executable, "-c", code], input=text, capture_output=True, text=True, check=True)
    lines = result.stdout.splitlines()
    entered = [line.split("ENTER ")[1].split(" at ")[0] for line in lines if "ENTER" in line]
    assert entered == [
        "ncf_file", "language_version", "node_definition", "general_definition", "bitrate_definition",
        "diagnostic_definition", "frame_definition", "single_frame", "frame_properties", "signal_definition",
        "signal_entry", "signal_properties", "encoding_definition", "encoding_entry", "encoding_value",
        "status_management", "free_text",
    ]  # fmt: skip
    assert lines[0] == "[TRACE] ENTER ncf_file at 1:1 ('node_capability_file')"
    assert lines[-1] == "[TRACE] EXIT at 11:1 ('<EOF>')"
    assert len(lines) == 2 * len(entered)
