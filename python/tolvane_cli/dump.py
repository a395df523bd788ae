"""`tolvane dump`: each frame's layout drawn in the terminal: which bits of
which data byte each signal takes."""

from __future__ import annotations

import sys

import tolvane
from tolvane_cli.commandline import Argument, Command
from tolvane_cli.shared import (
    EXIT_CLEAN,
    EXIT_DIAGNOSTICS,
    complain,
    format_diagnostic,
    lenient_argument,
    lenient_of,
    make_parser,
    read_source,
    recovery_argument,
    settings_arguments,
    settings_of,
    syntax_errors,
)

TYPE_CHECKING = False
if TYPE_CHECKING:
    from tolvane_cli.commandline import Parsed


def takes_utf8(stream: object) -> bool:
    """Whether a text stream writes UTF-8, which box-drawing characters need."""
    encoding = (getattr(stream, "encoding", None) or "").lower().replace("-", "").replace("_", "")
    return encoding in ("utf8", "utf8sig")


def shown(text: str) -> str:
    """A name as the terminal gets it: control characters as \\xNN, as the
    drawings show them."""
    return "".join(f"\\x{ord(c):02X}" if ord(c) < 0x20 or ord(c) == 0x7F else c for c in text)


def drawings(ncf_file: tolvane.NcfFile, node_name: str | None, frame_name: str | None,
             ascii: bool) -> tuple[list[str], list[str]]:
    """The text of each node and frame asked for, and what was asked for and
    not found."""
    nodes = [node for node in ncf_file.nodes if node_name is None or node.name == node_name]
    if node_name is not None and not nodes:
        return [], [f"no node {node_name!r}"]
    parts: list[str] = []
    for node in nodes:
        frames = [frame for frame in node.frames if frame_name is None or frame.name == frame_name]
        if frame_name is None or frames:
            parts.append(f"node {shown(node.name)}\n")
            parts += [tolvane.draw_frame(node, frame, ascii=ascii) for frame in frames]
    if frame_name is not None and not parts:
        return [], [f"no frame {frame_name!r}" + (f" in node {node_name!r}" if node_name else "")]
    return parts, []


def run_dump(args: Parsed) -> int:
    lenient = lenient_of(args, settings_of(args))
    name, content = read_source(args.file)
    parser = make_parser(name, content, lenient, not args.no_recovery)
    ncf_file = parser.parse()
    errors = syntax_errors(parser)
    for error in errors:  # what could not be read; the rest is drawn
        complain(format_diagnostic(error))
    ascii = args.ascii or not takes_utf8(sys.stdout)
    parts, missing = drawings(ncf_file, args.node, args.frame, ascii)
    text = "\n".join(parts)
    if ascii:  # names from the file may still hold what the terminal cannot show
        text = text.encode("ascii", "backslashreplace").decode("ascii")
    sys.stdout.write(text)
    for what in missing:
        complain(f"tolvane: {name}: {what}")
    return EXIT_DIAGNOSTICS if errors or missing else EXIT_CLEAN


COMMANDS = (
    Command(
        "dump",
        help="draw each frame's layout: the bits each signal takes",
        description="Draw the frames of FILE, node by node: each frame's kind, name and length, then one row "
        "per data byte, bit 7 at the left and bit 0 at the right, each bit marked with the mark of the "
        "signal that takes it (> before a signal's first bit, ! where signals overlap, # for the identifier "
        "byte of an event-triggered frame, a dot where no signal is); one line per signal (name, offset, "
        "size, initial value, encoding); the value lines of the encodings the signals use. Box-drawing "
        "characters when standard output takes UTF-8, ASCII otherwise. A file with syntax errors is read "
        "on past each fault and what was read is drawn; the errors go to standard error.",
        epilog="Exit status: 0 drawn, 1 the file has syntax errors or has no such node or frame, 2 usage "
        "error, wrong settings or a file that cannot be read.",
        arguments=[
            Argument("file", metavar="FILE", help='an NCF file, or "-" for standard input'),
            Argument("--node", metavar="NAME", help="only the node NAME"),
            Argument("--frame", metavar="NAME", help="only the frames named NAME"),
            Argument("--ascii", action="store_true", help="draw with ASCII characters only"),
            lenient_argument(),
            recovery_argument(),
            *settings_arguments(),
        ],
        run=run_dump,
    ),
)
