"""An editor's view of an NCF text: its tokens, the extent of each block and
statement, and the conversions between the reader's positions (1-based line,
column counted in bytes of the UTF-8 text) and the editor's (0-based line,
column counted in characters).

The reader knows where each record begins; an editor also wants where it
ends, the word under the cursor and the section the cursor is in. This scan
answers those and never fails, whatever the text: it is a second, shallow
reading (tokens and braces only) that leaves every judgement to the reader.
"""

from __future__ import annotations

import bisect
import functools
import re

TYPE_CHECKING = False
if TYPE_CHECKING:
    from collections.abc import Iterator

# One alternative per token kind; anything else is one character of its own.
# Blanks stop at line breaks so that a lenient "#" line, which only counts
# at the start of a line, is seen with the break before it.
_TOKENS = r"""
    | (?P<space>[ \t\r\f\v]+|\n)
    | (?P<comment>//[^\n]*|/\*(?:[^*]|\*(?!/))*(?:\*/)?)
    | (?P<string>"(?:[^"\\]|\\.|\\\Z)*"?)
    | (?P<number>-?(?:0[xX][0-9A-Fa-f]*|[0-9]+(?:\.[0-9]*)?(?:[eE][+-]?[0-9]+)?))
    | (?P<word>[A-Za-z_][A-Za-z0-9_]*)
    | (?P<other>.)
"""
_TOKEN = re.compile("(?!)" + _TOKENS, re.VERBOSE | re.DOTALL)
_TOKEN_OR_HASH_LINE = re.compile(r"(?P<hash>(?:\A|\n)[ \t]*\#[^\n]*)" + _TOKENS, re.VERBOSE | re.DOTALL)


class Token:
    """One token: its kind ("word", "number", "string", "punct"), its text and
    where it lies, as offsets into the text (characters)."""

    __slots__ = ("kind", "text", "start", "end")

    def __init__(self, kind: str, text: str, start: int, end: int) -> None:
        self.kind = kind
        self.text = text
        self.start = start
        self.end = end

    def __repr__(self) -> str:
        return f"Token({self.kind}, {self.text!r}, {self.start}, {self.end})"


class Block:
    """A `{ ... }` and what stands before it: `header` holds the tokens from
    the end of the previous statement or block up to the brace (`node x`,
    `publish f`, `signals`, a signal's or an encoding's name)."""

    __slots__ = ("header", "open", "close", "parent", "children")

    def __init__(self, header: list[Token], open_index: int, parent: Block | None) -> None:
        self.header = header
        self.open = open_index  # index of the "{" token
        self.close: int | None = None  # index of the matching "}", None when the text ends first
        self.parent = parent
        self.children: list[Block] = []

    @property
    def keyword(self) -> str:
        """The first word of the header ("" for a block without one)."""
        return self.header[0].text if self.header and self.header[0].kind == "word" else ""


class Text:
    """The scan of one text."""

    def __init__(self, source: str, *, hash_comments: bool = False) -> None:
        self.source = source
        self._hash_comments = hash_comments
        self._line_starts = [0] + [match.end() for match in re.finditer("\n", source)]

    # The scan is made on the first question that needs it: the diagnostics
    # of a change, the most frequent thing asked, need only the line starts.

    @functools.cached_property
    def _scanned(self) -> tuple[list[Token], list[tuple[int, int]]]:
        comments: list[tuple[int, int]] = []
        return list(_scan(self.source, self._hash_comments, comments)), comments

    @property
    def tokens(self) -> list[Token]:
        return self._scanned[0]

    @property
    def comments(self) -> list[tuple[int, int]]:
        """The spans of the comments, in order."""
        return self._scanned[1]

    @functools.cached_property
    def _token_starts(self) -> list[int]:
        return [token.start for token in self.tokens]

    @functools.cached_property
    def _outline(self) -> Outline:
        return Outline(self.tokens)

    @property
    def blocks(self) -> list[Block]:
        """The outermost blocks."""
        return self._outline.blocks

    # -- positions ---------------------------------------------------------

    def line_count(self) -> int:
        return len(self._line_starts)

    def line_text(self, line: int) -> str:
        """The text of 0-based `line`, without its line break."""
        start = self._line_starts[line]
        end = self._line_starts[line + 1] - 1 if line + 1 < len(self._line_starts) else len(self.source)
        return self.source[start:end]

    def position(self, offset: int) -> tuple[int, int]:
        """(0-based line, character) of an offset."""
        offset = max(0, min(offset, len(self.source)))
        line = bisect.bisect_right(self._line_starts, offset) - 1
        return line, offset - self._line_starts[line]

    def offset(self, line: int, character: int) -> int:
        """The offset of (0-based line, character), clamped into the text and its line."""
        if line < 0:
            return 0
        if line >= len(self._line_starts):
            return len(self.source)
        return self._line_starts[line] + max(0, min(character, len(self.line_text(line))))

    def client_position(self, offset: int, encoding: str) -> tuple[int, int]:
        """(0-based line, column) of an offset in the client's units: "utf-16"
        code units (the protocol's default), "utf-8" bytes or "utf-32" characters."""
        line, character = self.position(offset)
        if encoding == "utf-32":
            return line, character
        before = self.source[self._line_starts[line]:self._line_starts[line] + character]
        return line, character if before.isascii() else _units(before, encoding)

    def client_offset(self, line: int, column: int, encoding: str) -> int:
        """The offset of a client's (0-based line, column in `encoding`'s
        units), clamped into the text; a column inside a character counts as
        that character."""
        if line < 0:
            return 0
        if line >= len(self._line_starts):
            return len(self.source)
        text = self.line_text(line)
        if encoding == "utf-32" or text.isascii():
            return self.offset(line, column)
        character, counted = 0, 0
        while character < len(text) and counted < column:
            counted += _units(text[character], encoding)
            character += 1
        return self._line_starts[line] + character

    def offset_of_reader_position(self, line: int, column: int) -> int:
        """The offset of the reader's (1-based line, 1-based column in bytes
        of the UTF-8 text): the columns of a line that is not ASCII count the
        bytes of each character."""
        if line < 1:
            return 0
        if line > len(self._line_starts):
            return len(self.source)
        text = self.line_text(line - 1)
        bytes_before = max(column - 1, 0)
        if text.isascii():
            character = min(bytes_before, len(text))
        else:
            character, counted = 0, 0
            while character < len(text) and counted < bytes_before:
                counted += _utf8_length(text[character])
                character += 1
        return self._line_starts[line - 1] + character

    # -- tokens ------------------------------------------------------------

    def token_index_at(self, offset: int) -> int | None:
        """The index of the token that holds `offset` or ends right at it (so
        that a cursor just after a word still finds the word)."""
        index = bisect.bisect_right(self._token_starts, offset) - 1
        if index >= 0 and offset <= self.tokens[index].end:
            return index
        return None

    def token_starting_at(self, offset: int) -> Token | None:
        index = bisect.bisect_left(self._token_starts, offset)
        if index < len(self.tokens) and self.tokens[index].start == offset:
            return self.tokens[index]
        return None

    def word_at(self, offset: int) -> Token | None:
        """The word or number under the cursor at `offset`, if any."""
        index = self.token_index_at(offset)
        if index is None:
            return None
        token = self.tokens[index]
        if token.kind in ("word", "number") and token.start <= offset <= token.end:
            return token
        # Between a punctuation mark and a word, the word.
        following = self.token_starting_at(offset)
        return following if following is not None and following.kind in ("word", "number") else None

    def span_at(self, offset: int) -> tuple[int, int]:
        """What an editor underlines for a problem found at `offset`: the
        token that begins there, else one character (none at a line's end)."""
        match = _TOKEN.match(self.source, offset)
        if match is None or match.lastgroup == "space":
            return offset, offset
        end = match.end()
        line_end = self.source.find("\n", offset)
        if line_end >= 0 and end > line_end:  # an unterminated string or a comment: to its line's end
            end = line_end
        return offset, end

    # -- extents -----------------------------------------------------------

    def extent_end(self, start: int) -> int | None:
        """Where the statement or block whose first token is at `start` ends
        (after its ";" or "}"); None when no statement or block begins there."""
        return self._outline.extent_ends.get(start)

    def block_starting_at(self, offset: int) -> Block | None:
        """The block whose header (or, without one, whose "{") begins at `offset`."""
        return self._outline.block_of_header.get(offset)

    def in_comment(self, offset: int) -> bool:
        """Whether `offset` lies inside a comment (after its first character)."""
        index = bisect.bisect_left(self.comments, (offset, offset)) - 1
        return index >= 0 and self.comments[index][0] < offset <= self.comments[index][1]

    def block_at(self, offset: int) -> Block | None:
        """The innermost block whose braces hold `offset`."""
        found, blocks = None, self.blocks
        while True:
            inner = next((block for block in blocks if self._inside(block, offset)), None)
            if inner is None:
                return found
            found, blocks = inner, inner.children

    def _inside(self, block: Block, offset: int) -> bool:
        if offset <= self.tokens[block.open].start:
            return False
        return block.close is None or offset <= self.tokens[block.close].start

    def statement_tokens_before(self, offset: int) -> list[Token]:
        """The tokens of the statement the cursor at `offset` is in, up to the
        cursor: those after the last ";", "{" or "}" before it."""
        index = bisect.bisect_left(self._token_starts, offset) - 1
        tokens: list[Token] = []
        while index >= 0 and self.tokens[index].text not in (";", "{", "}"):
            tokens.append(self.tokens[index])
            index -= 1
        tokens.reverse()
        return [token for token in tokens if token.end <= offset]




class Outline:
    """The braces of a text paired into blocks, and where each statement and
    block ends."""

    def __init__(self, tokens: list[Token]) -> None:
        self.blocks: list[Block] = []  # the outermost
        self.extent_ends: dict[int, int] = {}  # a statement's or block's first offset -> its end
        self.block_of_header: dict[int, Block] = {}  # a block's first offset -> the block
        stack: list[Block] = []
        statement_start: int | None = None
        for index, token in enumerate(tokens):
            if token.text == "{":
                header_start = statement_start if statement_start is not None else index
                parent = stack[-1] if stack else None
                block = Block(tokens[header_start:index], index, parent)
                (parent.children if parent else self.blocks).append(block)
                self.block_of_header[block.header[0].start if block.header else token.start] = block
                stack.append(block)
                statement_start = None
            elif token.text == "}":
                if stack:
                    block = stack.pop()
                    block.close = index
                    first = block.header[0].start if block.header else tokens[block.open].start
                    self.extent_ends[first] = token.end
                statement_start = None
            elif token.text == ";":
                if statement_start is not None:
                    self.extent_ends[tokens[statement_start].start] = token.end
                statement_start = None
            elif statement_start is None:
                statement_start = index


def _scan(source: str, hash_comments: bool, comments: list[tuple[int, int]]) -> Iterator[Token]:
    for match in (_TOKEN_OR_HASH_LINE if hash_comments else _TOKEN).finditer(source):
        kind = match.lastgroup
        if kind == "space":
            continue
        start, end = match.span()
        if kind == "comment":
            comments.append((start, end))
        elif kind == "hash":
            comments.append((source.index("#", start), end))
        else:
            yield Token("punct" if kind == "other" else kind or "punct", match.group(), start, end)


def _units(text: str, encoding: str) -> int:
    if encoding == "utf-8":
        return sum(_utf8_length(character) for character in text)
    return len(text) + sum(1 for character in text if ord(character) > 0xFFFF)


def _utf8_length(character: str) -> int:
    code = ord(character)
    return 1 if code < 0x80 else 2 if code < 0x800 else 3 if code < 0x10000 else 4
