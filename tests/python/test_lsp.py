"""`tolvane lsp` driven as an editor drives it: one server per module, spoken
to over standard input and output; every feature on the examples, on real
files of the corpus and on broken text."""

import pathlib
import re

import pytest

pytest.importorskip("pygls", reason="the language server is the optional extra lsp")
pytest_lsp = pytest.importorskip("pytest_lsp")

from lsprotocol import types  # noqa: E402

import tolvane  # noqa: E402
from conftest import CORPUS, EXAMPLES  # noqa: E402
from lsp_client import (  # noqa: E402
    apply_edits,
    at,
    change_document,
    close_document,
    document,
    initialize_params,
    open_document,
    server_config,
)

pytestmark = pytest.mark.asyncio(loop_scope="module")

DOOR = EXAMPLES / "door_module.ncf"
BROKEN = EXAMPLES / "broken.ncf"
LSM = CORPUS / "PersonalTransport__LIN__examples__LSM.ncf"


@pytest_lsp.fixture(scope="module", config=server_config("--isolated"))
async def client(lsp_client: pytest_lsp.LanguageClient):
    await lsp_client.initialize_session(initialize_params())
    yield
    await lsp_client.shutdown_session()


def uri_of(path, suffix=""):
    """A document's URI; `suffix` makes another document of the same folder."""
    path = pathlib.Path(path)
    return path.with_name(path.stem + suffix + path.suffix).as_uri()


def line_and_column_of(text, needle, occurrence=0, shift=0):
    """The protocol's position of the `occurrence`-th `needle` in `text`, moved `shift` characters."""
    offset = [match.start() for match in re.finditer(re.escape(needle), text)][occurrence] + shift
    line = text.count("\n", 0, offset)
    return at(line, offset - (text.rfind("\n", 0, offset) + 1))


# ---------------------------------------------------------------------------
# Diagnostics
# ---------------------------------------------------------------------------


async def test_broken_example_has_every_diagnostic_at_the_span_of_its_token(client):
    diagnostics = await open_document(client, BROKEN.as_uri(), BROKEN.read_text())
    seen = [(d.range.start.line + 1, d.range.start.character + 1, d.range.end.character + 1, d.severity, d.code,
             d.source) for d in diagnostics]
    error, info = types.DiagnosticSeverity.Error, types.DiagnosticSeverity.Information
    assert seen == [
        (3, 24, 27, error, "syntax", "tolvane"),  # 2.1
        (5, 6, 17, info, "not-checked", "tolvane"),  # seat_module
        (9, 16, 26, error, "syntax", "tolvane"),  # 3000000000
        (11, 19, 20, error, "syntax", "tolvane"),  # the ";" where kbps is due
        (14, 11, 13, error, "syntax", "tolvane"),  # 0x
        (15, 16, 17, error, "syntax", "tolvane"),
        (19, 16, 19, error, "syntax", "tolvane"),  # 8.0
        (21, 42, 45, error, "syntax", "tolvane"),  # 0.5
        (26, 15, 33, error, "syntax", "tolvane"),  # the unterminated string, to its line's end
    ]
    # The messages are the reader's own, in its order.
    _, expected = tolvane.check(str(BROKEN), BROKEN.read_bytes(), recover=True)
    assert [d.message for d in diagnostics] == [d.message for d in expected]
    await close_document(client, BROKEN.as_uri())


async def test_diagnostics_follow_every_change_and_name_a_second_place(client):
    uri, text = uri_of(DOOR, "-changes"), DOOR.read_text()
    assert not await open_document(client, uri, text)
    # A second signal named as the first: the finding points back at the first.
    where = line_and_column_of(text, "comm_error {")
    diagnostics = await change_document(client, uri, 2, [(types.Range(start=where, end=at(where.line,
                                                                                         where.character + 10)),
                                                          "door_open")])
    duplicate = next(d for d in diagnostics if d.code == "duplicate-signal")
    assert (duplicate.range.start, duplicate.range.end) == (where, at(where.line, where.character + 9))
    [related] = duplicate.related_information
    assert related.location.range.start == line_and_column_of(text, "door_open {")
    assert related.location.uri == uri
    # Undone by a change of the whole text.
    assert not await change_document(client, uri, 3, [(None, text)])
    await close_document(client, uri)


async def test_closing_a_document_clears_its_diagnostics(client):
    uri = uri_of(BROKEN, "-closed")
    assert await open_document(client, uri, BROKEN.read_text())
    assert not await close_document(client, uri)


async def test_a_fault_above_the_cursor_leaves_the_rest_of_the_file_read(client):
    uri, text = uri_of(DOOR, "-fault"), DOOR.read_text().replace("supplier = 0x001E;", "supplier = 0x001E", 1)
    diagnostics = await open_document(client, uri, text)
    assert [d.message for d in diagnostics if d.code == "syntax"] == ["Expected ';' after 'supplier = 0x001E'"]
    symbols = await client.text_document_document_symbol_async(types.DocumentSymbolParams(text_document=document(uri)))
    frames = next(section for section in symbols[0].children if section.name == "frames")
    assert [frame.name for frame in frames.children] == ["door_status", "door_control"]
    await close_document(client, uri)


# ---------------------------------------------------------------------------
# Document symbols
# ---------------------------------------------------------------------------


def outline(symbols):
    return [(symbol.name, symbol.kind.name, outline(symbol.children or [])) for symbol in symbols]


async def test_symbols_are_the_tree_of_a_node(client):
    uri, text = DOOR.as_uri(), DOOR.read_text()
    await open_document(client, uri, text)
    symbols = await client.text_document_document_symbol_async(types.DocumentSymbolParams(text_document=document(uri)))
    [node] = outline(symbols)
    assert node[:2] == ("door_module", "Module")
    assert [section[0] for section in node[2]] == ["general", "diagnostic", "frames", "encoding", "status_management",
                                                  "free_text"]
    frames = dict((name, children) for name, _, children in node[2])["frames"]
    assert frames[0] == ("door_status", "Struct", [(name, "Field", []) for name in
                                                   ("door_open", "window_position", "mirror_angle", "comm_error")])
    encodings = dict((name, children) for name, _, children in node[2])["encoding"]
    assert encodings[1] == ("position_enc", "Enum", [('0..200 → value = raw × 0.5 + 0 "percent"', "EnumMember", []),
                                                     ('255 = "unknown"', "EnumMember", [])])
    # A frame's range is its whole block; its name is what is selected.
    door_status = symbols[0].children[2].children[0]
    assert door_status.range.start == line_and_column_of(text, "publish door_status")
    assert door_status.range.end == line_and_column_of(text, "}\n    subscribe", shift=1)
    assert door_status.selection_range.start == line_and_column_of(text, "door_status {")
    await close_document(client, uri)


@pytest.mark.parametrize("path", sorted(CORPUS.glob("*.ncf"))[:8], ids=lambda path: path.name[:40])
async def test_symbols_of_real_files_hold_every_frame_signal_and_encoding(client, path):
    uri, content = path.as_uri(), path.read_bytes()
    text = content.decode("latin-1")
    await open_document(client, uri, text)
    symbols = await client.text_document_document_symbol_async(types.DocumentSymbolParams(text_document=document(uri)))
    ncf = tolvane.NcfParser(str(path), text.encode("utf-8"), recover=True).parse()
    for node, symbol in zip(ncf.nodes, symbols, strict=True):
        sections = {child.name: child.children or [] for child in symbol.children}
        assert symbol.name == node.name
        assert [(f.name, [s.name for s in f.signals]) for f in node.frames] == \
            [(f.name, [s.name for s in f.children]) for f in sections.get("frames", [])]
        assert [e.name for e in node.encodings] == [e.name for e in sections.get("encoding", [])]
    await close_document(client, uri)


# ---------------------------------------------------------------------------
# Hover, definition, references
# ---------------------------------------------------------------------------


async def hover_text(client, uri, position):
    found = await client.text_document_hover_async(types.HoverParams(text_document=document(uri), position=position))
    return None if found is None else found.contents.value


async def test_hover_tells_what_stands_under_the_cursor(client):
    uri, text = DOOR.as_uri(), DOOR.read_text()
    await open_document(client, uri, text)
    node = tolvane.NcfParser(str(DOOR)).parse().nodes[0]
    signal = await hover_text(client, uri, line_and_column_of(text, "window_position {", shift=3))
    assert signal.splitlines()[:3] == ["**signal** `window_position` of publish frame `door_status`", "",
                                       "bits 16..23 (byte 2 bit 0 to byte 2 bit 7), size 8, initial value 255"]
    assert '0..200 → value = raw × 0.5 + 0 "percent"' in signal.splitlines()
    # A frame shows its drawing, as tolvane dump draws it.
    frame = await hover_text(client, uri, line_and_column_of(text, "door_control {"))
    assert tolvane.draw_frame(node, "door_control").rstrip("\n") in frame
    # An encoding's name, where a signal uses it: its value lines and users.
    encoding = await hover_text(client, uri, line_and_column_of(text, "lock_enc;", shift=2))
    assert '1 = "lock"' in encoding and "used by `lock_request`" in encoding
    # A keyword: one line on what it means.
    assert await hover_text(client, uri, line_and_column_of(text, "max_message_length")) == \
        "**max_message_length**: The longest diagnostic message, in bytes."
    # Nothing on blanks, in a comment or in a string.
    for position in (at(7, 18), line_and_column_of(text, "capability file"), line_and_column_of(text, "front left")):
        assert await hover_text(client, uri, position) is None
    await close_document(client, uri)


async def locations(request, uri, position, **context):
    if context:
        params = types.ReferenceParams(text_document=document(uri), position=position,
                                       context=types.ReferenceContext(**context))
    else:
        params = types.DefinitionParams(text_document=document(uri), position=position)
    found = await request(params)
    return sorted((location.range.start.line, location.range.start.character) for location in found or [])


def place(text, needle, occurrence=0, shift=0):
    position = line_and_column_of(text, needle, occurrence, shift)
    return position.line, position.character


@pytest.mark.parametrize("needle, occurrence, definition, uses", [
    # an encoding, from a signal that names it and from its definition
    ("position_enc;", 0, ("position_enc {", 0), [("position_enc;", 0)]),
    ("position_enc {", 0, ("position_enc {", 0), [("position_enc;", 0)]),
    # the event-triggered frame named by a frame; the NCF does not define it
    ("door_events", 1, None, [("door_events;", 0)]),
    # the signals of status_management, and the signal they name
    ("comm_error;\n", 0, ("comm_error {", 0), [("comm_error;\n", 0)]),
    ("window_position;", 0, ("window_position {", 0), [("window_position;", 0)]),
    ("door_open {", 0, ("door_open {", 0), [("door_open,", 0)]),
])
async def test_definition_and_references_join_names_to_what_they_name(client, needle, occurrence, definition, uses):
    uri, text = DOOR.as_uri(), DOOR.read_text()
    await open_document(client, uri, text)
    position = line_and_column_of(text, needle, occurrence, shift=1)
    expected_definition = [place(text, *definition)] if definition else []
    assert await locations(client.text_document_definition_async, uri, position) == expected_definition
    assert await locations(client.text_document_references_async, uri, position, include_declaration=False) == \
        sorted(place(text, *use) for use in uses)
    assert await locations(client.text_document_references_async, uri, position, include_declaration=True) == \
        sorted(expected_definition + [place(text, *use) for use in uses])
    await close_document(client, uri)


async def test_event_triggered_frame_is_defined_by_the_frame_that_declares_it_in_a_real_file(client):
    uri, text = LSM.as_uri(), LSM.read_text()
    await open_document(client, uri, text)
    position = line_and_column_of(text, "= Node_Status_Event", shift=3)
    assert await locations(client.text_document_definition_async, uri, position) == \
        [place(text, "Node_Status_Event {")]
    await close_document(client, uri)


# ---------------------------------------------------------------------------
# Completion
# ---------------------------------------------------------------------------


async def labels(client, uri, position):
    found = await client.text_document_completion_async(
        types.CompletionParams(text_document=document(uri), position=position))
    items = found.items if isinstance(found, types.CompletionList) else found or []
    return [item.label for item in items]


async def code_actions(client, uri, finding):
    found = await client.text_document_code_action_async(types.CodeActionParams(
        text_document=document(uri), range=finding.range, context=types.CodeActionContext(diagnostics=[finding])))
    return list(found or [])


async def test_completion_offers_what_the_section_takes(client):
    text = DOOR.read_text()
    uri = uri_of(DOOR, "-completion")
    # Blank lines at the places to complete.
    text = text.replace("    variant = 1;\n", "    variant = 1;\n    \n", 1)
    text = text.replace("init_value = 0; size = 2; offset = 0;", "init_value = 0; size = 2;  offset = 0;", 1)
    text = text.replace("    response_error = comm_error;", "    response_error = ;", 1)
    text = text.replace("  status_management {", "  \n  status_management {", 1)
    await open_document(client, uri, text)
    general = await labels(client, uri, line_and_column_of(text, "    \n", shift=4))
    assert general == ["LIN_protocol_version", "supplier", "function", "variant", "bitrate", "sends_wake_up_signal",
                       "volt_range", "temp_range", "conformance"]
    signal = await labels(client, uri, line_and_column_of(text, "size = 2;  offset", shift=10))
    assert signal == ["size", "init_value", "offset", "door_open_enc", "position_enc", "lock_enc", "mirror_enc"]
    status = await labels(client, uri, line_and_column_of(text, "response_error = ;", shift=17))
    assert status == ["door_open", "window_position", "mirror_angle", "comm_error"]
    node = await labels(client, uri, line_and_column_of(text, "  \n  status_management", shift=2))
    assert node == ["general", "diagnostic", "frames", "encoding", "status_management", "free_text"]
    # A word being typed is completed from its section too.
    assert await labels(client, uri, line_and_column_of(text, "variant = 1", shift=3)) == general
    for needle in ("control module", "front left", "= 0x0012"):  # in a comment, a string, a value
        assert await labels(client, uri, line_and_column_of(text, needle, shift=2)) == []
    await close_document(client, uri)


# ---------------------------------------------------------------------------
# Formatting
# ---------------------------------------------------------------------------


async def format_edits(client, uri):
    return await client.text_document_formatting_async(types.DocumentFormattingParams(
        text_document=document(uri), options=types.FormattingOptions(tab_size=4, insert_spaces=True)))


@pytest.mark.parametrize("path", [DOOR, LSM, CORPUS / "PersonalTransport__EnergyManagement__energy_management.ncf"],
                         ids=lambda path: path.name[:30])
async def test_formatting_gives_what_fmt_writes_with_the_comments(client, path):
    uri, text = uri_of(path, "-format"), path.read_text()
    await open_document(client, uri, text)
    edits = await format_edits(client, uri)
    formatted = tolvane.format_text(text).decode()
    assert apply_edits(text, edits or []) == formatted
    # Formatting the formatted text changes nothing.
    await change_document(client, uri, 2, [(None, formatted)])
    assert not await format_edits(client, uri)
    await close_document(client, uri)


async def test_a_text_with_syntax_errors_is_not_formatted(client):
    uri = uri_of(BROKEN, "-format")
    await open_document(client, uri, BROKEN.read_text())
    assert not await format_edits(client, uri)
    await close_document(client, uri)


# ---------------------------------------------------------------------------
# Code actions
# ---------------------------------------------------------------------------


@pytest.mark.parametrize("before, after, title", [
    ("supplier = 0x001E;", "supplier = 0x001E", "Insert ';'"),
    ("offset = 8; door_open_enc; }", "offset = 8; door_open_enc }", "Insert ';'"),
    ("min_period = 10 ms;", "min_period = 10;", "Insert 'ms'"),
    ("min 9.6 kbps max", "min 9.6 max", "Insert 'kbps'"),
    ("lock_enc; }", "}", "Remove unused encoding 'lock_enc'"),
])
async def test_a_quick_fix_takes_away_the_finding_it_fixes(client, before, after, title):
    """Law: applying the fix gives a text without the finding, and here, the example as it was."""
    uri, original = uri_of(DOOR, "-fix"), DOOR.read_text()
    text = original.replace(before, after, 1)
    diagnostics = await open_document(client, uri, text)
    finding = next(d for d in diagnostics if d.code != "not-checked")
    [action] = await code_actions(client, uri, finding)
    assert (action.title, action.kind, action.diagnostics[0].message) == (title, types.CodeActionKind.QuickFix,
                                                                           finding.message)
    fixed = apply_edits(text, action.edit.changes[uri])
    _, remaining = tolvane.check("fixed.ncf", fixed.encode(), recover=True)
    assert finding.message not in [d.message for d in remaining]
    if title.startswith("Insert"):
        assert fixed == original
    else:
        assert "lock_enc {" not in fixed and "    lock_enc {\n" in text
        assert remaining == []
    await close_document(client, uri)


async def test_no_quick_fix_where_no_fix_is_plainly_right(client):
    uri = uri_of(BROKEN, "-fix")
    diagnostics = await open_document(client, uri, BROKEN.read_text())
    kept = [d for d in diagnostics if "Expected 'kbps'" not in d.message and "Expected 'ms'" not in d.message]
    for finding in kept:
        assert await code_actions(client, uri, finding) == [], finding.message
    await close_document(client, uri)


# ---------------------------------------------------------------------------
# Positions in the client's units
# ---------------------------------------------------------------------------


async def test_columns_are_counted_in_utf16_units_by_default(client):
    uri = uri_of(DOOR, "-utf16")
    # "é" is two bytes for the reader, one unit for the client; "𝄞" four bytes, two units.
    text = DOOR.read_text().replace("    variant = 1;", "    /* é𝄞 */ variant = x;", 1)
    diagnostics = await open_document(client, uri, text)
    [fault] = [d for d in diagnostics if d.code == "syntax"]
    line = text.splitlines()[fault.range.start.line]
    prefix = line[:line.index("x;")]
    assert fault.range.start.character == len(prefix.encode("utf-16-le")) // 2
    assert fault.range.end.character == fault.range.start.character + 1
    await close_document(client, uri)
