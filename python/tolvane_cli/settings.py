"""Project settings: `[tool.tolvane]` in a pyproject.toml, or the same keys
at the top level of a tolvane.toml, read with tomllib.

The settings file is the nearest one in the current directory or above it,
up to the top of the git repository it is in (a tolvane.toml before a
pyproject.toml in the same directory; a pyproject.toml counts only when it
has a [tool.tolvane] table), or the one --config names. Options on the command line override the file key by key.
Patterns (exclude, extend-include, per-file-ignores) are globs: one without a
"/" matches the name of a file or folder at any depth, one with a "/" the path
from the settings file's directory ("**" crossing folders).
"""

from __future__ import annotations

import os

from tolvane_cli.shared import UsageError

TYPE_CHECKING = False
if TYPE_CHECKING:
    import re
    from collections.abc import Callable, Sequence

SETTINGS_FILE = "tolvane.toml"
PYPROJECT = "pyproject.toml"


class Settings:
    """The settings of one run, read once and passed down."""

    __slots__ = ("path", "root", "select", "ignore", "lenient", "exclude", "extend_include", "per_file_ignores")

    def __init__(self, root: str, path: str | None = None) -> None:
        self.path = path  # the file read, None when none was
        self.root = root  # the folder patterns with a "/" start from
        self.select: tuple[str, ...] = ()
        self.ignore: tuple[str, ...] = ()
        self.lenient = False
        self.exclude: tuple[str, ...] = ()
        self.extend_include: tuple[str, ...] = ()
        self.per_file_ignores: tuple[tuple[str, tuple[str, ...]], ...] = ()


class SettingsError(UsageError):
    """A settings file that cannot be read or holds a wrong key or value."""


# ---------------------------------------------------------------------------
# The keys: each with its attribute, what it takes, and how to read it
# ---------------------------------------------------------------------------


def _strings(value: object, what: str) -> tuple[str, ...]:
    if not isinstance(value, list) or not all(isinstance(item, str) for item in value):
        raise ValueError(f"expected a list of {what}, not {toml_type(value)}")
    return tuple(value)


def _codes(value: object, codes: Sequence[str]) -> tuple[str, ...]:
    patterns = _strings(value, "codes")
    for pattern in patterns:
        if not pattern or not any(code.startswith(pattern) for code in codes):
            raise ValueError(f"unknown code {pattern!r} (a code or the start of codes: {', '.join(codes)})")
    return patterns


def _boolean(value: object, codes: Sequence[str]) -> bool:
    if not isinstance(value, bool):
        raise ValueError(f"expected true or false, not {toml_type(value)}")
    return value


def _patterns(value: object, codes: Sequence[str]) -> tuple[str, ...]:
    patterns = _strings(value, "glob patterns")
    for pattern in patterns:
        if not pattern.strip("/"):
            raise ValueError(f"{pattern!r} is not a glob pattern")
    return patterns


def _ignores_by_pattern(value: object, codes: Sequence[str]) -> tuple[tuple[str, tuple[str, ...]], ...]:
    if not isinstance(value, dict):
        raise ValueError(f'expected a table of glob patterns to lists of codes ("*.ncf" = ["nad"]), not '
                         f"{toml_type(value)}")
    table = []
    for pattern, pattern_codes in value.items():
        _patterns([pattern], codes)
        try:
            table.append((pattern, _codes(pattern_codes, codes)))
        except ValueError as error:
            raise ValueError(f"{pattern!r}: {error}") from None
    return tuple(table)


def toml_type(value: object) -> str:
    """What a TOML value is, in a message's words."""
    names = {bool: "a boolean", str: "a string", int: "an integer", float: "a float", list: "an array",
             dict: "a table"}
    return next((name for kind, name in names.items() if isinstance(value, kind)), "a date or time")


KEYS: dict[str, tuple[str, Callable[[object, Sequence[str]], object]]] = {
    "select": ("select", _codes),
    "ignore": ("ignore", _codes),
    "lenient": ("lenient", _boolean),
    "exclude": ("exclude", _patterns),
    "extend-include": ("extend_include", _patterns),
    "per-file-ignores": ("per_file_ignores", _ignores_by_pattern),
}


# ---------------------------------------------------------------------------
# Finding and reading the file
# ---------------------------------------------------------------------------


def find_settings(config: str | None, *, isolated: bool, codes: Sequence[str], start: str | None = None) -> Settings:
    """The settings of this run: those of `config` when given, none with
    `isolated`, else those of the nearest settings file in `start` (default:
    the current directory) or above it."""
    if isolated:
        return Settings(os.getcwd())
    if config is not None:
        table = _read_table(config, explicit=True)
        return _settings(config, table or {}, codes)
    folder = os.path.abspath(start) if start is not None else os.getcwd()
    while True:
        for name in (SETTINGS_FILE, PYPROJECT):
            path = os.path.join(folder, name)
            if os.path.isfile(path):
                table = _read_table(path, explicit=False)
                if table is not None:
                    return _settings(path, table, codes)
        parent = os.path.dirname(folder)
        # Settings above a repository are not the repository's own.
        if parent == folder or os.path.exists(os.path.join(folder, ".git")):
            return Settings(os.getcwd())
        folder = parent


def _read_table(path: str, *, explicit: bool) -> dict[str, object] | None:
    """The settings table of the file at `path`: its top level for a
    tolvane.toml, its [tool.tolvane] for a pyproject.toml (None when it has
    none)."""
    try:
        with open(path, "rb") as stream:
            data = stream.read()
    except OSError as error:
        raise SettingsError(f"tolvane: cannot read the settings {path}: {error.strerror or error}") from None
    is_pyproject = os.path.basename(path) == PYPROJECT
    # A pyproject.toml that never names the tool holds no settings for it
    # (a key spelt with escapes would be the one exception); seeing that
    # without tomllib saves most of a short run's start-up time.
    if is_pyproject and b"tolvane" not in data and not explicit:
        return None
    import tomllib

    try:
        document = tomllib.loads(data.decode("utf-8"))
    except (UnicodeDecodeError, tomllib.TOMLDecodeError) as error:
        raise SettingsError(f"tolvane: {path}: not valid TOML: {error}") from None
    if not is_pyproject:
        return document
    tool = document.get("tool")
    table = tool.get("tolvane") if isinstance(tool, dict) else None
    if table is not None and not isinstance(table, dict):
        raise SettingsError(f"tolvane: {path}: tool.tolvane: expected a table, not {toml_type(table)}")
    return table


def _settings(path: str, table: dict[str, object], codes: Sequence[str]) -> Settings:
    settings = Settings(os.path.dirname(os.path.abspath(path)), path)
    where = "[tool.tolvane] " if os.path.basename(path) == PYPROJECT else ""
    for key, value in table.items():
        if key not in KEYS:
            raise SettingsError(f"tolvane: {path}: {where}unknown key {key!r} (the keys: {', '.join(KEYS)})")
        attribute, read = KEYS[key]
        try:
            setattr(settings, attribute, read(value, codes))
        except ValueError as error:
            raise SettingsError(f"tolvane: {path}: {where}{key}: {error}") from None
    return settings


# ---------------------------------------------------------------------------
# Patterns
# ---------------------------------------------------------------------------


class PathPatterns:
    """Glob patterns as the settings mean them: without a "/", for the name
    of a file or folder; with one, for its path from the settings' root."""

    __slots__ = ("_names", "_paths")

    def __init__(self, patterns: Sequence[str]) -> None:
        self._names: list[re.Pattern[str]] = []
        self._paths: list[re.Pattern[str]] = []
        if not patterns:
            return  # and glob and re stay unimported
        import glob
        import re

        def compiled(pattern: str) -> re.Pattern[str]:
            return re.compile(glob.translate(pattern, recursive=True, include_hidden=True, seps="/"))

        # A "/" at the end only says "a folder", which a name pattern matches too.
        trimmed = [pattern.rstrip("/") for pattern in patterns]
        self._names = [compiled(pattern) for pattern in trimmed if "/" not in pattern]
        self._paths = [compiled(pattern.removeprefix("./").lstrip("/")) for pattern in trimmed if "/" in pattern]

    def __bool__(self) -> bool:
        return bool(self._names or self._paths)

    def matches(self, name: str, relative: str | None) -> bool:
        """Whether a file or folder called `name`, at `relative` from the
        settings' root (with "/" between folders), matches."""
        if any(pattern.match(name) for pattern in self._names):
            return True
        return relative is not None and any(pattern.match(relative) for pattern in self._paths)

    @property
    def needs_paths(self) -> bool:
        return bool(self._paths)


def relative_to_root(path: str, root: str) -> str:
    """`path` from `root`, with "/" between folders ("../" when outside it)."""
    return os.path.relpath(os.path.abspath(path), root).replace(os.sep, "/")
