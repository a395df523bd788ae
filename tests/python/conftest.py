"""Helpers shared by the Python tests."""

import ctypes
import os
import pathlib

import pytest

import tolvane

# The shared table helpers assert; let pytest show what differed.
pytest.register_assert_rewrite("rules_cases")


def pytest_addoption(parser):
    parser.addoption("--update-goldens", action="store_true",
                     help="rewrite tests/data/*.json from what the parser gives now (review the diff)")


ROOT = pathlib.Path(__file__).resolve().parents[2]


def module_path():
    """A PYTHONPATH under which a child process imports the tolvane and
    tolvane_cli that these tests import (the module's folder, and the folder
    that holds the tolvane_cli package)."""
    import os

    import tolvane_cli

    return os.pathsep.join([os.path.dirname(tolvane.__file__), str(pathlib.Path(tolvane_cli.__file__).parents[1])])

EXAMPLES = ROOT / "examples"
DATA = ROOT / "tests" / "data"
CORPUS = ROOT.parent / "shared" / "corpus" / "real"

# A complete, valid file around one node; tests substitute one section.
# Each section stands on a line of its own: the header takes lines 1 and 2,
# "node n {" line 3, general line 4, diagnostic line 5, frames line 6, then
# the encoding (when given), status management and free text sections.
# Set by tools/sanitize-module, which runs the suite with the module built
# with AddressSanitizer: memory is then held in quarantine after it is freed
# and the address space is reserved in terabytes, so resident-set and
# address-space limits say nothing there (LeakSanitizer checks leaks instead).
SANITIZED = os.environ.get("TOLVANE_SANITIZED") == "1"
not_sanitized = pytest.mark.skipif(SANITIZED, reason="memory figures mean nothing under AddressSanitizer")

HEADER = 'node_capability_file;\nLIN_language_version = "2.1";\n'
GENERAL = (
    'general { LIN_protocol_version = "2.1"; supplier = 1; function = 2; '
    "variant = 0; bitrate = 19.2 kbps; }\n"
)
DIAGNOSTIC = "diagnostic { NAD = 1; }\n"
FRAMES = "frames { }\n"
STATUS = "status_management { response_error = e; }\n"

# What a parse reports, all at one position, when its first token is already
# the end of input (an empty text, or a second parse after a complete one).
END_OF_INPUT_MESSAGES = [
    "Expected node_capability_file, found '<EOF>'",
    "Expected ;, found '<EOF>'",
    "Expected LIN_language_version, found '<EOF>'",
    "Expected =, found '<EOF>'",
    "Expected string literal",
    "Expected ;, found '<EOF>'",
]


def node_text(general=GENERAL, diagnostic=DIAGNOSTIC, frames=FRAMES, encoding="", status=STATUS, free_text=""):
    """A file with one node named n whose sections are the given texts."""
    return HEADER + "node n {\n" + general + diagnostic + frames + encoding + status + free_text + "}\n"


def parse_text(text, filename="test.ncf"):
    """Parses `text`; returns the NcfFile and the diagnostics as
    (line, column, message) tuples."""
    parser = tolvane.NcfParser(filename, text)
    ncf = parser.parse()
    return ncf, [(d.line, d.column, d.message) for d in parser.get_diagnostics()]


def parse_node(**sections):
    """Parses a one-node file; returns the node and the diagnostic messages."""
    ncf, diagnostics = parse_text(node_text(**sections))
    assert len(ncf.nodes) == 1
    return ncf.nodes[0], [message for _, _, message in diagnostics]


def parse_node_at(**sections):
    """Like parse_node, with the diagnostics as (line, column, message)."""
    ncf, diagnostics = parse_text(node_text(**sections))
    assert len(ncf.nodes) == 1
    return ncf.nodes[0], diagnostics


def check_diagnostics(actual, expected):
    """Checks (line, column, message) diagnostics against `expected`. When
    `expected` ends with ..., it pins only the start of a longer run (the
    recovery goes on into later sections); otherwise the whole list."""
    if expected and expected[-1] is ...:
        assert actual[: len(expected) - 1] == expected[:-1]
        assert len(actual) >= len(expected)
    else:
        assert actual == expected


def assert_diagnostics(text, expected):
    """Parses `text`, checks its diagnostics against `expected` as
    check_diagnostics does, and returns the NcfFile."""
    ncf, diagnostics = parse_text(text)
    check_diagnostics(diagnostics, expected)
    return ncf


def fields(cls):
    """The names of a record class's fields, in declaration order."""
    return list(cls.__match_args__)


def to_dict(value):
    """A record tree as plain dicts, lists and scalars, every field included
    in declaration order; the severity of a diagnostic by its name."""
    if isinstance(value, list):
        return [to_dict(item) for item in value]
    if isinstance(value, tolvane.Diagnostic.Severity):
        return value.name
    if value is None or isinstance(value, (str, int, float)):
        return value
    return {name: to_dict(getattr(value, name)) for name in fields(type(value))}


@pytest.fixture
def corpus_files():
    if not CORPUS.is_dir():
        pytest.skip("the shared corpus is not beside the checkout")
    return sorted(p for p in CORPUS.iterdir() if p.suffix in (".ncf", ".nfc"))


_libc = ctypes.CDLL(None)


@pytest.fixture
def c_stdout(capfdbinary):
    """Reads what has been written to file descriptor 1 since the last read,
    C stdio buffers included (the parser's trace)."""
    _libc.fflush(None)  # leave out what earlier tests left in the buffer
    capfdbinary.readouterr()

    def read():
        _libc.fflush(None)
        return capfdbinary.readouterr().out

    return read
