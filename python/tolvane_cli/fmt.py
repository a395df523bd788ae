"""`tolvane fmt`: the canonical text of NCF files, written out, checked or
put in place of the files."""

from __future__ import annotations

import os
import sys

import tolvane
from tolvane_cli.commandline import Argument, Command
from tolvane_cli.discovery import Discovery
from tolvane_cli.shared import (
    EXIT_CLEAN,
    EXIT_DIAGNOSTICS,
    EXIT_TROUBLE,
    Unreadable,
    UsageError,
    complain,
    format_diagnostic,
    lenient_argument,
    lenient_of,
    make_parser,
    position,
    read_source,
    settings_arguments,
    settings_of,
    write_output,
)

TYPE_CHECKING = False
if TYPE_CHECKING:
    from collections.abc import Sequence

    from tolvane_cli.commandline import Parsed

class NotFormatted(Exception):
    """A file fmt leaves as it is, with the reason (already worded for stderr)."""


# What the lenient reading skips: the canonical text cannot hold it, so a
# rewrite in place would lose it.
NOT_KEPT_CODES = frozenset({
    "dialect-message-id", "dialect-event-triggered-message-id", "dialect-frame-id",
    "dialect-response-tolerance", "dialect-foreign-block",
})


def canonical_text(name: str, content: bytes, lenient: bool = False,
                   drop_comments: bool = False) -> tuple[tolvane.NcfFile, bytes, list[tolvane.Diagnostic]]:
    """The tree, the canonical text (with the file's comments in place, unless
    dropped) and the lenient reading's warnings of one NCF file; NotFormatted
    when it has syntax errors (whose text the tree does not hold) or cannot
    be written."""
    parser = make_parser(name, content, lenient)
    ncf_file = parser.parse()
    diagnostics = sorted(parser.get_diagnostics(), key=position)
    if any(diagnostic.severity == tolvane.Diagnostic.Error for diagnostic in diagnostics):
        lines = [format_diagnostic(diagnostic) for diagnostic in diagnostics]
        raise NotFormatted("\n".join(lines + [f"tolvane: {name}: not formatted: it has syntax errors"]))
    try:
        text = tolvane.dumps(ncf_file) if drop_comments else tolvane.format_text(content, lenient=lenient)
        return ncf_file, text, diagnostics
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


def fmt_usage_problem(args: Parsed, lenient: bool) -> str | None:
    paths: Sequence[str] = args.files
    if args.in_place and args.check:
        return "tolvane: fmt: --in-place and --check exclude each other"
    if args.from_json and (args.in_place or args.check):
        return "tolvane: fmt: --from-json writes to standard output only"
    if args.in_place and "-" in paths:
        return "tolvane: fmt: --in-place cannot rewrite standard input"
    if args.from_json and lenient:
        return "tolvane: fmt: --lenient reads NCF text, not --from-json documents"
    if not (args.in_place or args.check) and (len(paths) != 1 or os.path.isdir(paths[0])):
        return "tolvane: fmt: one FILE to write to standard output (or --in-place, --check)"
    return None


def _rewrite_in_place(path: str, name: str, text: bytes, warnings: list[tolvane.Diagnostic]) -> None:
    if {warning.code for warning in warnings} & NOT_KEPT_CODES:
        raise NotFormatted(f"tolvane: {name}: not formatted in place: the lenient reading skipped "
                           "statements or blocks that the canonical text cannot hold (see the "
                           "warnings); write it to standard output to migrate it")
    write_output(path, text)


def _format_one(path: str, args: Parsed, lenient: bool) -> int:
    """Formats one file as the options say; its exit status."""
    name, content = read_source(path)
    warnings: list[tolvane.Diagnostic] = []
    if args.from_json:
        text = text_from_json(name, content)
    else:
        _, text, warnings = canonical_text(name, content, lenient, args.drop_comments)
    for warning in warnings:  # what the lenient reading made of the file, and what it left out
        complain(format_diagnostic(warning))
    if args.check:
        if text != content:
            print(f"would reformat {name}")
            return EXIT_DIAGNOSTICS
    elif args.in_place:
        if text != content:
            _rewrite_in_place(path, name, text, warnings)
    else:
        sys.stdout.flush()
        sys.stdout.buffer.write(text)
    return EXIT_CLEAN


def run_fmt(args: Parsed) -> int:
    settings = settings_of(args)
    lenient = lenient_of(args, settings)
    if problem := fmt_usage_problem(args, lenient):
        raise UsageError(problem)
    found = Discovery(settings, force_exclude=args.force_exclude).files(args.files)
    if not found:
        complain(f"tolvane: no NCF files to format in {', '.join(args.files)}")
    status = EXIT_CLEAN
    unreadable = False
    for item in found:
        try:
            if isinstance(item, Unreadable):
                raise item
            status = max(status, _format_one(item, args, lenient))
        except Unreadable as error:
            complain(str(error))
            unreadable = True
        except NotFormatted as error:
            complain(str(error))
            status = EXIT_DIAGNOSTICS
        except OSError as error:
            complain(f"tolvane: cannot write {item}: {error.strerror or error}")
            unreadable = True
    return EXIT_TROUBLE if unreadable else status


COMMANDS = (
    Command(
        "fmt",
        help="write the canonical text of NCF files",
        description="Write the canonical text of FILE to standard output: the sections and the statements "
        "present in the order the grammar reads them, one statement per line, 4 spaces a level, lists in "
        "their order. It reads back as the same tree. Every comment stays: on a line of its own before the "
        "statement it precedes, or at the end of the line of the statement it follows. A file with syntax "
        "errors is not formatted: its diagnostics are shown. With --check and --in-place, a FILE may be a "
        "folder: every *.ncf below it, as check finds them.",
        epilog="Exit status: 0 written (--check: every file is canonical), 1 a file has syntax errors, "
        "cannot be written or (--check) would change, 2 usage error, wrong settings or a file that cannot "
        "be read.",
        arguments=[
            Argument("files", nargs="+", metavar="FILE",
                     help='an NCF file, a folder (with --check, --in-place), or "-" for standard input'),
            Argument("--in-place", action="store_true",
                     help="rewrite each FILE that is not canonical (through a new file that replaces it)"),
            Argument("--check", action="store_true",
                     help="change nothing; list the files that would change and exit 1 if any would"),
            Argument("--from-json", action="store_true",
                     help="FILE is a document of the json command: write the NCF it describes"),
            Argument("--drop-comments", action="store_true",
                     help="leave the comments out: the canonical text of the tree alone"),
            lenient_argument(),
            Argument("--force-exclude", action="store_true",
                     help="exclude what the settings exclude even when it is named here (for pre-commit)"),
            *settings_arguments(),
        ],
        run=run_fmt,
    ),
)
