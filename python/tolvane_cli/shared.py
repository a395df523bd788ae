"""What the commands share: exit statuses, reading sources, printing
diagnostics, and the arguments every command that reads NCF takes."""

from __future__ import annotations

import os
import sys

import tolvane

TYPE_CHECKING = False
if TYPE_CHECKING:
    from collections.abc import Sequence

    from tolvane_cli.commandline import Argument, Parsed
    from tolvane_cli.settings import Settings

STDIN_NAME = "<stdin>"

# Exit statuses of every command.
EXIT_CLEAN = 0  # no errors (check), or the output was written (show, json, trace)
EXIT_DIAGNOSTICS = 1  # check: an error was reported (or a warning, with --werror)
EXIT_TROUBLE = 2  # a usage error, a file that cannot be read, or settings that are wrong

# An empty text would make the parser read the file of that name instead. A
# byte-order mark alone parses exactly like empty input and is not empty.
BYTE_ORDER_MARK = b"\xef\xbb\xbf"
_EMPTY_INPUT = BYTE_ORDER_MARK

# Severities by name, most severe first, with the word check prints for each.
SEVERITY_WORDS = {"Error": "error", "Warning": "warning", "Info": "info"}


class Unreadable(Exception):
    """A file named on the command line that cannot be read."""

    def __init__(self, path: str, error: OSError) -> None:
        reason = error.strerror or str(error)
        super().__init__(f"tolvane: cannot read {path}: {reason}")


class UsageError(Exception):
    """A command line or settings that name what does not exist (an unknown
    code, key or file); the message is worded for stderr."""


class CodecRefused(Exception):
    """A frame, values or data the codec cannot use; the message says why."""


def read_source(path: str) -> tuple[str, bytes]:
    """The name to report and the bytes of `path` ("-" is standard input)."""
    try:
        if path == "-":
            return STDIN_NAME, sys.stdin.buffer.read()
        with open(path, "rb") as stream:
            return path, stream.read()
    except OSError as error:
        raise Unreadable(path, error) from error


def make_parser(name: str, content: bytes, lenient: bool = False, recover: bool = False) -> tolvane.NcfParser:
    # The bytes are read here rather than by the parser, so that every failure
    # to read (a missing file, a directory, standard input) is told apart and
    # named; the parser gets the text and the name for its diagnostics.
    return tolvane.NcfParser(os.fsencode(name), content or _EMPTY_INPUT, lenient=lenient, recover=recover)


def position(diagnostic: tolvane.Diagnostic) -> tuple[int, int]:
    return diagnostic.line, diagnostic.column


def syntax_errors(parser: tolvane.NcfParser) -> list[tolvane.Diagnostic]:
    """The errors of a parse, in the order of their places."""
    return [d for d in sorted(parser.get_diagnostics(), key=position) if d.severity == tolvane.Diagnostic.Error]


def format_diagnostic(diagnostic: tolvane.Diagnostic) -> str:
    """FILE:LINE:COLUMN: SEVERITY: MESSAGE [CODE], as compilers and linters write it."""
    severity = diagnostic.severity.name.lower()
    return (
        f"{diagnostic.file}:{diagnostic.line}:{diagnostic.column}: {severity}: "
        f"{diagnostic.message} [{diagnostic.code}]"
    )


def plural(count: int, noun: str) -> str:
    return f"{count} {noun}" if count == 1 else f"{count} {noun}s"


def complain(message: str) -> None:
    sys.stdout.flush()  # keep the order of the two streams on a terminal
    print(message, file=sys.stderr)


# ---------------------------------------------------------------------------
# Colour
# ---------------------------------------------------------------------------

_SEVERITY_COLOURS = {"Error": "1;31", "Warning": "1;33", "Info": "1;36"}


def colour_wanted(stream: object) -> bool:
    """Whether to colour what goes to `stream`: NO_COLOR (set and not empty)
    says no, FORCE_COLOR (set and not empty) says yes, else only a terminal
    that is not dumb."""
    if os.environ.get("NO_COLOR"):
        return False
    if os.environ.get("FORCE_COLOR"):
        return True
    if os.environ.get("TERM") == "dumb":
        return False
    isatty = getattr(stream, "isatty", None)
    return bool(isatty and isatty())


def coloured_diagnostic(diagnostic: tolvane.Diagnostic) -> str:
    """format_diagnostic() with the file name in bold, the severity in its
    colour and the code dimmed."""
    severity = diagnostic.severity.name
    return (
        f"\033[1m{diagnostic.file}\033[0m:{diagnostic.line}:{diagnostic.column}: "
        f"\033[{_SEVERITY_COLOURS[severity]}m{SEVERITY_WORDS[severity]}\033[0m: "
        f"{diagnostic.message} \033[2m[{diagnostic.code}]\033[0m"
    )


# ---------------------------------------------------------------------------
# Arguments that every command reading NCF takes, and the project settings
# ---------------------------------------------------------------------------


def lenient_argument() -> Argument:
    """--lenient, or --no-lenient over a setting lenient = true."""
    from tolvane_cli.commandline import BOOLEAN, Argument

    return Argument("--lenient", action=BOOLEAN,
                    help="also read older (LIN 2.0, J2602) and vendor constructs, each reported as a "
                    "dialect-... warning (default: the setting lenient, else off)")


def recovery_argument() -> Argument:
    """--no-recovery: the reading that does not recover from syntax errors."""
    from tolvane_cli.commandline import Argument

    return Argument("--no-recovery", action="store_true",
                    help="read without recovering from syntax errors: each grammar rule reports what it "
                    "expected, and a token between nodes ends the reading (default: one error per fault, "
                    "and reading goes on after it)")


def settings_arguments() -> list[Argument]:
    """--config and --isolated: where the settings come from."""
    from tolvane_cli.commandline import Argument

    return [
        Argument("--config", metavar="PATH",
                 help="read the settings from PATH (a pyproject.toml's [tool.tolvane], or a tolvane.toml) "
                 "instead of the nearest one above the current directory"),
        Argument("--isolated", action="store_true", help="read no settings file"),
    ]


def refuse_config_with_isolated(args: Parsed) -> None:
    if args.config is not None and args.isolated:
        raise UsageError("tolvane: --config and --isolated exclude each other")


def settings_of(args: Parsed) -> Settings:
    """The project settings the command line asks for."""
    from tolvane_cli.settings import find_settings

    refuse_config_with_isolated(args)
    return find_settings(args.config, isolated=args.isolated, codes=tuple(tolvane.rules()))


def lenient_of(args: Parsed, settings: Settings) -> bool:
    """--lenient or --no-lenient when given, else the setting."""
    return settings.lenient if args.lenient is None else bool(args.lenient)


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


def write_output(path: str, text: bytes) -> None:
    """Writes `text` to `path` through a new file beside it that replaces it,
    keeping its permissions, so that an interrupted write leaves the old
    file whole."""
    import tempfile

    folder = os.path.dirname(os.path.abspath(path))
    mode = None
    try:
        mode = os.stat(path).st_mode & 0o7777
    except FileNotFoundError:
        pass
    descriptor, temporary = tempfile.mkstemp(prefix=os.path.basename(path) + ".", suffix=".tmp", dir=folder)
    try:
        with os.fdopen(descriptor, "wb") as stream:
            stream.write(text)
        if mode is not None:
            os.chmod(temporary, mode)
        else:  # as a file made by open(), under the umask
            umask = os.umask(0)
            os.umask(umask)
            os.chmod(temporary, 0o666 & ~umask)
        os.replace(temporary, path)
    except BaseException:
        os.unlink(temporary)
        raise
