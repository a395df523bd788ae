"""`tolvane show`, `json` and `trace`: the parsed tree of one file as text,
as JSON, and the parser's trace of its grammar rules."""

from __future__ import annotations

import os
import sys

import tolvane
from tolvane_cli.commandline import Argument, Command
from tolvane_cli.shared import (
    EXIT_CLEAN,
    format_diagnostic,
    lenient_argument,
    lenient_of,
    recovery_argument,
    make_parser,
    read_source,
    settings_arguments,
    settings_of,
)

TYPE_CHECKING = False
if TYPE_CHECKING:
    from tolvane_cli.commandline import Parsed

# Every record class of the module: the classes that name their fields.
RECORD_TYPES: tuple[type, ...] = tuple(
    value for value in vars(tolvane).values() if isinstance(value, type) and hasattr(value, "__match_args__")
)


def field_names(record_type: type) -> tuple[str, ...]:
    """The fields of a record class, in the order the module declares them."""
    names: tuple[str, ...] = getattr(record_type, "__match_args__")
    return names


def is_record(value: object) -> bool:
    return isinstance(value, RECORD_TYPES)


def _parsed(args: Parsed) -> tolvane.NcfParser:
    """The parser of FILE, read as the command line and the settings say;
    the trace shows the grammar's own reading, without recovery."""
    lenient = lenient_of(args, settings_of(args))
    recover = not getattr(args, "no_recovery", True)
    return make_parser(*read_source(args.file), lenient, recover)


# ---------------------------------------------------------------------------
# show
# ---------------------------------------------------------------------------


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


def run_show(args: Parsed) -> int:
    print("\n".join(show_lines(_parsed(args).parse())))
    return EXIT_CLEAN


# ---------------------------------------------------------------------------
# json
# ---------------------------------------------------------------------------


def run_json(args: Parsed) -> int:
    # The module writes the document from the records: the same bytes as
    # json.dumps(indent=2) of the to_dict() form, in a fraction of the time.
    parser = _parsed(args)
    ncf_file = parser.parse()
    sys.stdout.flush()
    out = getattr(sys.stdout, "buffer", None)
    if out is None:  # a text-only stream stands in for stdout
        chunks: list[bytes] = []
        tolvane._write_json_document(chunks.append, ncf_file, parser.get_diagnostics(), positions=args.positions)
        sys.stdout.write(b"".join(chunks).decode("ascii") + "\n")
    else:
        tolvane._write_json_document(out.write, ncf_file, parser.get_diagnostics(), positions=args.positions)
        out.write(b"\n")
    return EXIT_CLEAN


# ---------------------------------------------------------------------------
# trace
# ---------------------------------------------------------------------------


def flush_c_stdout() -> None:
    """Writes out what the extension has written to C's stdout and not yet
    flushed (the trace lines are written without a flush)."""
    try:
        import ctypes

        runtime = ctypes.CDLL(None) if os.name == "posix" else ctypes.CDLL("ucrtbase")
        runtime.fflush(None)
    except (ImportError, OSError, AttributeError):
        pass  # nothing to flush with; the trace still comes out at exit


def run_trace(args: Parsed) -> int:
    parser = _parsed(args)
    # The trace goes to the process's stdout, past Python's buffer: what
    # Python has buffered goes first, and the trace is out before the
    # diagnostics that follow it.
    sys.stdout.flush()
    parser.set_trace(True)
    parser.parse()
    flush_c_stdout()
    for diagnostic in parser.get_diagnostics():
        print(format_diagnostic(diagnostic))
    return EXIT_CLEAN


def _file_argument() -> Argument:
    return Argument("file", metavar="FILE", help='an NCF file, or "-" for standard input')


COMMANDS = (
    Command(
        "show",
        help="print the parsed tree, every field",
        description="Parse FILE and print its whole tree, every field of every record, one per line, "
        "indented by depth. Diagnostics are not shown: see check.",
        epilog="Exit status: 0 shown, 2 usage error or FILE cannot be read.",
        arguments=[_file_argument(), lenient_argument(), recovery_argument(), *settings_arguments()],
        run=run_show,
    ),
    Command(
        "json",
        help="print the parsed tree and the diagnostics as JSON",
        description='Parse FILE and print {"ncf_file": ..., "diagnostics": [...]} as JSON: every field '
        "of every record, keys in field order, null for absent values, severities by name.",
        epilog="Exit status: 0 printed, 2 usage error or FILE cannot be read.",
        arguments=[
            _file_argument(),
            Argument("--positions", action="store_true",
                     help='add "line" and "column" to every record read from the text: where its first token '
                     "stands"),
            lenient_argument(),
            recovery_argument(),
            *settings_arguments(),
        ],
        run=run_json,
    ),
    Command(
        "trace",
        help="print the parser's trace, then the diagnostics",
        description="Parse FILE with the trace on: one line for each grammar rule entered and left, "
        "with the token at that point, then the diagnostics as check prints them.",
        epilog="Exit status: 0 traced, 2 usage error or FILE cannot be read.",
        arguments=[_file_argument(), lenient_argument(), *settings_arguments()],
        run=run_trace,
    ),
)
