"""The hooks of .pre-commit-hooks.yaml, run by pre-commit itself in a
throw-away git repository, as a team would have them: pre-commit installs
this repository's revision into a virtual environment of its own (a build
of the module) and runs the hooks on the staged files.

Run by tools/check-pre-commit, which sets TOLVANE_PRE_COMMIT (the
pre-commit program), TOLVANE_HOOK_REPO (a clean clone of the checkout) and
PRE_COMMIT_HOME (a cache shared by the tests of one run).
"""

import os
import pathlib
import subprocess

import pytest

PRE_COMMIT = os.environ.get("TOLVANE_PRE_COMMIT", "")
HOOK_REPO = os.environ.get("TOLVANE_HOOK_REPO", "")
pytestmark = pytest.mark.skipif(not (PRE_COMMIT and HOOK_REPO), reason="run by tools/check-pre-commit")

EXAMPLE = pathlib.Path(__file__).resolve().parents[2] / "examples" / "door_module.ncf"
GIT_IDENTITY = {"GIT_AUTHOR_NAME": "t", "GIT_AUTHOR_EMAIL": "t@example.org", "GIT_COMMITTER_NAME": "t",
                "GIT_COMMITTER_EMAIL": "t@example.org"}


def canonical_example():
    import tolvane

    return tolvane.dumps(tolvane.NcfParser(str(EXAMPLE)).parse())


def run(repository, *command):
    """Runs `command` in `repository`; its exit status and its output, both streams together."""
    result = subprocess.run(command, cwd=repository, capture_output=True, text=True,
                            env=dict(os.environ, **GIT_IDENTITY), timeout=1800)
    return result.returncode, result.stdout + result.stderr


class Repository:
    """A throw-away git repository."""

    def __init__(self, path):
        self.path = path
        run(path, "git", "init", "-q")

    def add(self, name, content):
        """Writes and stages the file `name`."""
        path = self.path / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content)
        assert run(self.path, "git", "add", name)[0] == 0


@pytest.fixture
def repository(tmp_path):
    """A repository with the hooks of HOOK_REPO at its HEAD, one clean,
    canonical node, and a faulty one in a folder the settings exclude."""
    revision = subprocess.run(["git", "-C", HOOK_REPO, "rev-parse", "HEAD"], capture_output=True, text=True,
                              check=True).stdout.strip()
    made = Repository(tmp_path)
    made.add(".pre-commit-config.yaml", f"repos:\n  - repo: {HOOK_REPO}\n    rev: {revision}\n    hooks:\n"
             "      - id: tolvane-check\n      - id: tolvane-fmt\n".encode())
    made.add("pyproject.toml", b'[tool.tolvane]\nexclude = ["legacy"]\n')
    made.add("door.ncf", canonical_example())
    made.add("legacy/old.ncf", canonical_example().replace(b"NAD = 0x10 to 0x13", b"NAD = 0x70 to 0x7F"))
    return made


def test_clean_files_pass_and_the_excluded_folder_is_left_out(repository):
    status, output = run(repository.path, PRE_COMMIT, "run", "--all-files")
    assert status == 0, output
    assert "tolvane check" in output and "old.ncf" not in output


def test_a_commit_with_a_fault_is_refused_until_it_is_mended(repository):
    assert run(repository.path, PRE_COMMIT, "install")[0] == 0
    faulty = canonical_example().replace(b"NAD = 0x10 to 0x13", b"NAD = 0x70 to 0x7F")
    repository.add("seat.ncf", faulty)
    status, output = run(repository.path, "git", "commit", "-q", "-m", "seat")
    assert status == 1, output
    reported = [line for line in output.splitlines() if line.startswith("seat.ncf:")]
    assert reported and reported[0].endswith(": error: NAD range 0x70 to 0x7F contains reserved NAD 0x7E [nad]")
    assert "tolvane check" in output and "Failed" in output
    repository.add("seat.ncf", canonical_example())
    status, output = run(repository.path, "git", "commit", "-q", "-m", "seat")
    assert status == 0, output


def test_fmt_fails_on_a_file_out_of_layout_and_fmt_fix_rewrites_it(repository):
    repository.add("loose.ncf", canonical_example().replace(b"    ", b"  "))
    status, output = run(repository.path, PRE_COMMIT, "run", "tolvane-fmt", "--all-files")
    assert (status, "would reformat loose.ncf" in output) == (1, True), output
    config = repository.path / ".pre-commit-config.yaml"
    config.write_text(config.read_text().replace("id: tolvane-fmt\n", "id: tolvane-fmt-fix\n"))
    status, output = run(repository.path, PRE_COMMIT, "run", "tolvane-fmt-fix", "--all-files")
    assert (status, "files were modified by this hook" in output) == (1, True), output
    assert (repository.path / "loose.ncf").read_bytes() == canonical_example()
    status, output = run(repository.path, PRE_COMMIT, "run", "tolvane-fmt-fix", "--all-files")
    assert status == 0, output
