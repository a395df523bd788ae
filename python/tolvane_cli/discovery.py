"""The files a command works on: those named, and every *.ncf file (and
those of extend-include) below each folder named, in a stable order.

Below a folder, `.git`, `.venv`, `__pycache__` and folders whose names begin
with `build` are skipped, and so is whatever the setting `exclude` matches.
A file named on the command line is always taken, whatever its name, unless
`force_exclude` asks for the settings to exclude it too (as pre-commit,
which names every file, needs). Symbolic links are followed; a folder is
entered once, so a link that loops is harmless.
"""

from __future__ import annotations

import os

from tolvane_cli.settings import PathPatterns, relative_to_root
from tolvane_cli.shared import Unreadable

TYPE_CHECKING = False
if TYPE_CHECKING:
    from collections.abc import Sequence

    from tolvane_cli.settings import Settings

NCF_SUFFIX = ".ncf"
_SKIPPED_FOLDERS = frozenset({".git", ".venv", "__pycache__"})


def skipped_by_default(folder_name: str) -> bool:
    return folder_name in _SKIPPED_FOLDERS or folder_name.startswith("build")


class Discovery:
    """Finds the files of one run."""

    def __init__(self, settings: Settings, *, force_exclude: bool = False) -> None:
        self.settings = settings
        self.force_exclude = force_exclude
        self.exclude = PathPatterns(settings.exclude)
        self.include = PathPatterns(settings.extend_include)
        self._entered: set[tuple[int, int]] = set()

    def named(self, paths: Sequence[str]) -> list[str]:
        """The paths named on the command line that are to be taken."""
        if not self.force_exclude:
            return list(paths)
        return [path for path in paths if path == "-" or not self.excluded_path(path)]

    def files(self, paths: Sequence[str]) -> list[str | Unreadable]:
        """The files of `paths`, in order: each file named, and the files
        below each folder named; an Unreadable in the place of a folder that
        could not be listed."""
        found: list[str | Unreadable] = []
        for path in self.named(paths):
            if path != "-" and os.path.isdir(path):
                found += self.walk(path)
            else:
                found.append(path)
        return found

    def excluded_path(self, path: str) -> bool:
        """Whether the settings exclude `path` or a folder it lies in."""
        parts = [part for part in relative_to_root(path, self.settings.root).split("/") if part not in ("", ".")]
        outside_root = bool(parts) and parts[0] == ".."
        for index, part in enumerate(parts):
            if part == "..":
                continue
            # Outside the settings' root, only the patterns of names apply.
            relative = None if outside_root else "/".join(parts[: index + 1])
            is_folder = index < len(parts) - 1 or os.path.isdir(path)
            if (is_folder and skipped_by_default(part)) or self.exclude.matches(part, relative):
                return True
        return False

    def walk(self, top: str) -> list[str | Unreadable]:
        """The files to check below the folder `top`, each folder's entries
        by name and each subfolder's files in its place: the order of a
        sorted tree."""
        relative_top = None
        if self.exclude.needs_paths or self.include.needs_paths:
            relative_top = relative_to_root(top, self.settings.root)
        found: list[str | Unreadable] = []
        # A stack of the folders being listed rather than recursion: a tree of
        # any depth is walked.
        pending = [iter(self._entries(top, relative_top, found))]
        while pending:
            for path, inside, is_folder in pending[-1]:
                if is_folder:
                    pending.append(iter(self._entries(path, inside, found)))
                    break  # into the subfolder; the rest of this folder waits
                found.append(path)
            else:
                pending.pop()
        return found

    def _entries(self, folder: str, relative: str | None,
                 found: list[str | Unreadable]) -> list[tuple[str, str | None, bool]]:
        """The files and the subfolders of `folder` to take, by name: each as
        its path, its path from the settings' root (when patterns need it)
        and whether it is a folder. A folder entered before gives none; one
        that cannot be listed adds an Unreadable to `found`."""
        try:
            status = os.stat(folder)
            identity = (status.st_dev, status.st_ino)
            if identity in self._entered:
                return []
            self._entered.add(identity)
            with os.scandir(folder) as listing:
                entries = sorted(listing, key=lambda entry: entry.name)
        except OSError as error:
            found.append(Unreadable(folder, error))
            return []
        exclude = self.exclude if self.exclude else None
        include = self.include if self.include else None
        prefix = "" if folder == os.curdir else folder + ("" if folder.endswith(os.sep) else os.sep)
        taken = []
        for entry in entries:
            name = entry.name
            inside = None if relative is None else (name if relative == "." else f"{relative}/{name}")
            try:
                is_folder = entry.is_dir()
            except OSError:
                is_folder = False
            if is_folder:
                if not skipped_by_default(name) and not (exclude and exclude.matches(name, inside)):
                    taken.append((prefix + name, inside, True))
            elif (name.endswith(NCF_SUFFIX) or (include and include.matches(name, inside))) and not (
                    exclude and exclude.matches(name, inside)):
                taken.append((prefix + name, inside, False))
        return taken
