"""The tolvane command: check, show, export and trace NCF files.

    tolvane check FILE...   diagnostics as FILE:LINE:COLUMN: error: MESSAGE
    tolvane show FILE       the parsed tree, every field, indented
    tolvane json FILE       the parsed tree and the diagnostics as JSON
    tolvane trace FILE      the parser's trace of grammar rules, then the diagnostics

A FILE of "-" reads standard input. Also runs as `python3.14 -m tolvane_cli`.
to_dict() here is tolvane.to_dict(), kept under this name for callers that
import it from here.
"""

from __future__ import annotations

import argparse
import io
import json
import os
import sys
from collections.abc import Sequence

import tolvane

__all__ = ["main", "to_dict"]

# Every record class of the module: the classes that name their fields.
RECORD_TYPES: tuple[type, ...] = tuple(
    value for value in vars(tolvane).values() if isinstance(value, type) and hasattr(value, "__match_args__")
)

STDIN_NAME = "<stdin>"

# Exit statuses of every command.
EXIT_CLEAN = 0  # no diagnostics (check), or the output was written (show, json, trace)
EXIT_DIAGNOSTICS = 1  # check: some file has diagnostics
EXIT_TROUBLE = 2  # a usage error or a file that cannot be read

# An empty text would make the parser read the file of that name instead. A
# byte-order mark alone parses exactly like empty input and is not empty.
_EMPTY_INPUT = b"\xef\xbb\xbf"


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


def make_parser(name: str, content: bytes) -> tolvane.NcfParser:
    # The bytes are read here rather than by the parser, so that every failure
    # to read (a missing file, a directory, standard input) is told apart and
    # named; the parser gets the text and the name for its diagnostics.
    return tolvane.NcfParser(os.fsencode(name), content or _EMPTY_INPUT)


def format_diagnostic(diagnostic: tolvane.Diagnostic) -> str:
    severity = diagnostic.severity.name.lower()
    return f"{diagnostic.file}:{diagnostic.line}:{diagnostic.column}: {severity}: {diagnostic.message}"


def _plural(count: int, noun: str) -> str:
    return f"{count} {noun}" if count == 1 else f"{count} {noun}s"


def _complain(message: str) -> None:
    sys.stdout.flush()  # keep the order of the two streams on a terminal
    print(message, file=sys.stderr)


# ---------------------------------------------------------------------------
# Commands
# ---------------------------------------------------------------------------


def command_check(paths: Sequence[str]) -> int:
    checked = with_diagnostics = diagnostic_count = unreadable = 0
    for path in paths:
        try:
            name, content = read_source(path)
        except Unreadable as error:
            _complain(str(error))
            unreadable += 1
            continue
        parser = make_parser(name, content)
        parser.parse()
        diagnostics = parser.get_diagnostics()
        for diagnostic in diagnostics:
            print(format_diagnostic(diagnostic))
        checked += 1
        diagnostic_count += len(diagnostics)
        with_diagnostics += bool(diagnostics)

    summary = f"{_plural(checked, 'file')} checked: "
    if diagnostic_count:
        summary += f"{_plural(diagnostic_count, 'diagnostic')} in {_plural(with_diagnostics, 'file')}"
    else:
        summary += "no diagnostics"
    if unreadable:
        summary += f"; {_plural(unreadable, 'file')} unreadable"
    print(summary)
    if unreadable:
        return EXIT_TROUBLE
    return EXIT_DIAGNOSTICS if diagnostic_count else EXIT_CLEAN


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


def command_show(path: str) -> int:
    parser = make_parser(*read_source(path))
    print("\n".join(show_lines(parser.parse())))
    return EXIT_CLEAN


def command_json(path: str, positions: bool) -> int:
    parser = make_parser(*read_source(path))
    document = {
        "ncf_file": to_dict(parser.parse(), positions=positions),
        "diagnostics": [to_dict(diagnostic) for diagnostic in parser.get_diagnostics()],
    }
    sys.stdout.write(json.dumps(document, indent=2) + "\n")
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


def command_trace(path: str) -> int:
    parser = make_parser(*read_source(path))
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
# Command line
# ---------------------------------------------------------------------------


def build_argument_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="tolvane",
        description="Check, show, export and trace LIN node capability files (NCF).",
        epilog='A FILE of "-" reads standard input. Exit status: 0 done (check: no diagnostics), '
        "1 check found diagnostics, 2 usage error or a file that cannot be read.",
    )
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")

    check = commands.add_parser(
        "check",
        help="report every diagnostic of each file",
        description="Parse each FILE and print every diagnostic as FILE:LINE:COLUMN: error: MESSAGE, "
        "then a one-line summary. A file that cannot be read is reported on standard error "
        "and the other files are still checked.",
        epilog="Exit status: 0 no file has a diagnostic, 1 some file has, "
        "2 usage error or a file that cannot be read.",
    )
    check.add_argument("files", nargs="+", metavar="FILE", help='an NCF file, or "-" for standard input')

    show = commands.add_parser(
        "show",
        help="print the parsed tree, every field",
        description="Parse FILE and print its whole tree, every field of every record, one per line, "
        "indented by depth. Diagnostics are not shown: see check.",
        epilog="Exit status: 0 shown, 2 usage error or FILE cannot be read.",
    )
    show.add_argument("file", metavar="FILE", help='an NCF file, or "-" for standard input')

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

    trace = commands.add_parser(
        "trace",
        help="print the parser's trace, then the diagnostics",
        description="Parse FILE with the trace on: one line for each grammar rule entered and left, "
        "with the token at that point, then the diagnostics as check prints them.",
        epilog="Exit status: 0 traced, 2 usage error or FILE cannot be read.",
    )
    trace.add_argument("file", metavar="FILE", help='an NCF file, or "-" for standard input')
    return parser


def _tolerate_unencodable_text() -> None:
    # Text from a file may hold characters the terminal's encoding lacks;
    # they are written as escapes rather than ending the command.
    for stream in (sys.stdout, sys.stderr):
        if isinstance(stream, io.TextIOWrapper):
            stream.reconfigure(errors="backslashreplace")


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command line `argv` (default: sys.argv[1:]); returns the exit status."""
    try:
        args = build_argument_parser().parse_args(argv)
    except SystemExit as stop:  # after --help, or a usage error already reported
        return stop.code if isinstance(stop.code, int) else EXIT_TROUBLE
    _tolerate_unencodable_text()
    try:
        if args.command == "check":
            status = command_check(args.files)
        elif args.command == "show":
            status = command_show(args.file)
        elif args.command == "json":
            status = command_json(args.file, args.positions)
        else:
            status = command_trace(args.file)
        sys.stdout.flush()  # here, where a closed pipe can still be handled
        return status
    except Unreadable as error:
        _complain(str(error))
        return EXIT_TROUBLE
    except BrokenPipeError:
        # The reader went away (`tolvane show FILE | head`): stop quietly, and
        # keep Python from failing again when it flushes stdout at exit.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        return 1


if __name__ == "__main__":
    sys.exit(main())
