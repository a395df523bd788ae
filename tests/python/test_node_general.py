"""A node definition, its general section and the bit rate."""

import pytest

from conftest import assert_diagnostics, check_diagnostics, node_text, parse_node_at, to_dict


# The general section over three lines: the first four mandatory statements
# on line 4, the bit rate statement on line 5 (its value from column 11), the
# optional statements on line 6 from column 1, then the diagnostic section.
def general(bitrate="19.2 kbps", optional=""):
    first = 'general { LIN_protocol_version = "2.1"; supplier = 1; function = 2; variant = 0;'
    return f"{first}\nbitrate = {bitrate};\n{optional} }}\n"


BITRATE = {"type": "fixed", "min_br": None, "max_br": None, "rates": [], "fixed_rate": 19.2}
GENERAL = {
    "protocol_version": "2.1", "supplier_id": 1, "function_id": 2, "variant_id": 0, "bitrate": BITRATE,
    "sends_wake_up_signal": None, "volt_from": None, "volt_to": None, "temp_from": None, "temp_to": None,
    "conformance": None,
}  # fmt: skip


def diagnostic_section_meets(line, column, text):
    """The diagnostic section's first expectations against a token that the
    general section left over."""
    return [(line, column, f"Expected {what}, found '{text}'") for what in ("diagnostic", "{", "NAD", "=")]


def test_the_smallest_node_has_every_field():
    ncf = assert_diagnostics(node_text(), [])
    assert to_dict(ncf.nodes[0]) == {
        "name": "n",
        "general": GENERAL,
        "diagnostic": {
            "nad_lhs": 1, "nad_rhs": None, "nad_list": [], "diagnostic_class": None, "p2_min": None,
            "st_min": None, "n_as_timeout": None, "n_cr_timeout": None, "support_sids": [],
            "max_message_length": None,
        },  # fmt: skip
        "frames": [],
        "encodings": [],
        "status": {"response_error": "e", "fault_state_signals": []},
        "free_text": None,
    }


@pytest.mark.parametrize(
    "optional, changes",
    [
        ("sends_wake_up_signal = yes;", {"sends_wake_up_signal": True}),
        ("sends_wake_up_signal = no;", {"sends_wake_up_signal": False}),
        ('sends_wake_up_signal = "yes";', {"sends_wake_up_signal": True}),
        ('sends_wake_up_signal = "YES";', {"sends_wake_up_signal": False}),
        ('sends_wake_up_signal = "yes ";', {"sends_wake_up_signal": False}),
        (
            "volt_range = 7.0, 18.0; temp_range = -40, 85;",
            {"volt_from": 7.0, "volt_to": 18.0, "temp_from": -40.0, "temp_to": 85.0},
        ),
        (
            'sends_wake_up_signal = no; volt_range = 9, 0x10; temp_range = -4e1, .5; conformance = "";',
            {
                "sends_wake_up_signal": False, "volt_from": 9.0, "volt_to": 16.0, "temp_from": -40.0,
                "temp_to": 0.5, "conformance": "",
            },  # fmt: skip
        ),
    ],
)
def test_optional_statements(optional, changes):
    node, diagnostics = parse_node_at(general=general(optional=optional))
    assert diagnostics == []
    assert to_dict(node.general) == GENERAL | changes


@pytest.mark.parametrize(
    "optional, changes, expected",
    [
        # The offending token stays current for the ";" and "}" that follow.
        (
            "sends_wake_up_signal = 1;",
            {},
            [(6, 24, "Expected 'yes' or 'no'"), (6, 24, "Expected ;, found '1'"), (6, 24, "Expected }, found '1'")]
            + diagnostic_section_meets(6, 24, "1") + [...],
        ),
        ("sends_wake_up_signal = ;", {}, [(6, 24, "Expected 'yes' or 'no'")]),
        ("volt_range = 7.0 18.0;", {"volt_from": 7.0, "volt_to": 18.0}, [(6, 18, "Expected ,, found '18.0'")]),
        ("volt_range = a, 18;", {"volt_from": 0.0, "volt_to": 18.0}, [(6, 14, "Expected number, found 'a'")]),
        ("conformance = LIN21;", {"conformance": "LIN21"}, [(6, 15, "Expected string literal")]),
        # An optional statement before one tested earlier is not read.
        (
            "temp_range = -40, 85; volt_range = 7, 18;",
            {"temp_from": -40.0, "temp_to": 85.0},
            [(6, 23, "Expected }, found 'volt_range'")] + diagnostic_section_meets(6, 23, "volt_range")
            + [(6, 23, "Expected integer, found 'volt_range'"), ...],
        ),
        (
            "response_tolerance = 40;",
            {},
            [(6, 1, "Expected }, found 'response_tolerance'")]
            + diagnostic_section_meets(6, 1, "response_tolerance") + [...],
        ),
    ],
)
def test_optional_statement_problems(optional, changes, expected):
    node, diagnostics = parse_node_at(general=general(optional=optional))
    check_diagnostics(diagnostics, expected)
    assert to_dict(node.general) == GENERAL | changes


@pytest.mark.parametrize(
    "bitrate, fields, expected",
    [
        ("automatic", {"type": "automatic"}, []),
        ("automatic max 20 kbps", {"type": "automatic", "max_br": 20.0}, []),
        ("automatic min 9.6 kbps max 0x14 kbps", {"type": "automatic", "min_br": 9.6, "max_br": 20.0}, []),
        (
            "automatic min 10 max 20 kbps",
            {"type": "automatic", "min_br": 10.0, "max_br": 20.0},
            [(5, 28, "Expected kbps, found 'max'")],
        ),
        (
            "automatic max 20 kbps min 10 kbps",
            {"type": "automatic", "max_br": 20.0},
            [(5, 33, "Expected ;, found 'min'"), (5, 33, "Expected }, found 'min'"), ...],
        ),
        ("select { 9.6 kbps, 19.2 kbps, 20 kbps }", {"type": "select", "rates": [9.6, 19.2, 20.0]}, []),
        (
            "select { }",
            {"type": "select", "rates": [0.0]},
            [
                (5, 20, "Expected number, found '}'"),
                (5, 21, "Expected kbps, found ';'"),
                (5, 21, "Expected }, found ';'"),
            ],
        ),
        (
            "select { 9.6 kbps 19.2 kbps }",
            {"type": "select", "rates": [9.6]},
            [(5, 29, "Expected }, found '19.2'"), (5, 29, "Expected ;, found '19.2'"), ...],
        ),
        ("19.2", {"fixed_rate": 19.2}, [(5, 15, "Expected kbps, found ';'")]),
        ("kbps", {"fixed_rate": 0.0}, [(5, 11, "Expected number, found 'kbps'"), (5, 15, "Expected kbps, found ';'")]),
    ],
)
def test_bitrate(bitrate, fields, expected):
    node, diagnostics = parse_node_at(general=general(bitrate=bitrate))
    check_diagnostics(diagnostics, expected)
    empty = {"type": "fixed", "min_br": None, "max_br": None, "rates": [], "fixed_rate": None}
    assert to_dict(node.general.bitrate) == empty | fields


@pytest.mark.parametrize(
    "text, value, expected",
    [
        ("2147483647", 2147483647, []),
        ("2147483648", 0, [(5, 12, "Integer out of range: '2147483648'")]),
        ("-2147483648", -2147483648, []),
        ("-2147483649", 0, [(5, 12, "Integer out of range: '-2147483649'")]),
        ("0x7FFFFFFF", 2147483647, []),
        ("0x80000000", 0, [(5, 12, "Integer out of range: '0x80000000'")]),
        ("0X1e", 30, []),
        ("0x", 0, [(5, 12, "Invalid integer: '0x'")]),
        ("1.5", 0, [(5, 12, "Expected integer, found '1.5'")]),
        ('"1"', 0, [(5, 12, "Expected integer, found '1'")]),
    ],
)
def test_integer_values(text, value, expected):
    general_text = 'general { LIN_protocol_version = "2.1";\n'
    general_text += f"supplier = {text}; function = 2; variant = 0; bitrate = 19.2 kbps; }}\n"
    node, diagnostics = parse_node_at(general=general_text)
    assert diagnostics == expected
    assert node.general.supplier_id == value


@pytest.mark.parametrize(
    "text, value, expected",
    [
        ("1.7976931348623157e308", 1.7976931348623157e308, []),
        ("1e309", 0.0, [(6, 14, "Number out of range: '1e309'")]),
        ("-1e309", 0.0, [(6, 14, "Number out of range: '-1e309'")]),
        ("2.2250738585072014e-308", 2.2250738585072014e-308, []),
        ("1e-400", 0.0, []),
    ],
)
def test_number_values(text, value, expected):
    node, diagnostics = parse_node_at(general=general(optional=f"volt_range = {text}, 1;"))
    assert diagnostics == expected
    assert (node.general.volt_from, node.general.volt_to) == (value, 1.0)


def test_missing_protocol_version():
    text = "general { supplier = 0x1E; function = 1; variant = 1; bitrate = 19.2 kbps; }\n"
    node, diagnostics = parse_node_at(general=text)
    assert diagnostics == [
        (4, 11, "Expected LIN_protocol_version, found 'supplier'"),
        (4, 11, "Expected =, found 'supplier'"),
        (4, 11, "Expected string literal"),
        (4, 20, "Expected ;, found '='"),
        (4, 20, "Expected supplier, found '='"),
    ]
    changes = {"protocol_version": "supplier", "supplier_id": 30, "function_id": 1, "variant_id": 1}
    assert to_dict(node.general) == GENERAL | changes


# The diagnostic section's rule run at "frames {" on the given line.
def diagnostic_section_at_frames(line):
    found = "found 'frames'"
    return [(line, 1, f"Expected {what}, {found}") for what in ("diagnostic", "{", "NAD", "=", "integer")] + [
        (line, 8, "Expected ;, found '{'"),
        (line, 8, "Expected }, found '{'"),
        (line, 8, "Expected frames, found '{'"),
    ]


def test_missing_diagnostic_section():
    node, diagnostics = parse_node_at(diagnostic="", frames="frames { publish f { length = 1; } }\n")
    assert diagnostics == diagnostic_section_at_frames(5)
    assert node.diagnostic.nad_lhs == 0
    assert [(f.kind, f.name, f.properties.length) for f in node.frames] == [("publish", "f", 1)]


@pytest.mark.parametrize(
    "text, name, expected",
    [
        (node_text().replace("node n", 'node "motor"'), "motor", []),
        # The name takes whatever token follows the keyword, here the brace.
        (node_text().replace("node n {", "node {"), "{", [(4, 1, "Expected {, found 'general'")]),
        (node_text()[:-2], "n", [(8, 1, "Expected }, found '<EOF>'")]),
    ],
)
def test_node_name_and_braces(text, name, expected):
    ncf = assert_diagnostics(text, expected)
    assert [node.name for node in ncf.nodes] == [name]
