"""The one-line text representations of every record, as repr() and str()
give them."""

import pytest

import tolvane
from api_samples import all_records, one_record_of_each_class, parse_full
from conftest import DIAGNOSTIC, FRAMES, GENERAL, HEADER, STATUS, node_text, parse_node

Diagnostic = tolvane.Diagnostic


def node_with_encoding(values):
    """The one node of a file whose encoding section holds `values` for one
    encoding, with no diagnostics."""
    node, messages = parse_node(encoding="encoding { e { " + values + " } }\n")
    assert messages == []
    return node


def physical_range(scale, offset):
    values = node_with_encoding(f"physical_value, 0, 254, {scale}, {offset};").encodings[0].values
    return values[0].physical_range


def bitrate(definition):
    general = GENERAL.replace("bitrate = 19.2 kbps;", f"bitrate = {definition};")
    node, messages = parse_node(general=general)
    assert messages == []
    return node.general.bitrate


# --- every record of a complete file ------------------------------------------


@pytest.mark.parametrize(
    ("path", "expected"),
    [
        (
            lambda ncf: ncf,
            "NcfFile(filename='full.ncf', language_version='2.1', "
            "nodes=[NcfNodeDef(name='Door'), NcfNodeDef(name='Seat')])",
        ),
        (lambda ncf: ncf.nodes[0], "NcfNodeDef(name='Door')"),
        (
            lambda ncf: ncf.nodes[0].general,
            "NcfGeneralDef(protocol_version='2.1', supplier_id=30, function_id=-2, variant_id=0)",
        ),
        (
            lambda ncf: ncf.nodes[0].general.bitrate,
            "NcfBitrateDefinition(type='automatic', min_br=1.0, max_br=20.0, rates=[], fixed_rate=None)",
        ),
        (
            lambda ncf: ncf.nodes[1].general.bitrate,
            "NcfBitrateDefinition(type='select', min_br=None, max_br=None, rates=[10.0, 19.2], fixed_rate=None)",
        ),
        (lambda ncf: ncf.nodes[0].diagnostic, "NcfDiagnosticDef(nad_lhs=1, nad_rhs=None)"),
        (lambda ncf: ncf.nodes[1].diagnostic, "NcfDiagnosticDef(nad_lhs=5, nad_rhs=6)"),
        (lambda ncf: ncf.nodes[0].frames[0], "NcfSingleFrame(kind='publish', name='Status')"),
        (lambda ncf: ncf.nodes[0].frames[1], "NcfSingleFrame(kind='subscribe', name='Control')"),
        (lambda ncf: ncf.nodes[0].frames[0].properties, "NcfFrameProperties(length=4)"),
        (
            lambda ncf: ncf.nodes[0].frames[0].signals[0],
            "NcfSignalDef(name='Speed', properties=NcfSignalProperties(size=16, offset=8, encoding_name='SpeedEnc'))",
        ),
        (
            lambda ncf: ncf.nodes[0].frames[0].signals[1].properties,
            "NcfSignalProperties(size=16, offset=16, encoding_name=None)",
        ),
        (
            lambda ncf: ncf.nodes[0].frames[0].signals[0].properties.init_value,
            "NcfInitValue(is_array=False, scalar=-1, array_values=[])",
        ),
        (
            lambda ncf: ncf.nodes[0].frames[0].signals[1].properties.init_value,
            "NcfInitValue(is_array=True, scalar=0, array_values=[1, 2, 255])",
        ),
        (lambda ncf: ncf.nodes[0].encodings[0], "NcfEncodingEntry(name='SpeedEnc')"),
        (lambda ncf: ncf.nodes[0].encodings[0].values[0], "NcfEncodingValue(type='logical')"),
        (lambda ncf: ncf.nodes[0].encodings[0].values[2], "NcfEncodingValue(type='physical')"),
        (lambda ncf: ncf.nodes[0].encodings[0].values[3], "NcfEncodingValue(type='bcd')"),
        (lambda ncf: ncf.nodes[0].encodings[0].values[4], "NcfEncodingValue(type='ascii')"),
        (
            lambda ncf: ncf.nodes[0].encodings[0].values[0].logical_value,
            "NcfLogicalValue(signal_value=0, text_info=\"it's off\")",
        ),
        (
            lambda ncf: ncf.nodes[0].encodings[0].values[1].logical_value,
            "NcfLogicalValue(signal_value=1, text_info=None)",
        ),
        (
            lambda ncf: ncf.nodes[0].encodings[0].values[2].physical_range,
            "NcfPhysicalRange(min_value=0, max_value=254, scale=0.5, offset_val=-40)",
        ),
        (lambda ncf: ncf.nodes[0].status, "NcfStatusManagement(response_error='Speed')"),
    ],
)
def test_repr_of_each_record_of_a_complete_file(path, expected):
    assert repr(path(parse_full()[1])) == expected


def test_str_equals_repr_for_every_record_of_a_complete_file():
    parser, ncf = parse_full()
    records = all_records(ncf)
    assert len(records) == 30
    for record in records:
        assert str(record) == repr(record)
    assert {type(record).__name__ for record in records} == set(one_record_of_each_class()) - {"Diagnostic"}


@pytest.mark.parametrize("class_name", list(one_record_of_each_class()))
def test_str_equals_repr_for_every_class(class_name):
    record = one_record_of_each_class()[class_name]
    assert str(record) == repr(record)
    assert repr(record).startswith(class_name + "(")
    assert f"{record}" == f"{record!r}"


# --- the examples of the texts, verbatim --------------------------------------


def test_file_with_two_nodes():
    body = GENERAL + DIAGNOSTIC + FRAMES + STATUS
    text = HEADER + "node Door {\n" + body + "}\nnode Seat {\n" + body + "}\n"
    parser = tolvane.NcfParser("a.ncf", text)
    ncf = parser.parse()
    assert parser.get_diagnostics() == []
    assert repr(ncf) == (
        "NcfFile(filename='a.ncf', language_version='2.1', nodes=[NcfNodeDef(name='Door'), NcfNodeDef(name='Seat')])"
    )


def test_signal_with_its_properties():
    frames = "frames { publish f { length = 2; signals { Speed { size = 16; offset = 8; } } } }\n"
    node, messages = parse_node(frames=frames)
    assert messages == []
    assert repr(node.frames[0].signals[0]) == (
        "NcfSignalDef(name='Speed', properties=NcfSignalProperties(size=16, offset=8, encoding_name=None))"
    )


def test_automatic_bitrate():
    assert repr(bitrate("automatic min 1.0 kbps max 20.0 kbps")) == (
        "NcfBitrateDefinition(type='automatic', min_br=1.0, max_br=20.0, rates=[], fixed_rate=None)"
    )


def test_physical_range():
    assert repr(physical_range("0.5", "-40.0")) == (
        "NcfPhysicalRange(min_value=0, max_value=254, scale=0.5, offset_val=-40)"
    )


@pytest.mark.parametrize(
    ("init_value", "expected"),
    [
        ("5", "NcfInitValue(is_array=False, scalar=5, array_values=[])"),
        ("{ 1, 2, 255 }", "NcfInitValue(is_array=True, scalar=0, array_values=[1, 2, 255])"),
        ("{ 7 }", "NcfInitValue(is_array=True, scalar=0, array_values=[7])"),
        ("-1", "NcfInitValue(is_array=False, scalar=-1, array_values=[])"),
        ("{ -1, -2147483648 }", "NcfInitValue(is_array=True, scalar=0, array_values=[-1, -2147483648])"),
        ("2147483647", "NcfInitValue(is_array=False, scalar=2147483647, array_values=[])"),
    ],
)
def test_init_value(init_value, expected):
    frames = f"frames {{ publish f {{ length = 1; signals {{ s {{ init_value = {init_value}; }} }} }} }}\n"
    node, messages = parse_node(frames=frames)
    assert messages == []
    assert repr(node.frames[0].signals[0].properties.init_value) == expected


def test_diagnostic_of_a_missing_semicolon():
    lines = [
        "node_capability_file;",
        'LIN_language_version = "2.1";',
        "node Door {",
        "  general {",
        '    LIN_protocol_version = "2.1"; supplier = 1; function = 2; variant = 0;',
        "    bitrate = 19.2 kbps;",
        "  }",
        "  diagnostic { NAD = 1; }",
        "  frames { }",
        "  status_management {",
        "    response_error = e",
        "    }",
        "}",
    ]
    parser = tolvane.NcfParser("a.ncf", "\n".join(lines))
    parser.parse()
    diagnostics = parser.get_diagnostics()
    assert len(diagnostics) == 1
    # The message's own quotes are not escaped.
    expected = (
        "Diagnostic(severity=<Severity.Error: 0>, file='a.ncf', line=12, column=5, "
        "message='Expected ;, found '}'')"
    )
    assert repr(diagnostics[0]) == expected
    assert str(diagnostics[0]) == expected


# --- numbers ------------------------------------------------------------------


@pytest.mark.parametrize(
    ("written", "shown"),
    [
        ("1.0", "1"),
        ("0.5", "0.5"),
        ("-40", "-40"),
        ("20.0", "20"),
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
    ("definition", "expected"),
    [
        ("20.0 kbps", "NcfBitrateDefinition(type='fixed', min_br=None, max_br=None, rates=[], fixed_rate=20.0)"),
        ("19.2 kbps", "NcfBitrateDefinition(type='fixed', min_br=None, max_br=None, rates=[], fixed_rate=19.2)"),
        ("10 kbps", "NcfBitrateDefinition(type='fixed', min_br=None, max_br=None, rates=[], fixed_rate=10.0)"),
        (
            "1234567 kbps",
            "NcfBitrateDefinition(type='fixed', min_br=None, max_br=None, rates=[], fixed_rate=1234567.0)",
        ),
        ("1e16 kbps", "NcfBitrateDefinition(type='fixed', min_br=None, max_br=None, rates=[], fixed_rate=1e+16)"),
        (
            "automatic min 0.00001 kbps",
            "NcfBitrateDefinition(type='automatic', min_br=1e-05, max_br=None, rates=[], fixed_rate=None)",
        ),
        (
            "automatic max 3.14159265 kbps",
            "NcfBitrateDefinition(type='automatic', min_br=None, max_br=3.14159265, rates=[], fixed_rate=None)",
        ),
        ("automatic", "NcfBitrateDefinition(type='automatic', min_br=None, max_br=None, rates=[], fixed_rate=None)"),
        (
            "select { 19.2 kbps }",
            "NcfBitrateDefinition(type='select', min_br=None, max_br=None, rates=[19.2], fixed_rate=None)",
        ),
        (
            "select { 10 kbps, 19.2 kbps, 20.0 kbps }",
            "NcfBitrateDefinition(type='select', min_br=None, max_br=None, rates=[10.0, 19.2, 20.0], fixed_rate=None)",
        ),
    ],
)
def test_bitrates_show_as_python_floats(definition, expected):
    assert repr(bitrate(definition)) == expected


def test_the_same_number_shows_differently_as_bitrate_and_as_scale():
    assert "fixed_rate=20.0)" in repr(bitrate("20.0 kbps"))
    assert "scale=20," in repr(physical_range("20.0", "0"))


@pytest.mark.parametrize(
    ("general", "expected"),
    [
        (
            GENERAL.replace("supplier = 1", "supplier = -2147483648").replace("variant = 0", "variant = 2147483647"),
            "NcfGeneralDef(protocol_version='2.1', supplier_id=-2147483648, function_id=2, variant_id=2147483647)",
        ),
        (
            GENERAL.replace("function = 2", "function = -1").replace("supplier = 1", "supplier = 0x7FFF"),
            "NcfGeneralDef(protocol_version='2.1', supplier_id=32767, function_id=-1, variant_id=0)",
        ),
    ],
)
def test_general_integers(general, expected):
    node, messages = parse_node(general=general)
    assert messages == []
    assert repr(node.general) == expected


@pytest.mark.parametrize(
    ("nad", "expected"),
    [
        ("-1", "NcfDiagnosticDef(nad_lhs=-1, nad_rhs=None)"),
        ("1 to -2", "NcfDiagnosticDef(nad_lhs=1, nad_rhs=-2)"),
        ("0x10 to 0x13", "NcfDiagnosticDef(nad_lhs=16, nad_rhs=19)"),
        ("1, 2, 3", "NcfDiagnosticDef(nad_lhs=1, nad_rhs=None)"),
    ],
)
def test_diagnostic_definition(nad, expected):
    node, messages = parse_node(diagnostic=f"diagnostic {{ NAD = {nad}; }}\n")
    assert messages == []
    assert repr(node.diagnostic) == expected


@pytest.mark.parametrize(
    ("values", "expected"),
    [
        ("logical_value, -5;", "NcfLogicalValue(signal_value=-5, text_info=None)"),
        ('logical_value, 1, "on";', "NcfLogicalValue(signal_value=1, text_info='on')"),
        ('logical_value, 1, "";', "NcfLogicalValue(signal_value=1, text_info='')"),
    ],
)
def test_logical_value(values, expected):
    assert repr(node_with_encoding(values).encodings[0].values[0].logical_value) == expected


def test_physical_range_negative_limits_and_no_text_info():
    values = node_with_encoding('physical_value, -10, -1, 2, 3, "hidden";').encodings[0].values
    assert repr(values[0].physical_range) == "NcfPhysicalRange(min_value=-10, max_value=-1, scale=2, offset_val=3)"


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
    ],
    ids=["single quote", "escaped double quotes", "both quotes", "line feed", "tab", "delete", "non-ascii"],
)
def test_optional_text_is_shown_as_python_shows_a_str(text_info, shown):
    value = node_with_encoding(f"logical_value, 3, {text_info};").encodings[0].values[0].logical_value
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
    text = node_text().replace("node n {", f"node {name} {{")
    parser = tolvane.NcfParser("a", text.encode("latin-1"))
    node = parser.parse().nodes[0]
    assert parser.get_diagnostics() == []
    assert repr(node) == shown


def test_file_name_is_shown_raw():
    ncf = tolvane.NcfParser("it's a\tname", HEADER).parse()
    assert repr(ncf) == "NcfFile(filename='it's a\tname', language_version='2.1', nodes=[])"


def test_encoding_name_is_shown_as_python_shows_a_str():
    frames = "frames { publish f { length = 1; signals { s { size = 1; enc_1; } } } }\n"
    node, messages = parse_node(frames=frames)
    assert messages == []
    assert repr(node.frames[0].signals[0].properties) == "NcfSignalProperties(size=1, offset=0, encoding_name='enc_1')"


# --- severities ---------------------------------------------------------------


@pytest.mark.parametrize(
    ("member", "shown"),
    [
        (Diagnostic.Error, "<Severity.Error: 0>"),
        (Diagnostic.Warning, "<Severity.Warning: 1>"),
        (Diagnostic.Info, "<Severity.Info: 2>"),
    ],
)
def test_severity_repr(member, shown):
    assert repr(member) == shown
    assert repr(Diagnostic.Severity(member.value)) == shown


# --- records filled after errors ----------------------------------------------


def test_records_after_a_node_cut_short_show_their_defaults():
    parser = tolvane.NcfParser("", HEADER + "node n")
    ncf = parser.parse()
    node = ncf.nodes[0]
    assert len(parser.get_diagnostics()) == 42
    assert [repr(record) for record in all_records(ncf)] == [
        "NcfFile(filename='', language_version='2.1', nodes=[NcfNodeDef(name='n')])",
        "NcfNodeDef(name='n')",
        "NcfGeneralDef(protocol_version='<EOF>', supplier_id=0, function_id=0, variant_id=0)",
        "NcfBitrateDefinition(type='fixed', min_br=None, max_br=None, rates=[], fixed_rate=0.0)",
        "NcfDiagnosticDef(nad_lhs=0, nad_rhs=None)",
        "NcfStatusManagement(response_error='<EOF>')",
    ]
    assert (node.frames, node.encodings, node.free_text) == ([], [], None)


def test_empty_input_shows_no_nodes():
    ncf = tolvane.NcfParser().parse()
    assert repr(ncf) == "NcfFile(filename='', language_version='<EOF>', nodes=[])"
    assert str(ncf) == repr(ncf)


def test_values_that_failed_to_read_show_zero():
    encoding = "encoding { e { logical_value, x; physical_value, a, b, c, d; } }\n"
    frames = "frames { publish f { length = x; signals { s { } } } }\n"
    node, messages = parse_node(frames=frames, encoding=encoding)
    assert messages == [
        "Expected integer, found 'x'",
        "Expected integer, found 'x'",
        "Expected integer, found 'a'",
        "Expected integer, found 'b'",
        "Expected number, found 'c'",
        "Expected number, found 'd'",
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

