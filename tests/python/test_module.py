"""The module as Python sees it: import, names, and the examples."""

import subprocess
import sys

import tolvane
from conftest import EXAMPLES, parse_text

RECORD_CLASSES = [
    "Diagnostic", "NcfInitValue", "NcfBitrateDefinition", "NcfGeneralDef", "NcfDiagnosticDef",
    "NcfSignalProperties", "NcfSignalDef", "NcfFrameProperties", "NcfSingleFrame", "NcfLogicalValue",
    "NcfPhysicalRange", "NcfEncodingValue", "NcfEncodingEntry", "NcfStatusManagement", "NcfNodeDef",
    "NcfFile",
]


def test_docstring():
    assert tolvane.__doc__ == "C++ NCF Parser extension for Python"


def test_classes_are_registered_in_order_before_the_functions():
    public = [name for name in vars(tolvane) if not name.startswith("_")]
    assert public == RECORD_CLASSES + ["NcfParser", "to_dict", "validate", "check", "check_files", "rules", "dumps", "dump", "CodecError", "pack", "unpack",
        "protected_id", "checksum", "DecodedSignal", "encode", "decode", "ldf", "Comment", "format_text", "draw_frame", "generate_c"]


def test_import_prints_nothing():
    result = subprocess.run([sys.executable, "-c", "import tolvane"], capture_output=True, check=True)
    assert result.stdout == b"" and result.stderr == b""


def test_example_file_parses_without_diagnostics():
    parser = tolvane.NcfParser(str(EXAMPLES / "door_module.ncf"))
    ncf = parser.parse()
    assert parser.get_diagnostics() == []
    assert [node.name for node in ncf.nodes] == ["door_module"]


def test_empty_input_reports_the_missing_header():
    ncf, diagnostics = parse_text("", filename="")
    assert (ncf.filename, ncf.language_version, ncf.nodes) == ("", "<EOF>", [])
    assert diagnostics == [
        (1, 1, "Expected node_capability_file, found '<EOF>'"),
        (1, 1, "Expected ;, found '<EOF>'"),
        (1, 1, "Expected LIN_language_version, found '<EOF>'"),
        (1, 1, "Expected =, found '<EOF>'"),
        (1, 1, "Expected string literal"),
        (1, 1, "Expected ;, found '<EOF>'"),
    ]
