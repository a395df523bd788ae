"""The command line, declared once: each command module declares its
commands as `Command`s of `Argument`s; argparse is built from them, and the
common command lines are read straight from the same declarations without
building argparse (most of a short run's start-up time otherwise).

`main()` dispatches a command line to the command that runs it.
"""

from __future__ import annotations

import sys

import tolvane
from tolvane_cli.shared import EXIT_DIAGNOSTICS, EXIT_TROUBLE, CodecRefused, Unreadable, UsageError, complain

# What only the type checker reads: importing these at run time would cost a
# short `tolvane check` more than the check itself.
TYPE_CHECKING = False
if TYPE_CHECKING:
    import argparse
    from collections.abc import Callable, Sequence
    from typing import Any

# Every command, in the order --help lists them, and the module that declares
# and runs it. Only the module of the command given is imported.
COMMAND_MODULES = {
    "check": "check",
    "show": "tree",
    "json": "tree",
    "trace": "tree",
    "fmt": "fmt",
    "dump": "dump",
    "html": "html",
    "generate-c": "generate_c",
    "decode": "codec",
    "encode": "codec",
    "ldf": "ldf",
    "lsp": "lsp",
}

# The action of an option that has a --no- form (argparse's BooleanOptionalAction).
BOOLEAN = "boolean-optional"


class Argument:
    """One argument of a command: the flags (or the name of a positional
    argument) and the keywords argparse's add_argument() takes."""

    __slots__ = ("flags", "options")

    def __init__(self, *flags: str, **options: object) -> None:
        self.flags = flags
        self.options = options

    @property
    def positional(self) -> bool:
        return not self.flags[0].startswith("-")

    @property
    def dest(self) -> str:
        dest = self.options.get("dest")
        if isinstance(dest, str):
            return dest
        if self.positional:
            return self.flags[0]
        long = next((flag for flag in self.flags if flag.startswith("--")), self.flags[0])
        return long.lstrip("-").replace("-", "_")

    @property
    def action(self) -> object:
        return self.options.get("action", "store")

    def option_names(self) -> tuple[str, ...]:
        """Every spelling of an option, the --no- forms included."""
        if self.action == BOOLEAN:
            return self.flags + tuple("--no-" + flag[2:] for flag in self.flags if flag.startswith("--"))
        return self.flags

    def default(self) -> object:
        if self.action == "store_true":
            return self.options.get("default", False)
        default = self.options.get("default")
        return list(default) if isinstance(default, list) else default


class Command:
    """One command: its name, its texts for --help, its arguments and the
    function that runs it with what was read from the command line."""

    __slots__ = ("name", "help", "description", "epilog", "arguments", "run", "whole_words")

    def __init__(self, name: str, *, help: str, description: str, epilog: str,
                 arguments: Sequence[Argument], run: Callable[[Parsed], int], whole_words: bool = False) -> None:
        self.name = name
        self.help = help
        self.description = description
        self.epilog = epilog
        self.arguments = tuple(arguments)
        self.run = run
        self.whole_words = whole_words  # fill the texts without breaking words at hyphens (codes)


class Parsed:
    """What a command line gave: the command, and one attribute per argument
    named and valued as argparse's Namespace has them."""

    command: str

    def __getattr__(self, name: str) -> Any:  # only for the type checker: every argument is set
        raise AttributeError(name)


# ---------------------------------------------------------------------------
# The declarations
# ---------------------------------------------------------------------------


def declared_commands(names: Sequence[str] | None = None) -> list[Command]:
    """The commands `names`, in that order (default: all, in the order --help lists them)."""
    wanted = list(COMMAND_MODULES) if names is None else list(names)
    commands: dict[str, Command] = {}
    for module_name in dict.fromkeys(COMMAND_MODULES[name] for name in wanted):
        qualified = f"tolvane_cli.{module_name}"
        __import__(qualified)  # rather than importlib, which a short run would import for this alone
        for command in sys.modules[qualified].COMMANDS:
            commands[command.name] = command
    return [commands[name] for name in wanted]


# ---------------------------------------------------------------------------
# argparse, built from the declarations
# ---------------------------------------------------------------------------


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
        description="Check, show, export, trace and format LIN node capability files (NCF); draw, decode "
        "and encode their frames; make a cluster's LDF and a node's C code; serve editors.",
        epilog='A FILE of "-" reads standard input. Exit status: 0 done (check: no errors), '
        "1 check reported errors, 2 usage error or a file that cannot be read.",
    )
    parser.add_argument("--version", action="version", version=f"tolvane {tolvane.__version__}")
    subparsers = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")
    for command in declared_commands():
        formatter = WholeWordsHelpFormatter if command.whole_words else argparse.HelpFormatter
        sub = subparsers.add_parser(command.name, help=command.help, description=command.description,
                                    epilog=command.epilog, formatter_class=formatter)
        for argument in command.arguments:
            options = dict(argument.options)
            if options.get("action") == BOOLEAN:
                options["action"] = argparse.BooleanOptionalAction
            sub.add_argument(*argument.flags, **options)  # type: ignore[arg-type]
    return parser


# ---------------------------------------------------------------------------
# The quick reading of a command line
# ---------------------------------------------------------------------------


def _converted(argument: Argument, text: str) -> tuple[bool, object]:
    convert = argument.options.get("type")
    value: object = text
    if callable(convert):
        try:
            value = convert(text)
        except Exception:  # argparse words the error (or raises what it does not know)
            return False, None
    choices = argument.options.get("choices")
    if choices is not None and value not in choices:  # type: ignore[operator]
        return False, None
    return True, value


def _assign_positionals(arguments: Sequence[Argument], words: list[str], parsed: Parsed) -> bool:
    """Gives `words` to the positional arguments, fixed ones first and at
    most one of several values last, as argparse would; False when they do
    not fit (argparse then words the error)."""
    fixed = [argument for argument in arguments if argument.options.get("nargs") is None]
    variadic = [argument for argument in arguments if argument.options.get("nargs") is not None]
    if len(variadic) > 1 or (variadic and arguments[-1] is not variadic[0]):
        return False
    least = len(fixed) + (1 if variadic and variadic[0].options["nargs"] == "+" else 0)
    if len(words) < least or (not variadic and len(words) != len(fixed)):
        return False
    for argument, word in zip(fixed, words):
        accepted, value = _converted(argument, word)
        if not accepted:
            return False
        setattr(parsed, argument.dest, value)
    if variadic:
        rest = []
        for word in words[len(fixed):]:
            accepted, value = _converted(variadic[0], word)
            if not accepted:
                return False
            rest.append(value)
        setattr(parsed, variadic[0].dest, rest)
    return True


def quick_read(argv: Sequence[str]) -> Parsed | None:
    """The command line `argv` read from the command's declaration as
    argparse reads it, without building argparse; None for anything but the
    plain forms (exact option names, each value present and not starting
    with "-", the positional arguments in one run), which argparse then reads
    and, where they are wrong, words the error."""
    if not argv or argv[0] not in COMMAND_MODULES:
        return None
    command = declared_commands([argv[0]])[0]
    options = {name: argument for argument in command.arguments if not argument.positional
               for name in argument.option_names()}
    parsed = Parsed()
    parsed.command = command.name
    for argument in command.arguments:
        setattr(parsed, argument.dest, argument.default())
    words: list[str] = []
    words_ended = False
    remaining = iter(argv[1:])
    for word in remaining:
        if word == "-" or not word.startswith("-"):
            if words_ended and words:
                return None
            words.append(word)
            continue
        words_ended = bool(words)
        name, equals, inline = word.partition("=")
        option = options.get(name)
        if option is None:
            return None
        if option.action in ("store_true", BOOLEAN):
            if equals:
                return None
            # A flag spelt --no-... on its own (store_true) is set by it.
            setattr(parsed, option.dest, option.action == "store_true" or not name.startswith("--no-"))
            continue
        if option.action not in ("store", "append"):
            return None
        if equals:
            text = inline
        else:
            following = next(remaining, None)
            if following is None or following.startswith("-"):
                return None
            text = following
        accepted, value = _converted(option, text)
        if not accepted:
            return None
        if option.action == "append":
            getattr(parsed, option.dest).append(value)
        else:
            setattr(parsed, option.dest, value)
    positionals = [argument for argument in command.arguments if argument.positional]
    return parsed if _assign_positionals(positionals, words, parsed) else None


# ---------------------------------------------------------------------------
# The entry point
# ---------------------------------------------------------------------------


def _tolerate_unencodable_text() -> None:
    # Text from a file may hold characters the terminal's encoding lacks;
    # they are written as escapes rather than ending the command.
    import io

    for stream in (sys.stdout, sys.stderr):
        if isinstance(stream, io.TextIOWrapper):
            stream.reconfigure(errors="backslashreplace")


def parse_command_line(argv: Sequence[str]) -> Parsed | int:
    """What `argv` asks for, or the exit status when argparse ended it (after
    --help, --version or a usage error it reported)."""
    quick = quick_read(argv)
    if quick is not None:
        return quick
    try:
        namespace = build_argument_parser().parse_args(argv)
    except SystemExit as stop:
        return stop.code if isinstance(stop.code, int) else EXIT_TROUBLE
    parsed = Parsed()
    for name, value in vars(namespace).items():
        setattr(parsed, name, value)
    return parsed


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command line `argv` (default: sys.argv[1:]); returns the exit status."""
    args = parse_command_line(sys.argv[1:] if argv is None else list(argv))
    if isinstance(args, int):
        return args
    command = declared_commands([args.command])[0]
    _tolerate_unencodable_text()
    try:
        status = command.run(args)
        sys.stdout.flush()  # here, where a closed pipe can still be handled
        return status
    except (Unreadable, UsageError) as error:
        complain(str(error))
        return EXIT_TROUBLE
    except CodecRefused as error:
        complain(str(error))
        return EXIT_DIAGNOSTICS
    except BrokenPipeError:
        # The reader went away (`tolvane show FILE | head`): stop quietly, and
        # keep Python from failing again when it flushes stdout at exit.
        import os

        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        return 1
