"""The tolvane command: check, show, export, trace and format NCF files; decode and encode frames.

    tolvane check FILE...   parse and validate; diagnostics as
                            FILE:LINE:COLUMN: SEVERITY: MESSAGE [CODE]
                            (--select, --ignore, --werror, --syntax-only,
                            --format text|json|sarif)
    tolvane show FILE       the parsed tree, every field, indented
    tolvane json FILE       the parsed tree and the diagnostics as JSON
    tolvane trace FILE      the parser's trace of grammar rules, then the diagnostics
    tolvane fmt FILE...     the canonical NCF text (--in-place, --check, --from-json)
    tolvane decode FILE FRAME HEX...        a frame's data bytes, signal by signal
    tolvane encode FILE FRAME NAME=VALUE... signal values to a frame's data bytes

A FILE of "-" reads standard input. Also runs as `python3.14 -m tolvane_cli`.
to_dict() here is tolvane.to_dict(), kept under this name for callers that
import it from here.
"""

from __future__ import annotations

import os
import sys

import tolvane

# What only the type checker reads: importing these at run time would cost a
# short `tolvane check` more than the check itself.
TYPE_CHECKING = False
if TYPE_CHECKING:
    import argparse
    from collections.abc import Callable, Sequence

# argparse, json, re and the others are imported where they are used, so
# that a plain `tolvane check FILE` starts about as fast as the interpreter.

__all__ = ["main", "to_dict"]

# Every record class of the module: the classes that name their fields.
RECORD_TYPES: tuple[type, ...] = tuple(
    value for value in vars(tolvane).values() if isinstance(value, type) and hasattr(value, "__match_args__")
)

STDIN_NAME = "<stdin>"

# Exit statuses of every command.
EXIT_CLEAN = 0  # no errors (check), or the output was written (show, json, trace)
EXIT_DIAGNOSTICS = 1  # check: an error was reported (or a warning, with --werror)
EXIT_TROUBLE = 2  # a usage error or a file that cannot be read

# An empty text would make the parser read the file of that name instead. A
# byte-order mark alone parses exactly like empty input and is not empty.
_BYTE_ORDER_MARK = b"\xef\xbb\xbf"
_EMPTY_INPUT = _BYTE_ORDER_MARK

# Severities by name, most severe first, with the word check prints for each.
SEVERITY_WORDS = {"Error": "error", "Warning": "warning", "Info": "info"}
SARIF_LEVELS = {"Error": "error", "Warning": "warning", "Info": "note"}
SARIF_SCHEMA = "https://json.schemastore.org/sarif-2.1.0.json"


# ---------------------------------------------------------------------------
# Records as plain values
# ---------------------------------------------------------------------------


def field_names(record_type: type) -> tuple[str, ...]:
    """The fields of a record class, in the order the module declares them."""
    names: tuple[str, ...] = getattr(record_type, "__match_args__")
    return names


def is_record(value: object) -> bool:
    return isinstance(value, RECORD_TYPES)


to_dict = tolvane.to_dict


# ---------------------------------------------------------------------------
# Input and parsing
# ---------------------------------------------------------------------------


class Unreadable(Exception):
    """A file named on the command line that cannot be read."""

    def __init__(self, path: str, error: OSError) -> None:
        reason = error.strerror or str(error)
        super().__init__(f"tolvane: cannot read {path}: {reason}")


def read_source(path: str) -> tuple[str, bytes]:
    """The name to report and the bytes of `path` ("-" is standard input)."""
    try:
        if path == "-":
            return STDIN_NAME, sys.stdin.buffer.read()
        with open(path, "rb") as stream:
            return path, stream.read()
    except OSError as error:
        raise Unreadable(path, error) from error


def make_parser(name: str, content: bytes, lenient: bool = False) -> tolvane.NcfParser:
    # The bytes are read here rather than by the parser, so that every failure
    # to read (a missing file, a directory, standard input) is told apart and
    # named; the parser gets the text and the name for its diagnostics.
    return tolvane.NcfParser(os.fsencode(name), content or _EMPTY_INPUT, lenient=lenient)


def format_diagnostic(diagnostic: tolvane.Diagnostic) -> str:
    """FILE:LINE:COLUMN: SEVERITY: MESSAGE [CODE], as compilers and linters write it."""
    severity = diagnostic.severity.name.lower()
    return (
        f"{diagnostic.file}:{diagnostic.line}:{diagnostic.column}: {severity}: "
        f"{diagnostic.message} [{diagnostic.code}]"
    )


def _plural(count: int, noun: str) -> str:
    return f"{count} {noun}" if count == 1 else f"{count} {noun}s"


def _complain(message: str) -> None:
    sys.stdout.flush()  # keep the order of the two streams on a terminal
    print(message, file=sys.stderr)


# ---------------------------------------------------------------------------
# check: choosing diagnostics
# ---------------------------------------------------------------------------


class UsageError(Exception):
    """A command line that names what does not exist (an unknown code)."""


def code_patterns(option: str, values: Sequence[str], codes: Sequence[str]) -> tuple[str, ...]:
    """The items of every VALUE of `option`, split at commas. An item stands
    for each code it starts (``nad`` for nad, nad-range, ...); one that starts
    no code of `codes` is a usage error. Empty items (a trailing comma) are
    skipped."""
    patterns = tuple(item for value in values for item in (part.strip() for part in value.split(",")) if item)
    for pattern in patterns:
        if not any(code.startswith(pattern) for code in codes):
            raise UsageError(f"tolvane: {option}: unknown code {pattern!r}")
    return patterns


class CodeFilter:
    """--select keeps only the codes it names (all when empty), then --ignore drops the codes it names."""

    __slots__ = ("select", "ignore")

    def __init__(self, select: tuple[str, ...] = (), ignore: tuple[str, ...] = ()) -> None:
        self.select = select
        self.ignore = ignore

    def keeps(self, code: str) -> bool:
        if self.select and not code.startswith(self.select):
            return False
        return not code.startswith(self.ignore)


def _position(diagnostic: tolvane.Diagnostic) -> tuple[int, int]:
    return diagnostic.line, diagnostic.column


def file_diagnostics(name: str, content: bytes, syntax_only: bool, lenient: bool = False) -> list[tolvane.Diagnostic]:
    """Every diagnostic of one file in the order of their positions: the
    parser's alone with `syntax_only`, else the parser's and the validator's."""
    if syntax_only:
        parser = make_parser(name, content, lenient)
        parser.parse()
        # A stable sort: diagnostics at one position keep the parser's order.
        return sorted(parser.get_diagnostics(), key=_position)
    _, diagnostics = tolvane.check(os.fsencode(name), content, lenient=lenient)
    return list(diagnostics)


class CheckedFile:
    __slots__ = ("name", "content", "diagnostics")

    def __init__(self, name: str, content: bytes, diagnostics: list[tolvane.Diagnostic]) -> None:
        self.name = name
        self.content = content  # kept for SARIF's character columns only; empty otherwise
        self.diagnostics = diagnostics


# ---------------------------------------------------------------------------
# check: the text summary and SARIF
# ---------------------------------------------------------------------------


def summary_line(files: Sequence[CheckedFile], unreadable: int) -> str:
    """`N files checked: 3 errors, 1 warning in 1 file`, only the severities
    that occur; `no diagnostics` when none; then any unreadable files."""
    counts = dict.fromkeys(SEVERITY_WORDS, 0)
    for checked in files:
        for diagnostic in checked.diagnostics:
            counts[diagnostic.severity.name] += 1
    summary = f"{_plural(len(files), 'file')} checked: "
    if any(counts.values()):
        by_severity = ", ".join(_plural(counts[name], word) for name, word in SEVERITY_WORDS.items() if counts[name])
        with_diagnostics = sum(1 for checked in files if checked.diagnostics)
        summary += f"{by_severity} in {_plural(with_diagnostics, 'file')}"
    else:
        summary += "no diagnostics"
    if unreadable:
        summary += f"; {_plural(unreadable, 'file')} unreadable"
    return summary


def artifact_uri(name: str) -> str:
    """A file name as a relative URI reference: forward slashes, every other
    reserved or non-ASCII byte percent-encoded (undecodable names included)."""
    import urllib.parse

    return urllib.parse.quote(os.fsencode(name.replace(os.sep, "/")))


def character_columns(content: bytes) -> Callable[[int, int], int]:
    """A function from a diagnostic's (line, byte column) in `content` to the
    column in characters of the same place. A byte that is not part of valid
    UTF-8 counts as one character; on lines of ASCII the two are the same."""
    if content.isascii():
        return lambda line, column: column
    lines = content.split(b"\n")

    def convert(line: int, column: int) -> int:
        if not 1 <= line <= len(lines) or column < 1:
            return column
        text = lines[line - 1]
        if line == 1:
            text = text.removeprefix(_BYTE_ORDER_MARK)  # the parser's columns start after it
        if text.isascii():
            return column
        # The parser gives a carriage return between tokens no column (one in a
        # string or a comment, which this does not tell apart, it does give one).
        before = text.replace(b"\r", b"")[: column - 1]
        characters = len(before.decode("utf-8", "surrogateescape"))
        return characters + (column - 1 - len(before)) + 1  # a column past the end of the line

    return convert


def sarif_log(files: Sequence[CheckedFile], rules: dict[str, str]) -> dict[str, object]:
    """The SARIF 2.1.0 log of one run over `files`: every code as a rule, every diagnostic as a result."""
    rule_index = {code: index for index, code in enumerate(rules)}
    results = []
    for checked in files:
        uri = artifact_uri(checked.name)
        to_characters = character_columns(checked.content)
        for diagnostic in checked.diagnostics:
            result: dict[str, object] = {"ruleId": diagnostic.code}
            if diagnostic.code in rule_index:
                result["ruleIndex"] = rule_index[diagnostic.code]
            result["level"] = SARIF_LEVELS[diagnostic.severity.name]
            result["message"] = {"text": diagnostic.message}
            location: dict[str, object] = {"artifactLocation": {"uri": uri}}
            if diagnostic.line > 0:  # line 0: the file as a whole
                region: dict[str, int] = {"startLine": diagnostic.line}
                if diagnostic.column > 0:
                    region["startColumn"] = to_characters(diagnostic.line, diagnostic.column)
                location["region"] = region
            result["locations"] = [{"physicalLocation": location}]
            results.append(result)
    driver = {
        "name": "tolvane",
        "rules": [{"id": code, "shortDescription": {"text": text}} for code, text in rules.items()],
    }
    run = {"tool": {"driver": driver}, "columnKind": "unicodeCodePoints", "results": results}
    return {"$schema": SARIF_SCHEMA, "version": "2.1.0", "runs": [run]}


# ---------------------------------------------------------------------------
# Commands
# ---------------------------------------------------------------------------


class CheckOptions:
    __slots__ = ("codes", "werror", "syntax_only", "output", "lenient")

    def __init__(self, codes: CodeFilter | None = None, werror: bool = False, syntax_only: bool = False,
                 output: str = "text", lenient: bool = False) -> None:
        self.codes = codes or CodeFilter()
        self.werror = werror
        self.syntax_only = syntax_only
        self.output = output  # text, json or sarif
        self.lenient = lenient


def command_check(paths: Sequence[str], options: CheckOptions | None = None) -> int:
    options = options or CheckOptions()
    files: list[CheckedFile] = []
    unreadable = 0
    for path in paths:
        try:
            name, content = read_source(path)
        except Unreadable as error:
            _complain(str(error))
            unreadable += 1
            continue
        diagnostics = [
            diagnostic
            for diagnostic in file_diagnostics(name, content, options.syntax_only, options.lenient)
            if options.codes.keeps(diagnostic.code)
        ]
        if options.output == "text":  # as each file is done, in step with the complaints on stderr
            for diagnostic in diagnostics:
                print(format_diagnostic(diagnostic))
        files.append(CheckedFile(name, content if options.output == "sarif" else b"", diagnostics))

    if options.output == "text":
        print(summary_line(files, unreadable))
    elif options.output == "json":
        document = [to_dict(diagnostic) for checked in files for diagnostic in checked.diagnostics]
        import json

        sys.stdout.write(json.dumps(document, indent=2) + "\n")
    else:
        import json

        sys.stdout.write(json.dumps(sarif_log(files, tolvane.rules()), indent=2) + "\n")

    if unreadable:
        return EXIT_TROUBLE
    failing = {"Error", "Warning"} if options.werror else {"Error"}
    reported = {diagnostic.severity.name for checked in files for diagnostic in checked.diagnostics}
    return EXIT_DIAGNOSTICS if reported & failing else EXIT_CLEAN


def _show_value(value: object) -> str:
    if isinstance(value, tolvane.Diagnostic.Severity):
        return value.name
    return repr(value)


def show_lines(record: object, indent: int = 0) -> list[str]:
    """Every field of `record` and of the records below it, one per line:
    `name = value` for values, `name: Class` for a record, whose fields follow
    one level deeper, and `name[i]: Class` for each record of a list."""
    pad = "  " * (indent + 1)
    lines = [type(record).__name__] if indent == 0 else []
    for name in field_names(type(record)):
        value = getattr(record, name)
        if is_record(value):
            lines.append(f"{pad}{name}: {type(value).__name__}")
            lines += show_lines(value, indent + 1)
        elif isinstance(value, list) and value and is_record(value[0]):
            for index, item in enumerate(value):
                lines.append(f"{pad}{name}[{index}]: {type(item).__name__}")
                lines += show_lines(item, indent + 1)
        else:
            lines.append(f"{pad}{name} = {_show_value(value)}")
    return lines


def command_show(path: str, lenient: bool = False) -> int:
    parser = make_parser(*read_source(path), lenient)
    print("\n".join(show_lines(parser.parse())))
    return EXIT_CLEAN


def command_json(path: str, positions: bool, lenient: bool = False) -> int:
    # The module writes the document from the records: the same bytes as
    # json.dumps(indent=2) of the to_dict() form, in a fraction of the time.
    parser = make_parser(*read_source(path), lenient)
    ncf_file = parser.parse()
    sys.stdout.flush()
    out = getattr(sys.stdout, "buffer", None)
    if out is None:  # a text-only stream stands in for stdout
        chunks: list[bytes] = []
        tolvane._write_json_document(chunks.append, ncf_file, parser.get_diagnostics(), positions=positions)
        sys.stdout.write(b"".join(chunks).decode("ascii") + "\n")
    else:
        tolvane._write_json_document(out.write, ncf_file, parser.get_diagnostics(), positions=positions)
        out.write(b"\n")
    return EXIT_CLEAN


def _flush_c_stdout() -> None:
    """Writes out what the extension has written to C's stdout and not yet
    flushed (the trace lines are written without a flush)."""
    try:
        import ctypes

        runtime = ctypes.CDLL(None) if os.name == "posix" else ctypes.CDLL("ucrtbase")
        runtime.fflush(None)
    except (ImportError, OSError, AttributeError):
        pass  # nothing to flush with; the trace still comes out at exit


def command_trace(path: str, lenient: bool = False) -> int:
    parser = make_parser(*read_source(path), lenient)
    # The trace goes to the process's stdout, past Python's buffer: what
    # Python has buffered goes first, and the trace is out before the
    # diagnostics that follow it.
    sys.stdout.flush()
    parser.set_trace(True)
    parser.parse()
    _flush_c_stdout()
    for diagnostic in parser.get_diagnostics():
        print(format_diagnostic(diagnostic))
    return EXIT_CLEAN


# ---------------------------------------------------------------------------
# fmt
# ---------------------------------------------------------------------------

# A string literal (with backslash pairs, maybe cut off by the end of input)
# or the start of a comment: the first kind is skipped, the second found.
_STRING_OR_COMMENT = rb'"(?:\\.|[^"\\])*"?|(//|/\*)'


def has_comments(content: bytes) -> bool:
    """Whether the text holds a comment, which the tree, and so fmt, does not keep."""
    import re

    return any(match.group(1) for match in re.finditer(_STRING_OR_COMMENT, content, re.S))


class NotFormatted(Exception):
    """A file fmt leaves as it is, with the reason (already worded for stderr)."""


# What the lenient reading skips: the canonical text cannot hold it, so a
# rewrite in place would lose it.
_NOT_KEPT_CODES = frozenset({
    "dialect-message-id", "dialect-event-triggered-message-id", "dialect-frame-id",
    "dialect-response-tolerance", "dialect-foreign-block",
})


def canonical_text(name: str, content: bytes, lenient: bool = False) -> tuple[tolvane.NcfFile, bytes, list[tolvane.Diagnostic]]:
    """The tree, the canonical text and the lenient reading's warnings of one
    NCF file; NotFormatted when it has syntax errors (whose text the tree does
    not hold) or cannot be written."""
    parser = make_parser(name, content, lenient)
    ncf_file = parser.parse()
    diagnostics = sorted(parser.get_diagnostics(), key=_position)
    if any(diagnostic.severity == tolvane.Diagnostic.Error for diagnostic in diagnostics):
        lines = [format_diagnostic(diagnostic) for diagnostic in diagnostics]
        raise NotFormatted("\n".join(lines + [f"tolvane: {name}: not formatted: it has syntax errors"]))
    try:
        return ncf_file, tolvane.dumps(ncf_file), diagnostics
    except ValueError as error:
        raise NotFormatted(f"tolvane: {name}: not formatted: {error}") from error


def text_from_json(name: str, content: bytes) -> bytes:
    """The NCF text that a `tolvane json` document (or its "ncf_file" part) describes."""
    import json

    try:
        document = json.loads(content)
    except (ValueError, UnicodeDecodeError) as error:
        raise NotFormatted(f"tolvane: {name}: not a JSON document: {error}") from error
    if isinstance(document, dict) and "ncf_file" in document:
        document = document["ncf_file"]
    try:
        return tolvane.dumps(document)
    except (ValueError, TypeError) as error:
        raise NotFormatted(f"tolvane: {name}: {error}") from error


class FmtOptions:
    __slots__ = ("in_place", "check", "from_json", "drop_comments", "lenient")

    def __init__(self, in_place: bool = False, check: bool = False, from_json: bool = False,
                 drop_comments: bool = False, lenient: bool = False) -> None:
        self.in_place = in_place
        self.check = check
        self.from_json = from_json
        self.drop_comments = drop_comments
        self.lenient = lenient


def fmt_usage_problem(paths: Sequence[str], options: FmtOptions) -> str | None:
    if options.in_place and options.check:
        return "tolvane: fmt: --in-place and --check exclude each other"
    if options.from_json and (options.in_place or options.check):
        return "tolvane: fmt: --from-json writes to standard output only"
    if options.in_place and "-" in paths:
        return "tolvane: fmt: --in-place cannot rewrite standard input"
    if options.from_json and options.lenient:
        return "tolvane: fmt: --lenient reads NCF text, not --from-json documents"
    if not (options.in_place or options.check) and len(paths) != 1:
        return "tolvane: fmt: one FILE to write to standard output (or --in-place, --check)"
    return None


def command_fmt(paths: Sequence[str], options: FmtOptions) -> int:
    if problem := fmt_usage_problem(paths, options):
        raise UsageError(problem)
    status = EXIT_CLEAN
    unreadable = False
    for path in paths:
        try:
            name, content = read_source(path)
        except Unreadable as error:
            _complain(str(error))
            unreadable = True
            continue
        try:
            ncf_file = None
            warnings: list[tolvane.Diagnostic] = []
            if options.from_json:
                text = text_from_json(name, content)
            else:
                ncf_file, text, warnings = canonical_text(name, content, options.lenient)
            for warning in warnings:  # what the lenient reading made of the file, and what it left out
                _complain(format_diagnostic(warning))
            if options.check:
                if text != content:
                    print(f"would reformat {name}")
                    status = EXIT_DIAGNOSTICS
            elif options.in_place:
                if text != content:
                    codes = {warning.code for warning in warnings}
                    if codes & _NOT_KEPT_CODES:
                        raise NotFormatted(f"tolvane: {name}: not formatted in place: the lenient reading skipped "
                                           "statements or blocks that the canonical text cannot hold (see the "
                                           "warnings); write it to standard output to migrate it")
                    commented = has_comments(content) or "dialect-hash-comment" in codes
                    if commented and not options.drop_comments:
                        raise NotFormatted(f"tolvane: {name}: not formatted: it has comments, which the "
                                           "canonical text does not keep (--drop-comments rewrites it anyway)")
                    assert ncf_file is not None  # --in-place excludes --from-json
                    tolvane.dump(ncf_file, os.fsencode(path))
            else:
                sys.stdout.flush()
                sys.stdout.buffer.write(text)
        except NotFormatted as error:
            _complain(str(error))
            status = EXIT_DIAGNOSTICS
        except OSError as error:
            _complain(f"tolvane: cannot write {path}: {error.strerror or error}")
            unreadable = True
    return EXIT_TROUBLE if unreadable else status


# ---------------------------------------------------------------------------
# decode and encode: frames on the bus
# ---------------------------------------------------------------------------


class CodecRefused(Exception):
    """A frame, values or data the codec cannot use; the message says why."""


def parsed_node(path: str, node_name: str | None, lenient: bool = False) -> tolvane.NcfNodeDef:
    """The node of FILE that --node names, or its only node. A file with
    syntax errors is refused: its tree may lack what the bytes need."""
    parser = make_parser(*read_source(path), lenient)
    ncf_file = parser.parse()
    errors = [d for d in parser.get_diagnostics() if d.severity == tolvane.Diagnostic.Error]
    if errors:
        for diagnostic in errors:
            _complain(format_diagnostic(diagnostic))
        raise CodecRefused(f"tolvane: {path} has syntax errors: fix them first")
    names = [node.name for node in ncf_file.nodes]
    if node_name is None:
        if len(names) != 1:
            raise UsageError(f"tolvane: {path} has {len(names)} nodes: choose one with --node ({', '.join(names)})"
                             if names else f"tolvane: {path} has no node")
        return ncf_file.nodes[0]
    if node_name not in names:
        raise UsageError(f"tolvane: {path} has no node {node_name!r} (it has {', '.join(names) or 'none'})")
    return ncf_file.nodes[names.index(node_name)]


_HEX_SEPARATORS = r"[\s:,-]+"


def data_from_hex(words: Sequence[str]) -> bytes:
    """Data bytes written in hex: "0001282211", "00 01 28", "00:01",
    "0x00 0x01", in one argument or several."""
    import re

    tokens = re.split(_HEX_SEPARATORS, " ".join(words))
    digits = "".join(token[2:] if token[:2] in ("0x", "0X") else token for token in tokens)
    try:
        return bytes.fromhex(digits)
    except ValueError:
        raise UsageError(f"tolvane: {' '.join(words)!r} is not data bytes in hex (two digits a byte)") from None


def hex_bytes(data: bytes) -> str:
    return data.hex(" ")


def _text(value: str) -> str:
    import json

    return json.dumps(value, ensure_ascii=False)


def decoded_line(name: str, decoded: tolvane.DecodedSignal, size: int) -> str:
    """name = value unit (raw 0x..): texts in double quotes, byte arrays as
    a list of bytes, the raw value in hex."""
    value = decoded.value
    if isinstance(value, str):
        shown = _text(value)
    elif isinstance(value, bytes):
        shown = "[" + ", ".join(f"0x{byte:02x}" for byte in value) + "]"
    else:
        shown = repr(value)
    if decoded.unit:
        shown += " " + decoded.unit
    raw = decoded.raw
    raw_text = hex_bytes(raw) if isinstance(raw, bytes) else f"0x{raw:0{(size + 3) // 4}x}"
    return f"{name} = {shown} (raw {raw_text})"


def command_decode(path: str, frame: str, words: Sequence[str], node_name: str | None,
                   lenient: bool = False) -> int:
    node = parsed_node(path, node_name, lenient)
    data = data_from_hex(words)
    try:
        decoded = tolvane.decode(node, frame, data)
    except tolvane.CodecError as error:
        raise CodecRefused(f"tolvane: {error}") from None
    signals = next(f for f in node.frames if f.name == frame).signals
    for signal, (name, value) in zip(signals, decoded.items()):
        print(decoded_line(name, value, signal.properties.size))
    return EXIT_CLEAN


_INT = r"[+-]?(0[xX][0-9a-fA-F]+|0[bB][01]+|\d+)"


def _int(text: str) -> int:
    """An int of _INT: 0x.. and 0b.. by their prefix, others decimal (010 is ten)."""
    prefixed = text.lstrip("+-")[:2].lower() in ("0x", "0b")
    return int(text, 0) if prefixed else int(text, 10)


def value_from_text(text: str) -> int | float | str | list[int]:
    """A value of `encode` from the command line: an int (decimal, 0x..,
    0b..), a float, a list of bytes "[0x22, 0x11]", or else a text; a text in
    double quotes is always a text ("1" is the text 1)."""
    import re

    stripped = text.strip()
    if re.fullmatch(_INT, stripped):
        return _int(stripped)
    if len(stripped) >= 2 and stripped[0] == stripped[-1] == '"':
        return stripped[1:-1]
    if stripped.startswith("[") and stripped.endswith("]"):
        items = [item for item in re.split(_HEX_SEPARATORS, stripped[1:-1]) if item]
        if all(re.fullmatch(_INT, item) for item in items):
            return [_int(item) for item in items]
    try:
        return float(stripped)
    except ValueError:
        return text


def encode_values(assignments: Sequence[str]) -> dict[str, int | float | str | list[int]]:
    values: dict[str, int | float | str | list[int]] = {}
    for assignment in assignments:
        name, equals, text = assignment.partition("=")
        if not equals or not name.strip():
            raise UsageError(f"tolvane: {assignment!r} is not NAME=VALUE")
        if name.strip() in values:
            raise UsageError(f"tolvane: signal {name.strip()!r} is given twice")
        values[name.strip()] = value_from_text(text)
    return values


def command_encode(path: str, frame: str, assignments: Sequence[str], node_name: str | None,
                   unused_bits: int, lenient: bool = False) -> int:
    node = parsed_node(path, node_name, lenient)
    values = encode_values(assignments)
    try:
        data = tolvane.encode(node, frame, values, unused_bits=unused_bits)
    except tolvane.CodecError as error:
        raise CodecRefused(f"tolvane: {error}") from None
    print(hex_bytes(data))
    return EXIT_CLEAN


# ---------------------------------------------------------------------------
# Command line
# ---------------------------------------------------------------------------


def add_frame_arguments(command: argparse.ArgumentParser) -> None:
    """FILE, FRAME and --node, which decode and encode share."""
    command.add_argument("file", metavar="FILE", help='an NCF file, or "-" for standard input')
    command.add_argument("frame", metavar="FRAME", help="the name of one of the node's frames")
    command.add_argument("--node", metavar="NAME", help="the node, when FILE has several")
    add_lenient_argument(command)


def add_lenient_argument(command: argparse.ArgumentParser) -> None:
    command.add_argument(
        "--lenient",
        action="store_true",
        help="also read older (LIN 2.0, J2602) and vendor constructs, each reported as a dialect-... warning",
    )


def build_argument_parser() -> argparse.ArgumentParser:
    import argparse
    import textwrap

    class WholeWordsHelpFormatter(argparse.HelpFormatter):
        """Fills the description and epilog as usual, without breaking a line
        at a hyphen: the codes listed there are read and copied whole."""

        def _fill_text(self, text: str, width: int, indent: str) -> str:
            return textwrap.fill(" ".join(text.split()), width, initial_indent=indent, subsequent_indent=indent,
                                 break_on_hyphens=False)

    parser = argparse.ArgumentParser(
        prog="tolvane",
        description="Check, show, export, trace and format LIN node capability files (NCF); decode and "
        "encode their frames.",
        epilog='A FILE of "-" reads standard input. Exit status: 0 done (check: no errors), '
        "1 check reported errors, 2 usage error or a file that cannot be read.",
    )
    parser.add_argument("--version", action="version", version=f"tolvane {tolvane.__version__}")
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")

    check = commands.add_parser(
        "check",
        formatter_class=WholeWordsHelpFormatter,
        help="parse and validate each file, report every diagnostic",
        description="Parse and validate each FILE and print every diagnostic as "
        "FILE:LINE:COLUMN: SEVERITY: MESSAGE [CODE], SEVERITY being error, warning or info and CODE "
        "syntax for the parser's diagnostics or the code of the rule, in the order of their "
        "positions; then a one-line summary with the counts by severity. A file that cannot be "
        "read is reported on standard error and the other files are still checked.",
        epilog="A CODE of --select and --ignore is a code or the start of codes (nad: nad, nad-range, "
        "...); both take comma-separated codes and may be repeated; they apply to the output, the "
        "summary and the exit status alike. The codes: " + ", ".join(tolvane.rules()) + ". "
        "Exit status: 0 no errors (warnings and infos do not count, warnings do with --werror), "
        "1 an error was reported, 2 usage error or a file that cannot be read.",
    )
    check.add_argument("files", nargs="+", metavar="FILE", help='an NCF file, or "-" for standard input')
    check.add_argument(
        "--select",
        action="append",
        default=[],
        metavar="CODE,...",
        help="report only the diagnostics of these codes",
    )
    check.add_argument(
        "--ignore",
        action="append",
        default=[],
        metavar="CODE,...",
        help="leave out the diagnostics of these codes (after --select)",
    )
    check.add_argument("--werror", action="store_true", help="let warnings, too, make the exit status 1")
    check.add_argument(
        "--syntax-only",
        action="store_true",
        help="parse only: the parser's diagnostics (code syntax), no validation",
    )
    check.add_argument(
        "--format",
        choices=("text", "json", "sarif"),
        default="text",
        help="text: a line per diagnostic, then the summary (the default); json: every "
        "diagnostic's fields in one JSON list; sarif: a SARIF 2.1.0 log. No summary with json and sarif",
    )
    add_lenient_argument(check)

    show = commands.add_parser(
        "show",
        help="print the parsed tree, every field",
        description="Parse FILE and print its whole tree, every field of every record, one per line, "
        "indented by depth. Diagnostics are not shown: see check.",
        epilog="Exit status: 0 shown, 2 usage error or FILE cannot be read.",
    )
    show.add_argument("file", metavar="FILE", help='an NCF file, or "-" for standard input')
    add_lenient_argument(show)

    export = commands.add_parser(
        "json",
        help="print the parsed tree and the diagnostics as JSON",
        description='Parse FILE and print {"ncf_file": ..., "diagnostics": [...]} as JSON: every field '
        "of every record, keys in field order, null for absent values, severities by name.",
        epilog="Exit status: 0 printed, 2 usage error or FILE cannot be read.",
    )
    export.add_argument("file", metavar="FILE", help='an NCF file, or "-" for standard input')
    export.add_argument(
        "--positions",
        action="store_true",
        help='add "line" and "column" to every record read from the text: where its first token stands',
    )
    add_lenient_argument(export)

    trace = commands.add_parser(
        "trace",
        help="print the parser's trace, then the diagnostics",
        description="Parse FILE with the trace on: one line for each grammar rule entered and left, "
        "with the token at that point, then the diagnostics as check prints them.",
        epilog="Exit status: 0 traced, 2 usage error or FILE cannot be read.",
    )
    trace.add_argument("file", metavar="FILE", help='an NCF file, or "-" for standard input')
    add_lenient_argument(trace)

    fmt = commands.add_parser(
        "fmt",
        help="write the canonical text of NCF files",
        description="Write the canonical text of FILE to standard output: the sections and the statements "
        "present in the order the grammar reads them, one statement per line, 4 spaces a level, lists in "
        "their order. It reads back as the same tree; comments are not part of the tree and are not kept. "
        "A file with syntax errors is not formatted: its diagnostics are shown.",
        epilog="Exit status: 0 written (--check: every file is canonical), 1 a file has syntax errors, "
        "cannot be written or (--check) would change, 2 usage error or a file that cannot be read.",
    )
    fmt.add_argument("files", nargs="+", metavar="FILE", help='an NCF file, or "-" for standard input')
    fmt.add_argument("--in-place", action="store_true",
                     help="rewrite each FILE that is not canonical (through a new file that replaces it)")
    fmt.add_argument("--check", action="store_true",
                     help="change nothing; list the files that would change and exit 1 if any would")
    fmt.add_argument("--from-json", action="store_true",
                     help="FILE is a document of the json command: write the NCF it describes")
    fmt.add_argument("--drop-comments", action="store_true",
                     help="with --in-place, rewrite files that have comments too (they are lost)")
    add_lenient_argument(fmt)

    decode = commands.add_parser(
        "decode",
        help="decode a frame's data bytes through the node's encodings",
        description="Decode the data bytes HEX of frame FRAME of the node in FILE and print one line per "
        "signal: NAME = VALUE UNIT (raw 0x..). VALUE is a physical value, a logical text or ASCII text "
        "in double quotes, a BCD number, or the raw value when no line of the signal's encoding covers "
        "it.",
        epilog="HEX: two hex digits a byte, in one argument or several, spaces or colons between bytes "
        "allowed. Exit status: 0 decoded, 1 FILE has syntax errors or the frame cannot be decoded "
        "(unusable layout, an undefined encoding, data of another length), 2 usage error or FILE cannot "
        "be read.",
    )
    add_frame_arguments(decode)
    decode.add_argument("hex", nargs="+", metavar="HEX", help="the frame's data bytes in hex")

    encode = commands.add_parser(
        "encode",
        help="encode signal values into a frame's data bytes",
        description="Encode the values NAME=VALUE of signals of frame FRAME of the node in FILE through "
        "the node's encodings and print the data bytes in hex. A signal not given takes its initial "
        "value.",
        epilog='VALUE: an int (42, 0x2A, 0b101010), a float (20.5: a physical value), a list of bytes '
        '([0x22, 0x11]: a byte array), or a text (a logical text or ASCII; in double quotes, "1" is '
        "a text). Exit status: 0 encoded, 1 FILE has syntax errors or a value cannot be encoded, "
        "2 usage error or FILE cannot be read.",
    )
    add_frame_arguments(encode)
    encode.add_argument("values", nargs="*", metavar="NAME=VALUE", help="a signal's value")
    encode.add_argument("--unused-bits", type=int, choices=(0, 1), default=0,
                        help="the value of the bits no signal uses (default 0)")
    return parser


def _tolerate_unencodable_text() -> None:
    # Text from a file may hold characters the terminal's encoding lacks;
    # they are written as escapes rather than ending the command.
    import io

    for stream in (sys.stdout, sys.stderr):
        if isinstance(stream, io.TextIOWrapper):
            stream.reconfigure(errors="backslashreplace")


class QuickCheck:
    """A `check` command line read without argparse: the files and the raw
    option values, as argparse would have read them."""

    __slots__ = ("files", "select", "ignore", "werror", "syntax_only", "format", "lenient")

    def __init__(self) -> None:
        self.files: list[str] = []
        self.select: list[str] = []
        self.ignore: list[str] = []
        self.werror = False
        self.syntax_only = False
        self.format = "text"
        self.lenient = False


_QUICK_FLAGS = ("--werror", "--syntax-only", "--lenient")
_QUICK_VALUES = ("--select", "--ignore", "--format")


def quick_check(argv: Sequence[str]) -> QuickCheck | None:
    """The common `check` command line, read the way argparse reads it but
    without building argparse (most of a short check's start-up time): only
    exact option names, each value present, the files in one run. Anything
    else (--help, an abbreviation, a misspelling, no FILE, files on both
    sides of an option) gives None, and argparse reads it and words the
    error."""
    if not argv or argv[0] != "check":
        return None
    read = QuickCheck()
    files_ended = False
    arguments = iter(argv[1:])
    for argument in arguments:
        if argument == "-" or not argument.startswith("-"):
            if files_ended and read.files:
                return None
            read.files.append(argument)
            continue
        files_ended = bool(read.files)
        if argument in _QUICK_FLAGS:
            setattr(read, argument[2:].replace("-", "_"), True)
            continue
        name, equals, value = argument.partition("=")
        if name not in _QUICK_VALUES:
            return None
        if not equals:
            value = next(arguments, "-")
            if value.startswith("-"):  # argparse takes it for an option: "expected one argument"
                return None
        if name == "--format":
            if value not in ("text", "json", "sarif"):
                return None
            read.format = value
        else:
            (read.select if name == "--select" else read.ignore).append(value)
    return read if read.files else None


def check_options(args: argparse.Namespace | QuickCheck) -> CheckOptions:
    codes = list(tolvane.rules())
    return CheckOptions(
        codes=CodeFilter(code_patterns("--select", args.select, codes), code_patterns("--ignore", args.ignore, codes)),
        werror=args.werror,
        syntax_only=args.syntax_only,
        output=args.format,
        lenient=args.lenient,
    )


def run_command(args: argparse.Namespace) -> int:
    if args.command == "check":
        return command_check(args.files, check_options(args))
    if args.command == "show":
        return command_show(args.file, args.lenient)
    if args.command == "json":
        return command_json(args.file, args.positions, args.lenient)
    if args.command == "decode":
        return command_decode(args.file, args.frame, args.hex, args.node, args.lenient)
    if args.command == "encode":
        return command_encode(args.file, args.frame, args.values, args.node, args.unused_bits, args.lenient)
    if args.command == "fmt":
        return command_fmt(args.files, FmtOptions(args.in_place, args.check, args.from_json, args.drop_comments,
                                                  args.lenient))
    return command_trace(args.file, args.lenient)


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command line `argv` (default: sys.argv[1:]); returns the exit status."""
    arguments = sys.argv[1:] if argv is None else list(argv)
    quick = quick_check(arguments)
    if quick is not None:
        command: Callable[[], int] = lambda: command_check(quick.files, check_options(quick))
    else:
        try:
            args = build_argument_parser().parse_args(arguments)
        except SystemExit as stop:  # after --help, or a usage error already reported
            return stop.code if isinstance(stop.code, int) else EXIT_TROUBLE
        command = lambda: run_command(args)
    _tolerate_unencodable_text()
    try:
        status = command()
        sys.stdout.flush()  # here, where a closed pipe can still be handled
        return status
    except (Unreadable, UsageError) as error:
        _complain(str(error))
        return EXIT_TROUBLE
    except CodecRefused as error:
        _complain(str(error))
        return EXIT_DIAGNOSTICS
    except BrokenPipeError:
        # The reader went away (`tolvane show FILE | head`): stop quietly, and
        # keep Python from failing again when it flushes stdout at exit.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        return 1

