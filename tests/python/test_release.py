"""What a release carries: one version everywhere, the license, and the
arguments a newcomer passes first (paths as os.PathLike)."""

import pathlib
import subprocess
import sys
import tomllib

import pytest

import tolvane
import tolvane_cli
from conftest import EXAMPLES, ROOT

PYPROJECT = tomllib.loads((ROOT / "pyproject.toml").read_text())


def test_one_version_in_pyproject_the_module_and_the_command_line(capsys):
    version = PYPROJECT["project"]["version"]
    assert tolvane.__version__ == version
    assert tolvane_cli.main(["--version"]) == 0
    assert capsys.readouterr().out == f"tolvane {version}\n"


def test_the_version_comes_after_the_classes_and_functions():
    names = [name for name in vars(tolvane) if not name.startswith("_")]
    assert "__version__" not in names and list(vars(tolvane))[-1] == "__version__"


def test_the_license_is_the_one_declared():
    assert PYPROJECT["project"]["license"] == "MIT"
    assert PYPROJECT["project"]["license-files"] == ["LICENSE"]
    assert (ROOT / "LICENSE").read_text().startswith("MIT License\n")
