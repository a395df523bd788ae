"""The diagnostic section: NADs, diagnostic class, timing, service ids and
the longest message."""

import pytest

from rules_cases import GENERAL, E, W, assert_findings, node_file

CLEAN_STATEMENTS = "diagnostic_class = 2;\n        support_sid { 0xB2, 0xB7 };"


def diagnostic(statements, protocol="2.2", keyword="diagnostic"):
    """A node whose diagnostic section holds `statements` (after the NAD
    statement when they do not start with one), of protocol `protocol`."""
    if not statements.lstrip(" »").startswith("NAD"):
        statements = "NAD = 0x10;\n        " + statements
    general = GENERAL.replace('LIN_protocol_version = "2.2"', f'LIN_protocol_version = "{protocol}"')
    text = node_file(general=general, diagnostic=f"    {keyword} {{\n        {statements}\n    }}\n")
    if protocol.startswith("J2602"):  # J2602's response error field has 3 bits
        text = text.replace("error_bit { init_value = 0; size = 1;", "error_bit { init_value = 0; size = 3;")
    return text


def nad(value, protocol="2.2"):
    return diagnostic(f"NAD = »{value};\n        {CLEAN_STATEMENTS}", protocol)


RESERVED = [
    ("0x00", [E("nad", "NAD 0x00 is reserved (go-to-sleep)")]),
    ("0x7F", [E("nad", "NAD 0x7F is reserved (broadcast)")]),
]


@pytest.mark.parametrize(("text", "expected"), [
    (nad("0x01"), []),
    (nad("0x7D"), []),
    (nad("0"), [E("nad", "NAD 0x00 is reserved (go-to-sleep)")]),
    (nad("0x7F"), [E("nad", "NAD 0x7F is reserved (broadcast)")]),
    (nad("0x7E"), [E("nad", "NAD 0x7E is reserved (functional)")]),
    (nad("0x7E", "2.1"), [E("nad", "NAD 0x7E is reserved (functional)")]),
    (nad("0x7E", "ISO17987:2015"), [E("nad", "NAD 0x7E is reserved (functional)")]),
    (nad("0x7E", "2.0"), [W("nad", "NAD 0x7E is reserved (functional)")]),
    (nad("0x7E", "1.3"), [W("nad", "NAD 0x7E is reserved (functional)")]),
    (nad("0x7E", "J2602_1_1.0"), [W("nad", "NAD 0x7E is reserved (functional)")]),
    (nad("0x80"), [W("nad", "NAD 0x80 is in the free-usage range 0x80..0xFF")]),
    (nad("0xFF"), [W("nad", "NAD 0xFF is in the free-usage range 0x80..0xFF")]),
    (nad("0x100"), [E("nad", "NAD 0x100 does not fit 8 bits")]),
    (nad("-1"), [E("nad", "NAD -1 does not fit 8 bits")]),
], ids=lambda value: "" if isinstance(value, list) else None)
def test_single_nads(text, expected):
    assert_findings(text, expected)


def nad_statement(text, protocol="2.2"):
    return diagnostic(f"{text};\n        {CLEAN_STATEMENTS}", protocol)


@pytest.mark.parametrize(("text", "expected"), [
    (nad_statement("NAD = 1 to 16"), []),
    (nad_statement("NAD = 0x01 to 0x7D"), []),
    (nad_statement("NAD = 0x01 to 0x02"), []),
    (nad_statement("»NAD = 5 to 5"), [W("nad-range", "NAD range 0x05 to 0x05 holds one NAD")]),
    (nad_statement("»NAD = 0x20 to 0x10"), [E("nad-range", "NAD range 0x20 to 0x10 is reversed")]),
    (nad_statement("NAD = »0 to 0x10"), [E("nad", "NAD 0x00 is reserved (go-to-sleep)")]),
    (nad_statement("NAD = 0x10 to »0x7E", "2.0"), [W("nad", "NAD 0x7E is reserved (functional)")]),
    # Reserved NADs inside a range are reported at its first value; an end
    # is reported as a value of its own.
    (nad_statement("NAD = »0x70 to »0x7F"), [
        E("nad", "NAD range 0x70 to 0x7F contains reserved NAD 0x7E"),
        E("nad", "NAD 0x7F is reserved (broadcast)")]),
    (nad_statement("NAD = »»0x70 to »0x80"), [
        E("nad", "NAD range 0x70 to 0x80 contains reserved NAD 0x7E"),
        E("nad", "NAD range 0x70 to 0x80 contains reserved NAD 0x7F"),
        W("nad", "NAD 0x80 is in the free-usage range 0x80..0xFF")]),
    (nad_statement("NAD = »0x70 to »0x7F", "2.0"), [
        W("nad", "NAD range 0x70 to 0x7F contains reserved NAD 0x7E"),
        E("nad", "NAD 0x7F is reserved (broadcast)")]),
    (nad_statement("NAD = 0x70 to »0x7E", "2.0"), [W("nad", "NAD 0x7E is reserved (functional)")]),
    (nad_statement("NAD = »»-1 to 2"), [
        E("nad", "NAD -1 does not fit 8 bits"),
        E("nad", "NAD range -1 to 0x02 contains reserved NAD 0x00")]),
    # A reversed range is not searched for reserved NADs inside it.
    (nad_statement("»NAD = »0x90 to 0x70"), [
        E("nad-range", "NAD range 0x90 to 0x70 is reversed"),
        W("nad", "NAD 0x90 is in the free-usage range 0x80..0xFF")]),
], ids=lambda value: "" if isinstance(value, list) else None)
def test_nad_ranges(text, expected):
    assert_findings(text, expected)


@pytest.mark.parametrize(("text", "expected"), [
    (nad_statement("NAD = 1, 2, 3"), []),
    (nad_statement("NAD = 4, 1, 3, 2"), []),
    (nad_statement("NAD = 1, 2, »1"), [W("nad-duplicate", "NAD 0x01 is listed twice")]),
    (nad_statement("NAD = 1, »1"), [W("nad-duplicate", "NAD 0x01 is listed twice")]),
    (nad_statement("NAD = 1, 2, »2, »1"), [
        W("nad-duplicate", "NAD 0x02 is listed twice"), W("nad-duplicate", "NAD 0x01 is listed twice")]),
    (nad_statement("NAD = 1, »0x7F, »0x90"), [
        E("nad", "NAD 0x7F is reserved (broadcast)"), W("nad", "NAD 0x90 is in the free-usage range 0x80..0xFF")]),
    (nad_statement("NAD = »0, 1, »0"), [
        E("nad", "NAD 0x00 is reserved (go-to-sleep)"), W("nad-duplicate", "NAD 0x00 is listed twice")]),
], ids=lambda value: "" if isinstance(value, list) else None)
def test_nad_lists(text, expected):
    assert_findings(text, expected)


SIDS = "support_sid { 0xB2, 0xB7 };"


@pytest.mark.parametrize(("text", "expected"), [
    (diagnostic(f"diagnostic_class = 1;\n        {SIDS}"), []),
    (diagnostic(f"diagnostic_class = 3;\n        {SIDS}"), []),
    (diagnostic(f"diagnostic_class = »0;\n        {SIDS}"), [
        E("diagnostic-class", "Diagnostic class 0 is not 1, 2 or 3")]),
    (diagnostic(f"diagnostic_class = »4;\n        {SIDS}"), [
        E("diagnostic-class", "Diagnostic class 4 is not 1, 2 or 3")]),
    (diagnostic(f"diagnostic_class = »-1;\n        {SIDS}"), [
        E("diagnostic-class", "Diagnostic class -1 is not 1, 2 or 3")]),
    (diagnostic(SIDS, keyword="»diagnostic"), [
        W("diagnostic-class-missing", "Node 'door' has no diagnostic class")]),
    (diagnostic(SIDS, "2.1", keyword="»diagnostic"), [
        W("diagnostic-class-missing", "Node 'door' has no diagnostic class")]),
    (diagnostic(SIDS, "ISO17987:2015", keyword="»diagnostic"), [
        W("diagnostic-class-missing", "Node 'door' has no diagnostic class")]),
    (diagnostic(SIDS, "2.0"), []),
    (diagnostic(SIDS, "J2602_1_1.0"), []),
], ids=lambda value: "" if isinstance(value, list) else None)
def test_diagnostic_class(text, expected):
    assert_findings(text, expected)


def timing(statement):
    return diagnostic(f"diagnostic_class = 2;\n        {statement}\n        {SIDS}")


@pytest.mark.parametrize(("text", "expected"), [
    (timing("P2_min = 0 ms;"), []),
    (timing("ST_min = 0 ms;"), []),
    (timing("P2_min = 50 ms; ST_min = 0.5 ms; N_As_timeout = 1000 ms; N_Cr_timeout = 0.001 ms;"), []),
    (timing("P2_min = »-0.5 ms;"), [E("negative-time", "P2_min is negative (-0.5 ms)")]),
    (timing("ST_min = »-1 ms;"), [E("negative-time", "ST_min is negative (-1 ms)")]),
    (timing("N_As_timeout = »-1000 ms;"), [E("negative-time", "N_As_timeout is negative (-1000 ms)")]),
    (timing("N_Cr_timeout = »-0.001 ms;"), [E("negative-time", "N_Cr_timeout is negative (-0.001 ms)")]),
    (timing("N_As_timeout = »0 ms;"), [W("zero-timeout", "N_As_timeout is 0 ms")]),
    (timing("N_Cr_timeout = »0.0 ms;"), [W("zero-timeout", "N_Cr_timeout is 0 ms")]),
    (timing("N_Cr_timeout = »-0.0 ms;"), [W("zero-timeout", "N_Cr_timeout is 0 ms")]),
], ids=lambda value: "" if isinstance(value, list) else None)
def test_timing(text, expected):
    assert_findings(text, expected)


def services(sids, protocol="2.2"):
    return diagnostic(f"diagnostic_class = 2;\n        {sids}", protocol)


@pytest.mark.parametrize(("text", "expected"), [
    (services("support_sid { 0xB0, 0xB2, 0xB7, 0x00, 0xFF };"), []),
    (services("support_sid { 0xB2, 0xB7, »0x100 };"), [E("service-id", "Service ID 0x100 does not fit 8 bits")]),
    (services("support_sid { 0xB2, 0xB7, »-1 };"), [E("service-id", "Service ID -1 does not fit 8 bits")]),
    (services("support_sid { 0xB2, 0xB7, »0xB2 };"), [W("service-id", "Service ID 0xB2 is listed twice")]),
    (services("support_sid { 0xB2, 0xB7, »0xB5 };"), [W("service-id", "Service ID 0xB5 is reserved in LIN 2.x")]),
    (services("support_sid { 0xB2, 0xB7, »0xB5, »0xB5 };"), [
        W("service-id", "Service ID 0xB5 is reserved in LIN 2.x"), W("service-id", "Service ID 0xB5 is listed twice")]),
    (services("support_sid { 0xB0, 0xB5 };", "2.0").replace("0xB5", "»0xB5"), [
        W("service-id", "Service ID 0xB5 is reserved in LIN 2.x")]),
    (services("support_sid { 0xB0, 0xB5 };", "J2602_1_1.0"), []),
    (services("»support_sid { 0xB2 };"), [
        W("mandatory-service", "Service ID 0xB7 is mandatory and missing from support_sid")]),
    (services("»support_sid { 0xB7 };", "2.1"), [
        W("mandatory-service", "Service ID 0xB2 is mandatory and missing from support_sid")]),
    (services("»»support_sid { 0xB0 };", "ISO17987:2015"), [
        W("mandatory-service", "Service ID 0xB2 is mandatory and missing from support_sid"),
        W("mandatory-service", "Service ID 0xB7 is mandatory and missing from support_sid")]),
    (services("support_sid { 0xB0 };", "2.0"), []),
    (services("support_sid { 0xB0 };", "J2602_1_1.0"), []),
    (services(""), []),  # without support_sid nothing is said to be missing
], ids=lambda value: "" if isinstance(value, list) else None)
def test_service_ids(text, expected):
    assert_findings(text, expected)


@pytest.mark.parametrize(("length", "expected"), [
    ("1", []),
    ("4095", []),
    ("»0", [E("max-message-length", "Maximum message length 0 is outside 1..4095")]),
    ("»4096", [E("max-message-length", "Maximum message length 4096 is outside 1..4095")]),
    ("»-5", [E("max-message-length", "Maximum message length -5 is outside 1..4095")]),
])
def test_max_message_length(length, expected):
    assert_findings(diagnostic(f"diagnostic_class = 2;\n        {SIDS}\n        max_message_length = {length};"),
                    expected)
