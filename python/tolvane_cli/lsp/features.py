"""What the language server answers, computed from a `Document`: one function
per request, each returning the protocol's types with positions in the
client's units (`encoding`)."""

from __future__ import annotations

import re

from lsprotocol import types

import tolvane
from tolvane_cli.lsp.language import KEYWORDS, SECTION_STATEMENTS

TYPE_CHECKING = False
if TYPE_CHECKING:
    from collections.abc import Iterator

    from tolvane_cli.lsp.document import Document, Occurrence
    from tolvane_cli.lsp.text import Block

SOURCE = "tolvane"

_SEVERITIES = {
    tolvane.Diagnostic.Error: types.DiagnosticSeverity.Error,
    tolvane.Diagnostic.Warning: types.DiagnosticSeverity.Warning,
    tolvane.Diagnostic.Info: types.DiagnosticSeverity.Information,
}


class Place:
    """Positions of one document in the client's units."""

    __slots__ = ("document", "uri", "encoding")

    def __init__(self, document: Document, uri: str, encoding: str) -> None:
        self.document = document
        self.uri = uri
        self.encoding = encoding

    def position(self, offset: int) -> types.Position:
        line, column = self.document.text.client_position(offset, self.encoding)
        return types.Position(line=line, character=column)

    def range(self, start: int, end: int) -> types.Range:
        return types.Range(start=self.position(start), end=self.position(end))

    def location(self, start: int, end: int) -> types.Location:
        return types.Location(uri=self.uri, range=self.range(start, end))

    def offset(self, position: types.Position) -> int:
        return self.document.text.client_offset(position.line, position.character, self.encoding)


# ---------------------------------------------------------------------------
# Diagnostics
# ---------------------------------------------------------------------------


def diagnostics(place: Place) -> list[types.Diagnostic]:
    return [_diagnostic(place, diagnostic) for diagnostic in place.document.diagnostics]


def _diagnostic(place: Place, diagnostic: tolvane.Diagnostic) -> types.Diagnostic:
    text = place.document.text
    start, end = text.span_at(text.offset_of_reader_position(diagnostic.line, diagnostic.column))
    related = list(_related(place, diagnostic, start))
    return types.Diagnostic(
        range=place.range(start, end), message=diagnostic.message, severity=_SEVERITIES[diagnostic.severity],
        code=diagnostic.code, source=SOURCE, related_information=related or None)


# The findings that name a second place: what kind of name, which of the
# names the message quotes, and what that place is to the finding.
_SECOND_PLACES = {
    "duplicate-node": ("node", 0, "first defined here"),
    "duplicate-frame": ("frame", 0, "first defined here"),
    "duplicate-signal": ("signal", 0, "first defined here"),
    "duplicate-encoding": ("encoding", 0, "first defined here"),
    "signal-overlap": ("signal", 1, "the signal it overlaps"),
    "response-error": ("signal", 0, "the signal"),
    "response-error-size": ("signal", 0, "the signal"),
}


def _related(place: Place, diagnostic: tolvane.Diagnostic, start: int) -> Iterator[types.DiagnosticRelatedInformation]:
    second = _SECOND_PLACES.get(diagnostic.code)
    names = re.findall(r"'([^']*)'", diagnostic.message)
    if second is None or len(names) <= second[1]:
        return
    kind, which, what = second
    document = place.document
    if kind == "node":
        candidates = [occurrence for index, node in enumerate(document.ncf.nodes)
                      for occurrence in document.occurrences_in_node(index, node) if occurrence.kind == "node"]
    else:
        # The finding's own node: the one that begins last before it.
        index = document.node_at_line(diagnostic.line)
        candidates = [] if index is None else list(document.occurrences_in_node(index, document.ncf.nodes[index]))
    for occurrence in candidates:
        if (occurrence.kind == kind and occurrence.name == names[which] and occurrence.is_definition
                and not occurrence.start <= start < occurrence.end):
            yield types.DiagnosticRelatedInformation(
                location=place.location(occurrence.start, occurrence.end), message=what)
            return


# ---------------------------------------------------------------------------
# Document symbols
# ---------------------------------------------------------------------------


def document_symbols(place: Place) -> list[types.DocumentSymbol]:
    document = place.document
    symbols = []
    for index, node in enumerate(document.ncf.nodes):
        span = document.record_span(node)
        name = document.name_span(node.position_of("name"), node.name)
        if span is None:
            continue
        block = document.text.block_starting_at(span[0])
        children = [symbol for child in (block.children if block else []) for symbol in _section(place, index, child)]
        symbols.append(_symbol(place, node.name, types.SymbolKind.Module, span, name, children, "node"))
    return symbols


def _section(place: Place, node: int, block: Block) -> Iterator[types.DocumentSymbol]:
    document = place.document
    keyword = block.keyword
    if not keyword or block.close is None:
        return
    span = (block.header[0].start, document.text.tokens[block.close].end)
    heading = (block.header[0].start, block.header[0].end)
    children: list[types.DocumentSymbol] = []
    record = document.ncf.nodes[node]
    if keyword == "frames":
        children = [_frame_symbol(place, frame) for frame in record.frames if _inside(document.record_span(frame), span)]
    elif keyword == "encoding":
        children = [_encoding_symbol(place, entry) for entry in record.encodings
                    if _inside(document.record_span(entry), span)]
    elif keyword not in SECTION_STATEMENTS["node"]:
        return
    yield _symbol(place, keyword, types.SymbolKind.Namespace, span, heading, children)


def _frame_symbol(place: Place, frame: tolvane.NcfSingleFrame) -> types.DocumentSymbol:
    document = place.document
    signals = [_symbol(place, signal.name, types.SymbolKind.Field, document.record_span(signal),
                       document.name_span(signal.position_of("name"), signal.name), [],
                       f"offset {signal.properties.offset}, size {signal.properties.size}")
               for signal in frame.signals]
    return _symbol(place, frame.name, types.SymbolKind.Struct, document.record_span(frame),
                   document.name_span(frame.position_of("name"), frame.name), signals,
                   f"{frame.kind}, {frame.properties.length} bytes")


def _encoding_symbol(place: Place, entry: tolvane.NcfEncodingEntry) -> types.DocumentSymbol:
    document = place.document
    values = [_symbol(place, value_line(value), types.SymbolKind.EnumMember, document.record_span(value), None, [])
              for value in entry.values]
    return _symbol(place, entry.name, types.SymbolKind.Enum, document.record_span(entry),
                   document.name_span(entry.position_of("name"), entry.name), values)


def _symbol(place: Place, name: str, kind: types.SymbolKind, span: tuple[int, int] | None,
            selection: tuple[int, int] | None, children: list[types.DocumentSymbol],
            detail: str | None = None) -> types.DocumentSymbol:
    span = span or (0, 0)
    if selection is None or not _inside(selection, span):
        selection = span
    return types.DocumentSymbol(name=name or "?", kind=kind, range=place.range(*span),
                                selection_range=place.range(*selection), detail=detail, children=children)


def _inside(inner: tuple[int, int] | None, outer: tuple[int, int]) -> bool:
    return inner is not None and outer[0] <= inner[0] and inner[1] <= outer[1]


# ---------------------------------------------------------------------------
# Hover
# ---------------------------------------------------------------------------


def hover(place: Place, position: types.Position) -> types.Hover | None:
    document = place.document
    offset = place.offset(position)
    occurrence = document.occurrence_at(offset)
    if occurrence is not None:
        text = _describe(document, occurrence)
        span = (occurrence.start, occurrence.end)
    else:
        token = document.text.word_at(offset)
        if token is None or token.text not in KEYWORDS:
            return None
        text = f"**{token.text}**: {KEYWORDS[token.text]}"
        span = (token.start, token.end)
    if text is None:
        return None
    return types.Hover(contents=types.MarkupContent(kind=types.MarkupKind.Markdown, value=text),
                       range=place.range(*span))


def _describe(document: Document, occurrence: Occurrence) -> str | None:
    node = document.ncf.nodes[occurrence.node]
    if occurrence.kind == "signal":
        return _describe_signal(node, occurrence.name)
    if occurrence.kind == "frame":
        return _describe_frame(node, occurrence.name)
    if occurrence.kind == "encoding":
        return _describe_encoding(node, occurrence.name)
    return _describe_node(node)


def _describe_signal(node: tolvane.NcfNodeDef, name: str) -> str:
    for frame in node.frames:
        for signal in frame.signals:
            if signal.name == name:
                properties = signal.properties
                lines = [
                    f"**signal** `{name}` of {frame.kind} frame `{frame.name}`",
                    "",
                    f"{_bits(properties.offset, properties.size)}, size {properties.size}, "
                    f"initial value {_init_value(properties.init_value)}",
                ]
                if properties.encoding_name is not None:
                    lines += ["", *_encoding_lines(node, properties.encoding_name)]
                return "\n".join(lines)
    return f"**signal** `{name}`: node `{node.name}` defines no signal of this name"


def _bits(offset: int, size: int) -> str:
    """Where a signal lies: its frame bits, and the bytes and bits of those."""
    if size <= 1:
        return f"bit {offset} (byte {offset // 8}, bit {offset % 8})"
    last = offset + size - 1
    return f"bits {offset}..{last} (byte {offset // 8} bit {offset % 8} to byte {last // 8} bit {last % 8})"


def _init_value(value: tolvane.NcfInitValue) -> str:
    if value.is_array:
        return "{" + ", ".join(f"0x{byte:02X}" for byte in value.array_values) + "}"
    return str(value.scalar)


def _describe_frame(node: tolvane.NcfNodeDef, name: str) -> str:
    carried = [frame.name for frame in node.frames if frame.properties.event_triggered_frame == name]
    lines = []
    if any(frame.name == name for frame in node.frames):
        try:
            lines += ["```text", tolvane.draw_frame(node, name).rstrip("\n"), "```"]
        except ValueError as error:
            lines.append(f"**frame** `{name}`: {error}")
    else:
        lines.append(f"**event-triggered frame** `{name}`")
    if carried:
        lines += ["", "carries " + ", ".join(f"`{frame}`" for frame in carried)]
    return "\n".join(lines)


def _describe_encoding(node: tolvane.NcfNodeDef, name: str) -> str:
    users = [signal.name for frame in node.frames for signal in frame.signals
             if signal.properties.encoding_name == name]
    lines = _encoding_lines(node, name)
    lines += ["", "used by " + ", ".join(f"`{user}`" for user in users) if users else "used by no signal"]
    return "\n".join(lines)


def _encoding_lines(node: tolvane.NcfNodeDef, name: str) -> list[str]:
    entry = next((entry for entry in node.encodings if entry.name == name), None)
    if entry is None:
        return [f"**encoding** `{name}`: node `{node.name}` defines no encoding of this name"]
    return [f"**encoding** `{name}`", "", "```text", *(value_line(value) for value in entry.values), "```"]


def value_line(value: tolvane.NcfEncodingValue) -> str:
    """An encoding's value line as `tolvane dump` prints it."""
    if value.logical_value is not None:
        logical = value.logical_value
        return f"{logical.signal_value} = {_quoted(logical.text_info)}" if logical.text_info is not None \
            else str(logical.signal_value)
    if value.physical_range is not None:
        physical = value.physical_range
        unit = f" {_quoted(physical.text_info)}" if physical.text_info is not None else ""
        return (f"{physical.min_value}..{physical.max_value} → value = raw × {_number(physical.scale)} + "
                f"{_number(physical.offset_val)}{unit}")
    return {"bcd": "BCD", "ascii": "ASCII"}.get(value.type, value.type)


def _quoted(text: str) -> str:
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def _number(value: float) -> str:
    return str(int(value)) if value.is_integer() and abs(value) < 1e15 else repr(value)


def _describe_node(node: tolvane.NcfNodeDef) -> str:
    general, diagnostic = node.general, node.diagnostic
    nads = [diagnostic.nad_lhs, *diagnostic.nad_list]
    nad_text = (f"0x{diagnostic.nad_lhs:02X} to 0x{diagnostic.nad_rhs:02X}" if diagnostic.nad_rhs is not None
                else ", ".join(f"0x{nad:02X}" for nad in nads))
    return "\n".join([
        f"**node** `{node.name}`",
        "",
        f"LIN {general.protocol_version}, supplier 0x{general.supplier_id:04X}, function "
        f"0x{general.function_id:04X}, variant {general.variant_id}; NAD {nad_text}; "
        f"{len(node.frames)} frames, {len(node.encodings)} encodings",
    ])


# ---------------------------------------------------------------------------
# Definitions and references
# ---------------------------------------------------------------------------


def definition(place: Place, position: types.Position) -> list[types.Location]:
    occurrence = place.document.occurrence_at(place.offset(position))
    if occurrence is None:
        return []
    return [place.location(found.start, found.end) for found in place.document.definitions_of(occurrence.key)]


def references(place: Place, position: types.Position, include_declaration: bool) -> list[types.Location]:
    occurrence = place.document.occurrence_at(place.offset(position))
    if occurrence is None:
        return []
    return [place.location(found.start, found.end) for found in place.document.occurrences_of(occurrence.key)
            if include_declaration or not found.is_definition]


# ---------------------------------------------------------------------------
# Completion
# ---------------------------------------------------------------------------


def completion(place: Place, position: types.Position) -> list[types.CompletionItem]:
    document = place.document
    offset = place.offset(position)
    section = document.section_at(offset)
    if section is None or _in_comment_or_string(document, offset):
        return []
    before = document.text.statement_tokens_before(offset)
    if before and before[-1].kind == "word" and before[-1].end == offset:
        before = before[:-1]  # the word being typed
    words = [token.text for token in before]
    node = document.node_at(offset)
    if not words:
        items = [_keyword_item(keyword) for keyword in SECTION_STATEMENTS.get(section, ())]
        if section == "signal" and node is not None:
            items += [_name_item(entry.name, types.CompletionItemKind.Enum, "encoding")
                      for entry in document.ncf.nodes[node].encodings]
        return items
    if node is None or "=" not in words:
        return []
    record = document.ncf.nodes[node]
    if section == "status_management" and words[0] in ("response_error", "fault_state_signals"):
        published = [signal.name for frame in record.frames if frame.kind == "publish" for signal in frame.signals]
        return [_name_item(name, types.CompletionItemKind.Field, "published signal")
                for name in dict.fromkeys(published)]
    if section == "frame" and words[0] == "event_triggered_frame":
        carriers = [frame.properties.event_triggered_frame for frame in record.frames]
        return [_name_item(name, types.CompletionItemKind.Struct, "event-triggered frame")
                for name in dict.fromkeys(carrier for carrier in carriers if carrier)]
    return []


def _in_comment_or_string(document: Document, offset: int) -> bool:
    """Whether the cursor stands in a comment or a string, where nothing is offered."""
    token = document.text.token_index_at(offset)
    if token is not None:
        found = document.text.tokens[token]
        if found.kind == "string" and found.start < offset < found.end:
            return True
    return document.text.in_comment(offset)


def _keyword_item(keyword: str) -> types.CompletionItem:
    return types.CompletionItem(label=keyword, kind=types.CompletionItemKind.Keyword, detail=KEYWORDS[keyword])


def _name_item(name: str, kind: types.CompletionItemKind, detail: str) -> types.CompletionItem:
    return types.CompletionItem(label=name, kind=kind, detail=detail)


# ---------------------------------------------------------------------------
# Formatting
# ---------------------------------------------------------------------------


def formatting(place: Place) -> list[types.TextEdit]:
    """The whole document as `tolvane fmt` writes it, as one edit; none for a
    text with syntax errors, or whose lenient reading skipped constructs the
    canonical text cannot hold."""
    from tolvane_cli.fmt import NOT_KEPT_CODES

    document = place.document
    if document.has_syntax_errors or any(diagnostic.code in NOT_KEPT_CODES for diagnostic in document.all_diagnostics):
        return []
    try:
        formatted = tolvane.format_text(document.content, lenient=document.options.lenient).decode("utf-8")
    except ValueError:  # a text it cannot write, or bytes that are not UTF-8 (UnicodeDecodeError)
        return []
    if formatted == document.source:
        return []
    return [types.TextEdit(range=place.range(0, len(document.source)), new_text=formatted)]


# ---------------------------------------------------------------------------
# Code actions
# ---------------------------------------------------------------------------

# "Expected ';' after 'size = 8'": what the reader expected, put where it expected it.
_MISSING = re.compile(r"Expected '(;|ms|kbps)' after ")


def code_actions(place: Place, requested: types.Range) -> list[types.CodeAction]:
    document = place.document
    first, last = place.offset(requested.start), place.offset(requested.end)
    actions = []
    for diagnostic in document.diagnostics:
        offset = document.text.offset_of_reader_position(diagnostic.line, diagnostic.column)
        start, end = document.text.span_at(offset)
        if end < first or start > last:
            continue
        action = _fix(place, diagnostic, offset)
        if action is not None:
            actions.append(action)
    return actions


def _fix(place: Place, diagnostic: tolvane.Diagnostic, offset: int) -> types.CodeAction | None:
    missing = _MISSING.match(diagnostic.message) if diagnostic.code == "syntax" else None
    if missing is not None:
        word = missing.group(1)
        inserted = word if word == ";" else " " + word
        return _action(place, diagnostic, f"Insert '{word}'", [(offset, offset, inserted)])
    if diagnostic.code == "unused-encoding":
        return _remove_unused_encoding(place, diagnostic, offset)
    return None


def _remove_unused_encoding(place: Place, diagnostic: tolvane.Diagnostic, offset: int) -> types.CodeAction | None:
    document = place.document
    occurrence = document.occurrence_at(offset)
    if occurrence is None or occurrence.kind != "encoding" or not occurrence.is_definition:
        return None
    span = document.record_span(occurrence.record)
    if span is None or document.text.extent_end(span[0]) is None:
        return None
    start, end = _whole_lines(document.source, *span)
    return _action(place, diagnostic, f"Remove unused encoding '{occurrence.name}'", [(start, end, "")])


def _whole_lines(source: str, start: int, end: int) -> tuple[int, int]:
    """`start`..`end` widened to whole lines when nothing else stands on them."""
    line_start = source.rfind("\n", 0, start) + 1
    line_end = source.find("\n", end)
    line_end = len(source) if line_end < 0 else line_end
    if source[line_start:start].strip(" \t") or source[end:line_end].strip(" \t"):
        return start, end
    return line_start, min(line_end + 1, len(source))


def _action(place: Place, diagnostic: tolvane.Diagnostic, title: str,
            edits: list[tuple[int, int, str]]) -> types.CodeAction:
    text_edits = [types.TextEdit(range=place.range(start, end), new_text=new_text) for start, end, new_text in edits]
    return types.CodeAction(
        title=title, kind=types.CodeActionKind.QuickFix, diagnostics=[_diagnostic(place, diagnostic)],
        is_preferred=True, edit=types.WorkspaceEdit(changes={place.uri: text_edits}))
