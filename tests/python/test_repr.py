"""The one-line text representations of every record, as repr() and str()
give them."""

import pytest

import tolvane
from api_samples import all_records, parse_full
from conftest import GENERAL, HEADER, node_text, parse_node

Diagnostic = tolvane.Diagnostic


def clean_node(**sections):
    """The one node of a file with the given sections, which must parse without diagnostics."""
    node, messages = parse_node(**sections)
    assert messages == []
    return node


def logical_value(values):
    return clean_node(encoding="encoding { e { " + values + " } }\n").encodings[0].values[0].logical_value


def physical_range(scale, offset):
    encoding = f"encoding {{ e {{ physical_value, 0, 254, {scale}, {offset}; }} }}\n"
    return clean_node(encoding=encoding).encodings[0].values[0].physical_range


def bitrate(definition):
    return clean_node(general=GENERAL.replace("bitrate = 19.2 kbps;", f"bitrate = {definition};")).general.bitrate


# Every record of the complete sample file, depth first.
FULL_RECORDS = [
    "NcfFile(filename='full.ncf', language_version='2.1', nodes=[NcfNodeDef(name='Door'), NcfNodeDef(name='Seat')])",
    "NcfNodeDef(name='Door')",
    "NcfGeneralDef(protocol_version='2.1', supplier_id=30, function_id=-2, variant_id=0)",
    "NcfBitrateDefinition(type='automatic', min_br=1.0, max_br=20.0, rates=[], fixed_rate=None)",
    "NcfDiagnosticDef(nad_lhs=1, nad_rhs=None)",
    "NcfSingleFrame(kind='publish', name='Status')",
    "NcfFrameProperties(length=4)",
    "NcfSignalDef(name='Speed', properties=NcfSignalProperties(size=16, offset=8, encoding_name='SpeedEnc'))",
    "NcfSignalProperties(size=16, offset=8, encoding_name='SpeedEnc')",
    "NcfInitValue(is_array=False, scalar=-1, array_values=[])",
    "NcfSignalDef(name='Mirror', properties=NcfSignalProperties(size=16, offset=16, encoding_name=None))",
    "NcfSignalProperties(size=16, offset=16, encoding_name=None)",
    "NcfInitValue(is_array=True, scalar=0, array_values=[1, 2, 255])",
    "NcfSingleFrame(kind='subscribe', name='Control')",
    "NcfFrameProperties(length=2)",
    "NcfEncodingEntry(name='SpeedEnc')",
    "NcfEncodingValue(type='logical')",
    "NcfLogicalValue(signal_value=0, text_info=\"it's off\")",
    "NcfEncodingValue(type='logical')",
    "NcfLogicalValue(signal_value=1, text_info=None)",
    "NcfEncodingValue(type='physical')",
    "NcfPhysicalRange(min_value=0, max_value=254, scale=0.5, offset_val=-40)",
    "NcfEncodingValue(type='bcd')",
    "NcfEncodingValue(type='ascii')",
    "NcfStatusManagement(response_error='Speed')",
    "NcfNodeDef(name='Seat')",
    "NcfGeneralDef(protocol_version='2.0', supplier_id=7, function_id=8, variant_id=9)",
    "NcfBitrateDefinition(type='select', min_br=None, max_br=None, rates=[10.0, 19.2], fixed_rate=None)",
    "NcfDiagnosticDef(nad_lhs=5, nad_rhs=6)",
    "NcfStatusManagement(response_error='Err')",
]


def test_repr_and_str_of_every_record_of_a_complete_file():
    records = all_records(parse_full()[1])
    assert [repr(record) for record in records] == FULL_RECORDS
    assert [str(record) for record in records] == FULL_RECORDS


def test_diagnostic_of_a_missing_semicolon():
    parser = tolvane.NcfParser("a.ncf", node_text(status="status_management {\n    response_error = e\n    }\n"))
    parser.parse()
    diagnostics = parser.get_diagnostics()
    # The message's own quotes are not escaped.
    expected = (
        "Diagnostic(severity=<Severity.Error: 0>, file='a.ncf', line=9, column=5, message='Expected ;, found '}'')"
    )
    assert [repr(d) for d in diagnostics] == [expected]
    assert str(diagnostics[0]) == expected


@pytest.mark.parametrize(
    ("init_value", "expected"),
    [
        ("{ 7 }", "NcfInitValue(is_array=True, scalar=0, array_values=[7])"),
        ("{ -1, -2147483648 }", "NcfInitValue(is_array=True, scalar=0, array_values=[-1, -2147483648])"),
        ("2147483647", "NcfInitValue(is_array=False, scalar=2147483647, array_values=[])"),
    ],
)
def test_init_value(init_value, expected):
    frames = f"frames {{ publish f {{ length = 1; signals {{ s {{ init_value = {init_value}; }} }} }} }}\n"
    assert repr(clean_node(frames=frames).frames[0].signals[0].properties.init_value) == expected


# --- numbers ------------------------------------------------------------------


@pytest.mark.parametrize(
    ("written", "shown"),
    [
        ("1.0", "1"),
        ("0.5", "0.5"),
        ("-40", "-40"),
        ("20.0", "20"),  # a bit rate of 20.0 shows as 20.0: see below
        ("0.1", "0.1"),
        ("0.0", "0"),
        ("-0.0", "-0"),
        # Six significant digits, rounded.
        ("123456", "123456"),
        ("1234567", "1.23457e+06"),
        ("0.000123456789", "0.000123457"),
        ("3.14159265", "3.14159"),
        ("999999.5", "1e+06"),
        # The switch to exponent notation: exponents -5 and 6, not -4 and 5.
        ("0.0001", "0.0001"),
        ("0.00009", "9e-05"),
        ("0.00001", "1e-05"),
        ("999999", "999999"),
        ("1000000", "1e+06"),
        ("100000", "100000"),
        # At least two exponent digits, more when needed.
        ("1e15", "1e+15"),
        ("1e-100", "1e-100"),
        ("1.5e300", "1.5e+300"),
        ("0x10", "16"),
    ],
)
def test_physical_scale_and_offset_show_six_significant_digits(written, shown):
    assert repr(physical_range(written, written)) == (
        f"NcfPhysicalRange(min_value=0, max_value=254, scale={shown}, offset_val={shown})"
    )


@pytest.mark.parametrize(
    ("definition", "fields"),
    [
        ("20.0 kbps", "'fixed', min_br=None, max_br=None, rates=[], fixed_rate=20.0"),
        ("10 kbps", "'fixed', min_br=None, max_br=None, rates=[], fixed_rate=10.0"),
        ("1234567 kbps", "'fixed', min_br=None, max_br=None, rates=[], fixed_rate=1234567.0"),
        ("1e16 kbps", "'fixed', min_br=None, max_br=None, rates=[], fixed_rate=1e+16"),
        ("automatic min 0.00001 kbps", "'automatic', min_br=1e-05, max_br=None, rates=[], fixed_rate=None"),
        ("automatic max 3.14159265 kbps", "'automatic', min_br=None, max_br=3.14159265, rates=[], fixed_rate=None"),
        ("automatic", "'automatic', min_br=None, max_br=None, rates=[], fixed_rate=None"),
        ("select { 10 kbps, 19.2 kbps, 20.0 kbps }", "'select', min_br=None, max_br=None, rates=[10.0, 19.2, 20.0], "
         "fixed_rate=None"),
    ],
)
def test_bitrates_show_as_python_floats(definition, fields):
    assert repr(bitrate(definition)) == f"NcfBitrateDefinition(type={fields})"


EXTREMES = GENERAL.replace("supplier = 1", "supplier = -2147483648").replace("variant = 0", "variant = 2147483647")
HEX_AND_NEGATIVE = GENERAL.replace("function = 2", "function = -1").replace("supplier = 1", "supplier = 0x7FFF")


@pytest.mark.parametrize(
    ("section", "text", "expected"),
    [
        (
            "general",
            EXTREMES,
            "NcfGeneralDef(protocol_version='2.1', supplier_id=-2147483648, function_id=2, variant_id=2147483647)",
        ),
        (
            "general",
            HEX_AND_NEGATIVE,
            "NcfGeneralDef(protocol_version='2.1', supplier_id=32767, function_id=-1, variant_id=0)",
        ),
        ("diagnostic", "diagnostic { NAD = -1; }\n", "NcfDiagnosticDef(nad_lhs=-1, nad_rhs=None)"),
        ("diagnostic", "diagnostic { NAD = 1 to -2; }\n", "NcfDiagnosticDef(nad_lhs=1, nad_rhs=-2)"),
    ],
)
def test_integers(section, text, expected):
    assert repr(getattr(clean_node(**{section: text}), section)) == expected


# --- raw text against Python's repr of optional text --------------------------


@pytest.mark.parametrize(
    ("text_info", "shown"),
    [
        ('"it\'s"', "text_info=\"it's\""),  # a single quote: Python picks double quotes
        ('"say \\"hi\\""', "text_info='say \\\\\"hi\\\\\"'"),  # the backslashes are part of the text
        ('"both \' and \\""', "text_info='both \\' and \\\\\"'"),
        ('"a\nb"', "text_info='a\\nb'"),  # a line feed is escaped
        ('"tab\there"', "text_info='tab\\there'"),
        ('"\x7f"', "text_info='\\x7f'"),  # not printable: escaped
        # The str's UTF-8 bytes read as Latin-1: printable, so not escaped.
        ('"é"', "text_info='Ã©'"),
        ('""', "text_info=''"),  # empty, not absent
    ],
    ids=["single quote", "escaped double quotes", "both quotes", "line feed", "tab", "delete", "non-ascii", "empty"],
)
def test_optional_text_is_shown_as_python_shows_a_str(text_info, shown):
    value = logical_value(f"logical_value, 3, {text_info};")
    assert repr(value) == f"NcfLogicalValue(signal_value=3, {shown})"
    assert repr(value) == f"NcfLogicalValue(signal_value=3, text_info={value.text_info!r})"


@pytest.mark.parametrize(
    ("name", "shown"),
    [
        ('"Door\'s"', "NcfNodeDef(name='Door's')"),
        ('"a\nb"', "NcfNodeDef(name='a\nb')"),  # a real line feed, not an escape
        ('"back\\slash"', "NcfNodeDef(name='back\\slash')"),
        ('"\xe9t\xe9"', "NcfNodeDef(name='été')"),
        ('""', "NcfNodeDef(name='')"),
    ],
    ids=["single quote", "line feed", "backslash", "latin-1", "empty"],
)
def test_required_text_is_shown_raw_between_quotes(name, shown):
    parser = tolvane.NcfParser("a", node_text().replace("node n {", f"node {name} {{").encode("latin-1"))
    node = parser.parse().nodes[0]
    assert parser.get_diagnostics() == []
    assert repr(node) == shown


def test_file_name_is_shown_raw():
    ncf = tolvane.NcfParser("it's a\tname", HEADER).parse()
    assert repr(ncf) == "NcfFile(filename='it's a\tname', language_version='2.1', nodes=[])"


@pytest.mark.parametrize(
    ("member", "shown"),
    [
        (Diagnostic.Error, "<Severity.Error: 0>"),
        (Diagnostic.Warning, "<Severity.Warning: 1>"),
        (Diagnostic.Info, "<Severity.Info: 2>"),
    ],
)
def test_severity_repr(member, shown):
    assert repr(member) == repr(Diagnostic.Severity(member.value)) == shown


# --- records filled after errors ----------------------------------------------


def test_records_after_a_node_cut_short_show_their_defaults():
    parser = tolvane.NcfParser("", HEADER + "node n")
    ncf = parser.parse()
    assert len(parser.get_diagnostics()) == 42
    assert [repr(record) for record in all_records(ncf)] == [
        "NcfFile(filename='', language_version='2.1', nodes=[NcfNodeDef(name='n')])",
        "NcfNodeDef(name='n')",
        "NcfGeneralDef(protocol_version='<EOF>', supplier_id=0, function_id=0, variant_id=0)",
        "NcfBitrateDefinition(type='fixed', min_br=None, max_br=None, rates=[], fixed_rate=0.0)",
        "NcfDiagnosticDef(nad_lhs=0, nad_rhs=None)",
        "NcfStatusManagement(response_error='<EOF>')",
    ]
    assert repr(tolvane.NcfParser().parse()) == "NcfFile(filename='', language_version='<EOF>', nodes=[])"


def test_values_that_failed_to_read_show_zero():
    encoding = "encoding { e { logical_value, x; physical_value, a, b, c, d; } }\n"
    frames = "frames { publish f { length = x; signals { s { } } } }\n"
    node, messages = parse_node(frames=frames, encoding=encoding)
    assert messages == [f"Expected integer, found '{token}'" for token in "xxab"] + [
        f"Expected number, found '{token}'" for token in "cd"
    ]
    frame = node.frames[0]
    values = node.encodings[0].values
    assert [
        repr(frame.properties),
        repr(frame.signals[0]),
        repr(frame.signals[0].properties.init_value),
        repr(values[0].logical_value),
        repr(values[1].physical_range),
    ] == [
        "NcfFrameProperties(length=0)",
        "NcfSignalDef(name='s', properties=NcfSignalProperties(size=0, offset=0, encoding_name=None))",
        "NcfInitValue(is_array=False, scalar=0, array_values=[])",
        "NcfLogicalValue(signal_value=0, text_info=None)",
        "NcfPhysicalRange(min_value=0, max_value=0, scale=0, offset_val=0)",
    ]
