"""One open document as the language server knows it: the text's scan, the
tree and diagnostics of the recovering reading, and an index of every name
that is defined or used, with where it stands.

Everything here works in the server's units (offsets and 0-based lines and
characters of the Python string); the server converts to the client's
position encoding at the edge.
"""

from __future__ import annotations

import bisect
import functools

import tolvane
from tolvane_cli.lsp.language import NAMED_BLOCKS, SECTION_STATEMENTS
from tolvane_cli.lsp.text import Text

TYPE_CHECKING = False
if TYPE_CHECKING:
    from collections.abc import Callable, Iterator

    from tolvane_cli.lsp.text import Block


class Occurrence:
    """A name where it stands: the definition of a node, frame, signal or
    encoding, or a use of one (a signal's encoding, a frame's
    event-triggered frame, the signals of status_management)."""

    __slots__ = ("kind", "node", "name", "start", "end", "is_definition", "record")

    def __init__(self, kind: str, node: int, name: str, start: int, end: int, is_definition: bool,
                 record: object) -> None:
        self.kind = kind  # "node", "frame", "signal" or "encoding"
        self.node = node  # index of the node it belongs to
        self.name = name
        self.start = start
        self.end = end
        self.is_definition = is_definition
        self.record = record  # the record that defines or uses the name

    @property
    def key(self) -> tuple[str, int, str]:
        return self.kind, self.node, self.name


class Options:
    """What the project's settings say about reading and reporting a document."""

    __slots__ = ("lenient", "keeps")

    def __init__(self, lenient: bool = False, keeps: Callable[[str], bool] | None = None) -> None:
        self.lenient = lenient
        self.keeps = keeps or (lambda code: True)


class Document:
    """The analysis of one version of a document's text."""

    def __init__(self, name: str, source: str, options: Options | None = None) -> None:
        self.options = options or Options()
        self.name = name
        self.source = source
        self.text = Text(source, hash_comments=self.options.lenient)
        # Lone surrogates (which JSON can carry) reach the reader as the bytes
        # they would be, which it reports as it reports any byte it cannot read.
        self.content = source.encode("utf-8", "surrogatepass")
        self.ncf, diagnostics = tolvane.check(name, self.content, lenient=self.options.lenient, recover=True)
        self.has_syntax_errors = any(
            diagnostic.code == "syntax" and diagnostic.severity == tolvane.Diagnostic.Error
            for diagnostic in diagnostics)
        self.all_diagnostics = diagnostics
        self.diagnostics = [diagnostic for diagnostic in diagnostics if self.options.keeps(diagnostic.code)]

    @functools.cached_property
    def occurrences(self) -> list[Occurrence]:
        """Every name defined or used, in the order of the text (built on the
        first request that needs it: diagnostics alone do not)."""
        return sorted(self._index(), key=lambda occurrence: occurrence.start)

    @functools.cached_property
    def _starts(self) -> list[int]:
        return [occurrence.start for occurrence in self.occurrences]

    # -- positions ---------------------------------------------------------

    def offset_of(self, where: tuple[int, int] | None) -> int | None:
        """The offset of a reader's (line, column), None for a place the text did not give."""
        if where is None or where[0] == 0:
            return None
        return self.text.offset_of_reader_position(*where)

    def name_span(self, where: tuple[int, int] | None, name: str) -> tuple[int, int] | None:
        """The span of the name read at the reader's position `where`."""
        start = self.offset_of(where)
        if start is None:
            return None
        if self.source.startswith(name, start):
            return start, start + len(name)
        return start, max(self.text.span_at(start)[1], start)

    def record_span(self, record: object) -> tuple[int, int] | None:
        """From a record's first token to the end of its statement or block."""
        start = self.offset_of((getattr(record, "line", 0), getattr(record, "column", 0)))
        if start is None:
            return None
        end = self.text.extent_end(start)
        if end is None:
            token = self.text.token_starting_at(start)
            end = token.end if token is not None else start
        return start, end

    # -- names -------------------------------------------------------------

    def _index(self) -> Iterator[Occurrence]:
        for index, node in enumerate(self.ncf.nodes):
            yield from self.occurrences_in_node(index, node)

    def occurrences_in_node(self, index: int, node: tolvane.NcfNodeDef) -> Iterator[Occurrence]:
        """The names node `index` defines and uses, in the order of the tree
        (what a finding about one node needs, without the whole index)."""
        yield from self._occurrence("node", index, node.name, node.position_of("name"), True, node)
        for frame in node.frames:
            yield from self._occurrence("frame", index, frame.name, frame.position_of("name"), True, frame)
            carrier = frame.properties.event_triggered_frame
            if carrier is not None:
                yield from self._occurrence("frame", index, carrier,
                                            frame.properties.position_of("event_triggered_frame"), False, frame)
            for signal in frame.signals:
                yield from self._occurrence("signal", index, signal.name, signal.position_of("name"), True, signal)
                encoding = signal.properties.encoding_name
                if encoding is not None:
                    yield from self._occurrence("encoding", index, encoding,
                                                signal.properties.position_of("encoding_name"), False, signal)
        for entry in node.encodings:
            yield from self._occurrence("encoding", index, entry.name, entry.position_of("name"), True, entry)
        status = node.status
        if status.response_error:
            yield from self._occurrence("signal", index, status.response_error,
                                        status.position_of("response_error"), False, status)
        for item, name in enumerate(status.fault_state_signals):
            yield from self._occurrence("signal", index, name, status.position_of("fault_state_signals", item),
                                        False, status)

    def _occurrence(self, kind: str, node: int, name: str, where: tuple[int, int] | None, is_definition: bool,
                    record: object) -> Iterator[Occurrence]:
        span = self.name_span(where, name)
        if span is not None:
            yield Occurrence(kind, node, name, span[0], span[1], is_definition, record)

    def occurrence_at(self, offset: int) -> Occurrence | None:
        """The name under the cursor (the cursor may stand just after it)."""
        index = bisect.bisect_right(self._starts, offset) - 1
        if index >= 0 and self.occurrences[index].start <= offset <= self.occurrences[index].end:
            return self.occurrences[index]
        return None

    def occurrences_of(self, key: tuple[str, int, str]) -> list[Occurrence]:
        return [occurrence for occurrence in self.occurrences if occurrence.key == key]

    def definitions_of(self, key: tuple[str, int, str]) -> list[Occurrence]:
        return [occurrence for occurrence in self.occurrences_of(key) if occurrence.is_definition]

    def node_at_line(self, line: int) -> int | None:
        """The index of the last node that begins at or before the reader's `line`."""
        lines = [node.line for node in self.ncf.nodes]
        index = bisect.bisect_right(lines, line) - 1
        return index if index >= 0 else None

    def node_at(self, offset: int) -> int | None:
        """The index of the node the cursor at `offset` is in (the last that begins before it)."""
        return self.node_at_line(self.text.position(offset)[0] + 1)

    # -- sections ----------------------------------------------------------

    def section_at(self, offset: int) -> str | None:
        """The section the cursor is in, named as SECTION_STATEMENTS names it;
        None inside a block no section holds (a string, support_sid's list)."""
        return section_of(self.text.block_at(offset))


def section_of(block: Block | None) -> str | None:
    if block is None:
        return ""
    parent = section_of(block.parent) if block.parent is not None else ""
    if parent in NAMED_BLOCKS:
        return NAMED_BLOCKS[parent]
    keyword = block.keyword
    if keyword == "node" and parent == "":
        return "node"
    return keyword if keyword in SECTION_STATEMENTS and keyword != "" else None
