"""Helpers shared by the Python tests."""

import pathlib

import pytest

import tolvane

ROOT = pathlib.Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"
CORPUS = ROOT.parent / "shared" / "corpus" / "real"

# A complete, valid file around one node; tests substitute one section.
HEADER = 'node_capability_file;\nLIN_language_version = "2.1";\n'
GENERAL = (
    'general { LIN_protocol_version = "2.1"; supplier = 1; function = 2; '
    "variant = 0; bitrate = 19.2 kbps; }\n"
)
DIAGNOSTIC = "diagnostic { NAD = 1; }\n"
FRAMES = "frames { }\n"
STATUS = "status_management { response_error = e; }\n"


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


@pytest.fixture
def corpus_files():
    if not CORPUS.is_dir():
        pytest.skip("the shared corpus is not beside the checkout")
    return sorted(p for p in CORPUS.iterdir() if p.suffix in (".ncf", ".nfc"))
