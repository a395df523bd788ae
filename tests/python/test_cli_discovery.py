"""check and fmt on folders: which files are found below them, in which
order, what is skipped, and what is always taken."""

import os

import pytest

from test_check_formats import CLEAN
from tolvane_cli import main

# Where a fault shows which files were checked: every file holds one
# supplier-id error, and the output names each file once.
FAULT = CLEAN.replace("supplier = 1;", "supplier = 0x1FFFF;")
TREE = [
    "a.ncf", "B.ncf", "b/c.ncf", "b/d.txt", "b/e.nfc", "b/sub/f.ncf", "b.ncf", "legacy/old.ncf", "nested/legacy/g.ncf",
    "vendor/h.ncf", "vendor/x/i.ncf", ".git/j.ncf", ".venv/k.ncf", "build/l.ncf", "build-win/m.ncf",
    "__pycache__/n.ncf", "notes/builder.ncf",
]


@pytest.fixture
def tree(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)
    (tmp_path / ".git").mkdir()  # the top of a repository: no settings from above it
    for name in TREE:
        (tmp_path / name).parent.mkdir(parents=True, exist_ok=True)
        (tmp_path / name).write_text(FAULT)
    return tmp_path


def checked_files(capsys, *argv):
    status = main(["check", "--select", "supplier", *argv])
    out, err = capsys.readouterr()
    return status, [line.split(":")[0] for line in out.splitlines()[:-1]], out.splitlines()[-1], err


def test_a_folder_is_every_ncf_file_below_it_in_the_order_of_a_sorted_tree(tree, capsys):
    status, files, summary, err = checked_files(capsys, ".")
    assert files == ["B.ncf", "a.ncf", "b/c.ncf", "b/sub/f.ncf", "b.ncf", "legacy/old.ncf", "nested/legacy/g.ncf",
                     "notes/builder.ncf", "vendor/h.ncf", "vendor/x/i.ncf"]
    assert (status, summary, err) == (1, "10 files checked: 10 errors in 10 files", "")


@pytest.mark.parametrize(("settings", "argv", "files"), [
    # A pattern without a "/" matches a name at any depth, one with a "/" the path from the settings' folder.
    ('exclude = ["legacy"]', ["b", "legacy", "nested"], ["b/c.ncf", "b/sub/f.ncf", "legacy/old.ncf"]),
    ('exclude = ["nested/legacy", "vendor/*.ncf"]', ["."],
     ["B.ncf", "a.ncf", "b/c.ncf", "b/sub/f.ncf", "b.ncf", "legacy/old.ncf", "notes/builder.ncf", "vendor/x/i.ncf"]),
    ('exclude = ["vendor/**", "b*"]', ["."], ["B.ncf", "a.ncf", "legacy/old.ncf", "nested/legacy/g.ncf"]),
    ('extend-include = ["*.nfc"]\nexclude = ["sub"]', ["b"], ["b/c.ncf", "b/e.nfc"]),
    # A file named is taken whatever its name, unless --force-exclude asks the settings.
    ('exclude = ["legacy", "*.txt"]', ["b/d.txt", "legacy/old.ncf", "nested/legacy/g.ncf"],
     ["b/d.txt", "legacy/old.ncf", "nested/legacy/g.ncf"]),
    ('exclude = ["legacy", "*.txt"]', ["--force-exclude", "b/d.txt", "legacy/old.ncf", "nested/legacy/g.ncf",
                                       "build/l.ncf", "a.ncf", "legacy"], ["a.ncf"]),
    # A folder named is entered even where a search would skip it.
    ("", ["build", ".git"], ["build/l.ncf", ".git/j.ncf"]),
])
def test_exclude_extend_include_and_force_exclude(tree, capsys, settings, argv, files):
    (tree / "tolvane.toml").write_text(settings + "\n")
    assert checked_files(capsys, *argv)[1] == files


def test_each_folder_is_entered_once_through_links_that_loop(tree, capsys):
    os.symlink(tree / "b", tree / "b" / "sub" / "back-to-b")
    os.symlink(tree / "vendor", tree / "linked-vendor")
    status, files, summary, _ = checked_files(capsys, "b", "b/sub", "linked-vendor")
    assert files == ["b/c.ncf", "b/sub/f.ncf", "linked-vendor/h.ncf", "linked-vendor/x/i.ncf"]


def test_no_file_found_says_so_and_exits_0(tree, capsys):
    (tree / "empty").mkdir()
    assert main(["check", "empty", "notes/"]) == 1  # notes/builder.ncf has a fault
    capsys.readouterr()
    assert main(["check", "empty"]) == 0
    assert capsys.readouterr() == ("0 files checked: no diagnostics\n", "tolvane: no NCF files to check in empty\n")
    assert main(["check", "--quiet", "empty"]) == 0
    assert capsys.readouterr() == ("", "")
    assert main(["fmt", "--check", "empty"]) == 0
    assert capsys.readouterr() == ("", "tolvane: no NCF files to format in empty\n")


def test_fmt_check_and_in_place_take_folders(tree, capsys):
    (tree / "tolvane.toml").write_text('exclude = ["vendor", "legacy", "b"]\n')
    assert main(["fmt", "--check", "."]) == 1
    assert capsys.readouterr().out.splitlines() == [
        f"would reformat {name}" for name in ["B.ncf", "a.ncf", "b.ncf", "notes/builder.ncf"]]
    os.chmod(tree / "a.ncf", 0o640)
    assert main(["fmt", "--in-place", "."]) == 0
    assert main(["fmt", "--check", "."]) == 0
    assert capsys.readouterr().out == ""
    assert os.stat(tree / "a.ncf").st_mode & 0o777 == 0o640
    assert (tree / "b" / "c.ncf").read_text() == FAULT  # excluded: not rewritten
    assert main(["fmt", "b"]) == 2
    assert capsys.readouterr().err == "tolvane: fmt: one FILE to write to standard output (or --in-place, --check)\n"


def test_a_folder_that_cannot_be_listed_is_named_and_the_rest_checked(tree, capsys, monkeypatch):
    listing = os.scandir

    def refused(path):  # as a folder without read permission answers (root is never refused)
        if os.path.basename(path) == "sub":
            raise PermissionError(13, "Permission denied", path)
        return listing(path)

    monkeypatch.setattr(os, "scandir", refused)
    status, files, summary, err = checked_files(capsys, "b")
    assert (status, files, err) == (2, ["b/c.ncf"], "tolvane: cannot read b/sub: Permission denied\n")
    assert summary == "1 file checked: 1 error in 1 file; 1 file unreadable"


def test_check_a_repository_with_its_settings(tree, capsys):
    # What a team runs in CI: the settings choose the codes and leave out a folder.
    faulty = FAULT.replace("NAD = 0x10;", "NAD = 0x80;").replace("variant = 0;", "variant = 300;")
    (tree / "nested" / "deeper").mkdir()
    (tree / "nested" / "deeper" / "p.ncf").write_text(faulty)
    (tree / "pyproject.toml").write_text(
        '[project]\nname = "cluster"\n\n[tool.tolvane]\nselect = ["nad", "variant"]\n'
        'exclude = ["legacy", "vendor", "notes", "b*", "B*", "a.ncf"]\n')
    assert main(["check", "."]) == 1
    assert capsys.readouterr() == (
        "nested/deeper/p.ncf:4:85: error: Variant ID 300 does not fit 8 bits [variant-id]\n"
        "nested/deeper/p.ncf:5:20: warning: NAD 0x80 is in the free-usage range 0x80..0xFF [nad]\n"
        "1 file checked: 1 error, 1 warning in 1 file\n", "")
