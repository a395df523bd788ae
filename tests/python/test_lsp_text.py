"""The language server's own reading of a text (positions, spans, sections)
and its table of keywords, without a server; and the command without its
extra."""

import json
import os
import re
import subprocess
import sys

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from conftest import EXAMPLES, ROOT, module_path
from tolvane_cli.lsp.document import Document
from tolvane_cli.lsp.language import KEYWORDS, NAMED_BLOCKS, SECTION_STATEMENTS
from tolvane_cli.lsp.text import Text

ENCODINGS = ("utf-8", "utf-16", "utf-32")


@given(st.text(alphabet=st.sampled_from("ab \n\té€𝄞\"/*{};")))
def test_client_positions_and_offsets_are_inverse(source):
    text = Text(source)
    for offset in range(len(source) + 1):
        for encoding in ENCODINGS:
            assert text.client_offset(*text.client_position(offset, encoding), encoding) == offset


@given(st.lists(st.text(alphabet=st.sampled_from("ab é€𝄞"), max_size=8), min_size=1, max_size=4))
def test_the_readers_byte_columns_name_characters(lines):
    text = Text("\n".join(lines))
    start = 0
    for number, line in enumerate(lines, 1):
        for character in range(len(line) + 1):
            column = len(line[:character].encode()) + 1
            assert text.offset_of_reader_position(number, column) == start + character
        start += len(line) + 1


@pytest.mark.parametrize("source, offset, span", [
    ("size = 12;", 7, "12"),
    ("size = 0x;", 7, "0x"),
    ("a = -40.5e1;", 4, "-40.5e1"),
    ('t = "open\nnext', 4, '"open'),  # an unterminated string: to its line's end
    ('t = "a\\"b";', 4, '"a\\"b"'),
    ("x /* a\nb */", 2, "/* a"),
    ("x = 1;", 5, ";"),
    ("x = 1\n", 5, ""),  # at a line's end: nothing to underline
    ("x = 1", 5, ""),
    ("x =  1", 3, ""),
])
def test_a_problem_underlines_the_token_where_it_was_found(source, offset, span):
    start, end = Text(source).span_at(offset)
    assert (start, source[start:end]) == (offset, span)


DOOR = (EXAMPLES / "door_module.ncf").read_text()


@pytest.mark.parametrize("needle, section", [
    ("supplier", "general"),
    ("NAD", "diagnostic"),
    ("0xB2", None),  # support_sid's list
    ("publish door_status", "frames"),
    ("length = 5", "frame"),
    ("door_open {", "signals"),
    ("size = 1", "signal"),
    ("door_open_enc {", "encoding"),
    ('logical_value, 0, "closed"', "encoding entry"),
    ("response_error", "status_management"),
    ('"Door control', None),  # free text
    ("general {", "node"),
    ("LIN_language_version", ""),
])
def test_the_section_at_the_cursor(needle, section):
    assert Document("door.ncf", DOOR).section_at(DOOR.index(needle)) == section
    assert section is None or section in SECTION_STATEMENTS


def test_sections_name_only_keywords():
    named = {keyword for statements in SECTION_STATEMENTS.values() for keyword in statements}
    assert named <= set(KEYWORDS)
    assert set(NAMED_BLOCKS) <= set(SECTION_STATEMENTS) and set(NAMED_BLOCKS.values()) <= set(SECTION_STATEMENTS)


def test_the_keywords_are_the_readers_and_the_grammar_highlights_each():
    """One list of the language's words: the reader's, the server's, the highlighting's."""
    spellings = (ROOT / "lexer" / "token.hpp").read_text()
    readers = re.findall(r'^\s*"(\w+)",$', spellings[spellings.index('"node_capability_file"') - 8:], re.MULTILINE)
    assert list(KEYWORDS) == readers
    grammar = json.loads((ROOT / "editors" / "vscode" / "syntaxes" / "ncf.tmLanguage.json").read_text())
    highlighted = [word for pattern in grammar["repository"]["keywords"]["patterns"]
                   for word in re.fullmatch(r"\\b\(\?:(.*)\)\\b", pattern["match"]).group(1).split("|")]
    assert sorted(highlighted) == sorted(KEYWORDS)


def test_without_the_extra_the_command_says_which_to_install():
    # pygls made unimportable, as where the extra is not installed.
    script = "import sys; sys.modules['pygls'] = None; from tolvane_cli import main; sys.exit(main(['lsp']))"
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                         env={**os.environ, "PYTHONPATH": module_path()}, stdin=subprocess.DEVNULL, timeout=60)
    assert (run.returncode, run.stdout) == (2, "")
    assert run.stderr == "tolvane: tolvane lsp needs the extra 'lsp' (pygls): pip install 'tolvane[lsp]'\n"


# ---------------------------------------------------------------------------
# Any text, any cursor: every answer is whole and its ranges lie in the text
# ---------------------------------------------------------------------------

# Pieces of real files and of what editing them leaves behind.
PIECES = [DOOR[i:i + 40] for i in range(0, len(DOOR), 40)] + [
    '"', "/*", "*/", "//", "#", "{", "}", ";", "=", "\n", "0x", "é", "𝄞", "\ud800", "\x00", "-", "1e999",
    "node n {", "signals {", "event_triggered_frame = ", "response_error = ", "encoding { e { logical_value, 1, ",
]


@settings(max_examples=400, deadline=None)
@given(st.lists(st.sampled_from(PIECES), max_size=30), st.data())
def test_every_answer_to_any_text_is_whole(pieces, data):
    types = pytest.importorskip("lsprotocol.types")
    from tolvane_cli.lsp import features
    from tolvane_cli.lsp.document import Options

    source = "".join(pieces)
    lenient = data.draw(st.booleans())
    place = features.Place(Document("fuzz.ncf", source, Options(lenient=lenient)), "file:///fuzz.ncf",
                           data.draw(st.sampled_from(ENCODINGS)))
    text = place.document.text
    ends = [text.client_position(len(source), place.encoding)]

    def inside(where):
        end = (where.end.line, where.end.character)
        assert (where.start.line, where.start.character) <= end <= (ends[0][0], ends[0][1])

    for diagnostic in features.diagnostics(place):
        inside(diagnostic.range)

    def nested(symbol, parent=None):
        inside(symbol.range)
        assert symbol.range.start.line <= symbol.selection_range.start.line <= symbol.range.end.line
        for child in symbol.children or []:
            nested(child, symbol)

    for symbol in features.document_symbols(place):
        nested(symbol)
    line = data.draw(st.integers(0, text.line_count()))
    position = types.Position(line=line, character=data.draw(st.integers(0, 90)))
    features.hover(place, position)
    for location in features.definition(place, position) + features.references(place, position, True):
        inside(location.range)
    features.completion(place, position)
    for action in features.code_actions(place, types.Range(start=types.Position(line=0, character=0),
                                                             end=types.Position(line=line, character=0))):
        for edit in action.edit.changes["file:///fuzz.ncf"]:
            inside(edit.range)
    for edit in features.formatting(place):
        inside(edit.range)
