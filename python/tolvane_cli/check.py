"""`tolvane check`: parse and validate files and folders, and report every
diagnostic as text, JSON, SARIF or GitHub Actions workflow commands."""

from __future__ import annotations

import os
import sys

import tolvane
from tolvane_cli.commandline import Argument, Command
from tolvane_cli.discovery import Discovery
from tolvane_cli.settings import PathPatterns, relative_to_root
from tolvane_cli.shared import (
    BYTE_ORDER_MARK,
    EXIT_CLEAN,
    EXIT_DIAGNOSTICS,
    EXIT_TROUBLE,
    SEVERITY_WORDS,
    Unreadable,
    UsageError,
    code_patterns,
    coloured_diagnostic,
    colour_wanted,
    complain,
    format_diagnostic,
    lenient_argument,
    lenient_of,
    recovery_argument,
    make_parser,
    plural,
    position,
    read_source,
    settings_arguments,
    settings_of,
)

TYPE_CHECKING = False
if TYPE_CHECKING:
    from collections.abc import Callable, Sequence

    from tolvane_cli.commandline import Parsed
    from tolvane_cli.settings import Settings

SARIF_LEVELS = {"Error": "error", "Warning": "warning", "Info": "note"}
SARIF_SCHEMA = "https://json.schemastore.org/sarif-2.1.0.json"
GITHUB_COMMANDS = {"Error": "error", "Warning": "warning", "Info": "notice"}


# ---------------------------------------------------------------------------
# Choosing diagnostics
# ---------------------------------------------------------------------------


class CodeFilter:
    """--select keeps only the codes it names (all when empty), then --ignore drops the codes it names."""

    __slots__ = ("select", "ignore")

    def __init__(self, select: tuple[str, ...] = (), ignore: tuple[str, ...] = ()) -> None:
        self.select = select
        self.ignore = ignore

    def keeps(self, code: str, also_ignored: tuple[str, ...] = ()) -> bool:
        if self.select and not code.startswith(self.select):
            return False
        return not code.startswith(self.ignore) and not code.startswith(also_ignored)


class PerFileIgnores:
    """The setting per-file-ignores: the codes ignored in the files each pattern matches."""

    __slots__ = ("_table", "_root", "_needs_paths")

    def __init__(self, settings: Settings) -> None:
        self._table = [(PathPatterns([pattern]), codes) for pattern, codes in settings.per_file_ignores]
        self._root = settings.root
        self._needs_paths = any(patterns.needs_paths for patterns, _ in self._table)

    def codes_for(self, path: str) -> tuple[str, ...]:
        if not self._table or path == "-":
            return ()
        relative = relative_to_root(path, self._root) if self._needs_paths else None
        name = os.path.basename(path)
        return tuple(code for patterns, codes in self._table if patterns.matches(name, relative) for code in codes)


class CheckedFile:
    __slots__ = ("name", "diagnostics", "content")

    def __init__(self, name: str, diagnostics: list[tolvane.Diagnostic], content: bytes | None = None) -> None:
        self.name = name
        self.diagnostics = diagnostics
        self.content = content  # standard input's, which cannot be read again


def check_stdin(syntax_only: bool, lenient: bool, recover: bool) -> CheckedFile:
    """Standard input and every diagnostic of it, in the order of their
    positions: the parser's alone with `syntax_only`, else the parser's and the
    validator's."""
    name, content = read_source("-")
    if syntax_only:
        parser = make_parser(name, content, lenient, recover)
        parser.parse()
        # A stable sort: diagnostics at one position keep the parser's order.
        return CheckedFile(name, sorted(parser.get_diagnostics(), key=position), content)
    _, diagnostics = tolvane.check(os.fsencode(name), content, lenient=lenient, recover=recover)
    return CheckedFile(name, list(diagnostics), content)


def _batch(paths: list[str], *, syntax_only: bool, lenient: bool, recover: bool,
           jobs: int) -> list[list[tolvane.Diagnostic] | OSError]:
    if not paths:
        return []
    return tolvane.check_files(paths, lenient=lenient, recover=recover, syntax_only=syntax_only, jobs=jobs)


class _Folder:
    """What was found below a folder named on the command line."""

    __slots__ = ("found",)

    def __init__(self, found: list[str | Unreadable]) -> None:
        self.found = found


class Run:
    """What a run found, in order: the files with diagnostics and the files
    that could not be read; and how many files were checked. A clean file
    is only counted, which keeps a run over thousands of them cheap."""

    __slots__ = ("found", "checked")

    def __init__(self) -> None:
        self.found: list[CheckedFile | Unreadable] = []
        self.checked = 0

    def add(self, path: str, outcome: list[tolvane.Diagnostic] | OSError) -> None:
        if isinstance(outcome, OSError):
            self.found.append(Unreadable(path, outcome))
            return
        self.checked += 1
        if outcome:
            self.found.append(CheckedFile(path, outcome))

    @property
    def files(self) -> list[CheckedFile]:
        """The files with diagnostics."""
        return [item for item in self.found if isinstance(item, CheckedFile)]

    @property
    def unreadable(self) -> int:
        return sum(isinstance(item, Unreadable) for item in self.found)


def check_all(paths: Sequence[str], discovery: Discovery, *, syntax_only: bool, lenient: bool, recover: bool,
              jobs: int) -> Run:
    """Each file named and each file below each folder named, checked, in
    order. Files are read and checked together on `jobs` threads: first those
    named, which tells the folders among them apart without a look of its
    own, then the files below the folders; standard input here."""
    named = discovery.named(paths)
    first = iter(_batch([path for path in named if path != "-"], syntax_only=syntax_only, lenient=lenient,
                        recover=recover, jobs=jobs))
    outcomes: list[list[tolvane.Diagnostic] | OSError | _Folder | None] = []
    below_folders: list[str] = []
    for path in named:
        outcome: list[tolvane.Diagnostic] | OSError | _Folder | None = None if path == "-" else next(first)
        if isinstance(outcome, IsADirectoryError):
            outcome = _Folder(discovery.walk(path))
            below_folders += [item for item in outcome.found if isinstance(item, str)]
        outcomes.append(outcome)
    second = iter(_batch(below_folders, syntax_only=syntax_only, lenient=lenient, recover=recover, jobs=jobs))
    run = Run()
    for path, outcome in zip(named, outcomes):
        if outcome is None:
            try:
                stdin = check_stdin(syntax_only, lenient, recover)
                run.checked += 1
                run.found.append(stdin)
            except Unreadable as error:
                run.found.append(error)
        elif isinstance(outcome, _Folder):
            for item in outcome.found:
                if isinstance(item, Unreadable):
                    run.found.append(item)
                else:
                    run.add(item, next(second))
        else:
            run.add(path, outcome)
    return run


# ---------------------------------------------------------------------------
# The text summary and statistics
# ---------------------------------------------------------------------------


def summary_line(run: Run) -> str:
    """`N files checked: 3 errors, 1 warning in 1 file`, only the severities
    that occur; `no diagnostics` when none; then any unreadable files."""
    counts = dict.fromkeys(SEVERITY_WORDS, 0)
    files = run.files
    for checked in files:
        for diagnostic in checked.diagnostics:
            counts[diagnostic.severity.name] += 1
    summary = f"{plural(run.checked, 'file')} checked: "
    if any(counts.values()):
        by_severity = ", ".join(plural(counts[name], word) for name, word in SEVERITY_WORDS.items() if counts[name])
        with_diagnostics = sum(1 for checked in files if checked.diagnostics)
        summary += f"{by_severity} in {plural(with_diagnostics, 'file')}"
    else:
        summary += "no diagnostics"
    if unreadable := run.unreadable:
        summary += f"; {plural(unreadable, 'file')} unreadable"
    return summary


def statistics_lines(files: Sequence[CheckedFile], rules: dict[str, str]) -> list[str]:
    """One line per code: how many diagnostics have it, the code and what it
    checks; most frequent first, codes of equal count in the order of rules()."""
    counts = dict.fromkeys(rules, 0)
    for checked in files:
        for diagnostic in checked.diagnostics:
            counts[diagnostic.code] = counts.get(diagnostic.code, 0) + 1
    ranked = sorted((code for code, count in counts.items() if count), key=lambda code: -counts[code])
    if not ranked:
        return []
    count_width = len(str(counts[ranked[0]]))
    code_width = max(len(code) for code in ranked)
    return [f"{counts[code]:>{count_width}}  {code:<{code_width}}  {rules.get(code, '')}".rstrip()
            for code in ranked]


# ---------------------------------------------------------------------------
# SARIF
# ---------------------------------------------------------------------------


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
            text = text.removeprefix(BYTE_ORDER_MARK)  # the parser's columns start after it
        if text.isascii():
            return column
        # The parser gives a carriage return between tokens no column (one in a
        # string or a comment, which this does not tell apart, it does give one).
        before = text.replace(b"\r", b"")[: column - 1]
        characters = len(before.decode("utf-8", "surrogateescape"))
        return characters + (column - 1 - len(before)) + 1  # a column past the end of the line

    return convert


def _content_for_columns(checked: CheckedFile) -> bytes:
    # A file is read again for its diagnostics' character columns; a file
    # gone since keeps their byte columns.
    if checked.content is not None:
        return checked.content
    try:
        with open(checked.name, "rb") as stream:
            return stream.read()
    except OSError:
        return b""


def sarif_log(files: Sequence[CheckedFile], rules: dict[str, str]) -> dict[str, object]:
    """The SARIF 2.1.0 log of one run over `files`: every code as a rule, every diagnostic as a result."""
    rule_index = {code: index for index, code in enumerate(rules)}
    results = []
    for checked in files:
        if not checked.diagnostics:
            continue
        uri = artifact_uri(checked.name)
        to_characters = character_columns(_content_for_columns(checked))
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
# GitHub Actions workflow commands
# ---------------------------------------------------------------------------


def github_data(text: str) -> str:
    """A workflow command's message, escaped as the runner reads it."""
    return text.replace("%", "%25").replace("\r", "%0D").replace("\n", "%0A")


def github_property(text: str) -> str:
    """A workflow command's property value: its message escapes, and : and , too."""
    return github_data(text).replace(":", "%3A").replace(",", "%2C")


def github_command(diagnostic: tolvane.Diagnostic) -> str:
    """`::error file=F,line=L,col=C,title=CODE::MESSAGE` (warning, notice);
    a diagnostic about the file as a whole has no line, one without a
    column no col."""
    properties = [f"file={github_property(diagnostic.file)}"]
    if diagnostic.line > 0:
        properties.append(f"line={diagnostic.line}")
        if diagnostic.column > 0:
            properties.append(f"col={diagnostic.column}")
    properties.append(f"title={github_property(diagnostic.code)}")
    command = GITHUB_COMMANDS[diagnostic.severity.name]
    return f"::{command} {','.join(properties)}::{github_data(diagnostic.message)}"


# ---------------------------------------------------------------------------
# The command
# ---------------------------------------------------------------------------


def _jobs(text: str) -> int:
    try:
        count = int(text)
    except ValueError:
        count = 0
    if count < 1:
        import argparse

        raise argparse.ArgumentTypeError(f"expected a number of threads of at least 1, not {text!r}")
    return count


def _code_filter(args: Parsed, settings: Settings) -> CodeFilter:
    """--select and --ignore when given, else the settings'."""
    codes = list(tolvane.rules())
    select = code_patterns("--select", args.select, codes) if args.select else settings.select
    ignore = code_patterns("--ignore", args.ignore, codes) if args.ignore else settings.ignore
    return CodeFilter(select, ignore)


def _kept(run: Run, codes: CodeFilter, settings: Settings) -> None:
    """Leaves out of each file the diagnostics that the codes chosen and the
    per-file ignores leave out."""
    if not (codes.select or codes.ignore or settings.per_file_ignores):
        return
    ignores = PerFileIgnores(settings)
    for checked in run.files:
        also_ignored = ignores.codes_for(checked.name)
        checked.diagnostics = [d for d in checked.diagnostics if codes.keeps(d.code, also_ignored)]


def _write_text(run: Run, args: Parsed) -> None:
    show = coloured_diagnostic if colour_wanted(sys.stdout) else format_diagnostic
    for result in run.found:
        if isinstance(result, Unreadable):
            complain(str(result))
        elif not args.statistics:
            for diagnostic in result.diagnostics:
                print(show(diagnostic))
    if args.statistics:
        for line in statistics_lines(run.files, tolvane.rules()):
            print(line)
    if not args.quiet:
        print(summary_line(run))


def _write_machine_format(run: Run, output: str) -> None:
    for result in run.found:
        if isinstance(result, Unreadable):
            complain(str(result))
    files = run.files
    if output == "github":
        for checked in files:
            for diagnostic in checked.diagnostics:
                print(github_command(diagnostic))
        return
    import json

    if output == "json":
        document: object = [tolvane.to_dict(diagnostic) for checked in files for diagnostic in checked.diagnostics]
    else:
        document = sarif_log(files, tolvane.rules())
    sys.stdout.write(json.dumps(document, indent=2) + "\n")


def run_check(args: Parsed) -> int:
    settings = settings_of(args)
    codes = _code_filter(args, settings)
    if args.statistics and args.format != "text":
        raise UsageError(f"tolvane: check: --statistics prints text, not --format {args.format}")
    discovery = Discovery(settings, force_exclude=args.force_exclude)
    run = check_all(args.files, discovery, syntax_only=args.syntax_only, lenient=lenient_of(args, settings),
                    recover=not args.no_recovery, jobs=args.jobs or os.process_cpu_count() or 1)
    if not (run.checked or run.found) and not args.quiet:
        complain(f"tolvane: no NCF files to check in {', '.join(args.files)}")
    _kept(run, codes, settings)
    if args.format == "text":
        _write_text(run, args)
    else:
        _write_machine_format(run, args.format)

    if run.unreadable:
        return EXIT_TROUBLE
    failing = {"Error", "Warning"} if args.werror else {"Error"}
    reported = {diagnostic.severity.name for checked in run.files for diagnostic in checked.diagnostics}
    return EXIT_DIAGNOSTICS if reported & failing else EXIT_CLEAN


COMMANDS = (
    Command(
        "check",
        whole_words=True,
        help="parse and validate each file, report every diagnostic",
        description="Parse and validate each FILE, and every *.ncf file below each folder, and print every "
        "diagnostic as FILE:LINE:COLUMN: SEVERITY: MESSAGE [CODE], SEVERITY being error, warning or info and "
        "CODE syntax for the parser's diagnostics or the code of the rule, in the order of their "
        "positions; then a one-line summary with the counts by severity. A file that cannot be "
        "read is reported on standard error and the other files are still checked. Settings come from "
        "[tool.tolvane] in the nearest pyproject.toml or from a tolvane.toml (select, ignore, lenient, "
        "exclude, extend-include, per-file-ignores); options given here override them.",
        epilog="A CODE of --select and --ignore is a code or the start of codes (nad: nad, nad-range, "
        "...); both take comma-separated codes and may be repeated; they apply to the output, the "
        "summary and the exit status alike. The codes: " + ", ".join(tolvane.rules()) + ". "
        "Below a folder, .git, .venv, __pycache__, build* and the excluded patterns are skipped. "
        "Exit status: 0 no errors (warnings and infos do not count, warnings do with --werror), "
        "1 an error was reported, 2 usage error, wrong settings or a file that cannot be read.",
        arguments=[
            Argument("files", nargs="+", metavar="FILE",
                     help='an NCF file, a folder (every *.ncf below it), or "-" for standard input'),
            Argument("--select", action="append", default=[], metavar="CODE,...",
                     help="report only the diagnostics of these codes"),
            Argument("--ignore", action="append", default=[], metavar="CODE,...",
                     help="leave out the diagnostics of these codes (after --select)"),
            Argument("--werror", action="store_true", help="let warnings, too, make the exit status 1"),
            Argument("--syntax-only", action="store_true",
                     help="parse only: the parser's diagnostics (code syntax), no validation"),
            Argument("--format", choices=("text", "json", "sarif", "github"), default="text",
                     help="text: a line per diagnostic, then the summary (the default); json: every "
                     "diagnostic's fields in one JSON list; sarif: a SARIF 2.1.0 log; github: a GitHub Actions "
                     "workflow command per diagnostic, which the runner shows on the diff. No summary but "
                     "with text"),
            lenient_argument(),
            recovery_argument(),
            Argument("--statistics", action="store_true",
                     help="print how many diagnostics each code has, most frequent first, instead of the "
                     "diagnostics"),
            Argument("-q", "--quiet", action="store_true", help="print the diagnostics only, no summary"),
            Argument("--jobs", type=_jobs, metavar="N",
                     help="check N files at a time (default: one per CPU); the output is the same"),
            Argument("--force-exclude", action="store_true",
                     help="exclude what the settings exclude even when it is named here (for pre-commit)"),
            *settings_arguments(),
        ],
        run=run_check,
    ),
)
