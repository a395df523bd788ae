"""What a release carries: one version everywhere, the license, and the
arguments a newcomer passes first (paths as os.PathLike)."""

import pathlib
import subprocess
import sys
import tomllib

import pytest

import tolvane
import tolvane_cli
from conftest import EXAMPLES, ROOT, module_path

PYPROJECT = tomllib.loads((ROOT / "pyproject.toml").read_text())


def test_one_version_in_pyproject_the_module_and_the_command_line(capsys):
    version = PYPROJECT["project"]["version"]
    assert tolvane.__version__ == version
    assert tolvane_cli.main(["--version"]) == 0
    assert capsys.readouterr().out == f"tolvane {version}\n"


def test_python_m_tolvane_cli_is_the_command_line():
    import os

    child = subprocess.run([sys.executable, "-m", "tolvane_cli", "--version"], capture_output=True, text=True,
                           env=dict(os.environ, PYTHONPATH=module_path()), timeout=60)
    assert (child.returncode, child.stdout, child.stderr) == (0, f"tolvane {tolvane.__version__}\n", "")


def test_the_command_line_ships_typed():
    assert (pathlib.Path(tolvane_cli.__file__).parent / "py.typed").is_file()


def test_the_version_comes_after_the_classes_and_functions():
    names = [name for name in vars(tolvane) if not name.startswith("_")]
    assert "__version__" not in names and list(vars(tolvane))[-1] == "__version__"


def test_the_license_is_the_one_declared():
    assert PYPROJECT["project"]["license"] == "MIT"
    assert PYPROJECT["project"]["license-files"] == ["LICENSE"]
    assert (ROOT / "LICENSE").read_text().startswith("MIT License\n")


class FileName:
    """An os.PathLike that is no pathlib path."""

    def __init__(self, path):
        self.path = path

    def __fspath__(self):
        return self.path


DOOR = str(EXAMPLES / "door_module.ncf")


@pytest.mark.parametrize("name", [
    pathlib.Path(DOOR), pathlib.PurePosixPath(DOOR), FileName(DOOR), FileName(DOOR.encode()),
])
def test_a_path_like_file_name_is_read_and_reported_as_its_fspath(name):
    parser = tolvane.NcfParser(name)
    assert (parser.parse().filename, parser.get_diagnostics()) == (DOOR, [])
    assert tolvane.check(name)[0].filename == DOOR


def test_a_path_like_name_beside_content_is_only_reported():
    parser = tolvane.NcfParser(pathlib.Path("no/such/dir/x.ncf"), "x")
    parser.parse()
    assert {d.file for d in parser.get_diagnostics()} == {"no/such/dir/x.ncf"}


@pytest.mark.parametrize(("name", "error", "text"), [
    (pathlib.Path("no/such.ncf"), RuntimeError, "Cannot open file no/such.ncf"),
    (FileName(42), TypeError, "to return str or bytes, not int"),
    (FileName("\udcff"), TypeError, "incompatible constructor arguments"),  # no UTF-8 for a lone surrogate
    (42, TypeError, "incompatible constructor arguments"),
])
def test_a_path_like_that_gives_no_readable_name_raises(name, error, text):
    with pytest.raises(error, match=text):
        tolvane.NcfParser(name)


def test_content_is_never_taken_as_a_path():
    with pytest.raises(TypeError):
        tolvane.NcfParser("a.ncf", pathlib.Path(DOOR))
