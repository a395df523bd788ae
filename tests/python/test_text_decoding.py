"""Text that reaches Python is UTF-8 with every invalid byte written as a \\xNN
escape, as bytes.decode('utf-8', 'backslashreplace') gives it: a stray byte in
a file never makes a record or a diagnostic unreadable."""

import io
import os

import pytest
from hypothesis import example, given
from hypothesis import strategies as st

import tolvane
from conftest import GENERAL, HEADER, node_text

VERSION_ONLY = HEADER.encode()


def parse_bytes(content, filename="a.ncf"):
    parser = tolvane.NcfParser(filename, content)
    ncf = parser.parse()
    return ncf, parser.get_diagnostics()


def escaped(data):
    return data.decode("utf-8", "backslashreplace")


def with_bytes(text, old, new):
    """`text` as UTF-8 bytes with `old` replaced by the raw bytes `new`."""
    data = text.encode()
    assert old.encode() in data
    return data.replace(old.encode(), new)


# --- bytes outside string literals --------------------------------------------


@pytest.mark.parametrize("byte", [0x80, 0xA0, 0xC3, 0xE9, 0xF4, 0xFF])
def test_unexpected_top_level_byte(byte):
    raw = bytes([byte])
    ncf, diagnostics = parse_bytes(VERSION_ONLY + raw + b" node")
    (diagnostic,) = diagnostics
    message = f"Unexpected token at top level: '\\x{byte:02x}'"
    assert (diagnostic.line, diagnostic.column, diagnostic.message) == (3, 1, message)
    expected = f"Diagnostic(severity=<Severity.Error: 0>, file='a.ncf', line=3, column=1, message='{message}')"
    assert repr(diagnostic) == str(diagnostic) == expected
    assert ncf.nodes == []


def test_byte_in_an_expectation_message():
    _, diagnostics = parse_bytes(b"node_capability_file\xff;")
    assert [(d.line, d.column, d.message) for d in diagnostics][:2] == [
        (1, 21, "Expected ;, found '\\xff'"),
        (1, 21, "Expected LIN_language_version, found '\\xff'"),
    ]
    assert repr(diagnostics[0]) == (
        "Diagnostic(severity=<Severity.Error: 0>, file='a.ncf', line=1, column=21, "
        "message='Expected ;, found '\\xff'')"
    )


@pytest.mark.parametrize(
    ("old", "new", "message"),
    [
        ("supplier = 1", b"supplier = \xe9", "Expected integer, found '\\xe9'"),
        ("bitrate = 19.2", b"bitrate = \xe9", "Expected number, found '\\xe9'"),
        ("NAD = 1;", b"NAD \xe9 1;", "Expected =, found '\\xe9'"),
    ],
    ids=["integer", "number", "punctuation"],
)
def test_byte_in_value_expectations(old, new, message):
    _, diagnostics = parse_bytes(with_bytes(node_text(), old, new))
    assert [d.message for d in diagnostics][0] == message


def test_byte_as_node_name():
    content = with_bytes(node_text(), "node n {", b"node \xe9 {")
    ncf, diagnostics = parse_bytes(content)
    assert diagnostics == []
    node = ncf.nodes[0]
    assert node.name == "\\xe9"
    assert repr(node) == str(node) == "NcfNodeDef(name='\\xe9')"
    assert repr(ncf) == "NcfFile(filename='a.ncf', language_version='2.1', nodes=[NcfNodeDef(name='\\xe9')])"


def test_byte_as_frame_name_and_event_triggered_frame():
    frames = "frames { publish F { length = 1; event_triggered_frame = E; } }\n"
    content = with_bytes(node_text(frames=frames), "publish F", b"publish \x80")
    content = content.replace(b"= E;", b"= \xfe;")
    ncf, diagnostics = parse_bytes(content)
    assert diagnostics == []
    frame = ncf.nodes[0].frames[0]
    assert (frame.name, frame.properties.event_triggered_frame) == ("\\x80", "\\xfe")
    assert repr(frame) == "NcfSingleFrame(kind='publish', name='\\x80')"


def test_bytes_in_status_management_names():
    status = "status_management { response_error = R; fault_state_signals = A, B; }\n"
    content = with_bytes(node_text(status=status), "= R;", b"= \xc3;").replace(b"A, B", b"\xa9, ok")
    ncf, diagnostics = parse_bytes(content)
    assert diagnostics == []
    status_record = ncf.nodes[0].status
    assert status_record.response_error == "\\xc3"
    assert status_record.fault_state_signals == ["\\xa9", "ok"]
    assert repr(status_record) == "NcfStatusManagement(response_error='\\xc3')"


def test_byte_where_a_string_is_expected():
    # The token is taken all the same and keeps its byte.
    content = with_bytes(node_text(), 'LIN_language_version = "2.1"', b"LIN_language_version = \x99")
    content = content.replace(b'LIN_protocol_version = "2.1"', b"LIN_protocol_version = \xfa")
    ncf, diagnostics = parse_bytes(content)
    assert [(d.line, d.message) for d in diagnostics] == [
        (2, "Expected string literal"),
        (4, "Expected string literal"),
    ]
    assert ncf.language_version == "\\x99"
    assert ncf.nodes[0].general.protocol_version == "\\xfa"
    assert repr(ncf.nodes[0].general) == (
        "NcfGeneralDef(protocol_version='\\xfa', supplier_id=1, function_id=2, variant_id=0)"
    )


def test_byte_in_optional_texts():
    general = GENERAL.replace("}", 'conformance = "c"; }')
    encoding = 'encoding { e { logical_value, 1, "t"; physical_value, 0, 1, 1, 0, "u"; } }\n'
    content = node_text(general=general, encoding=encoding).encode()
    content = content.replace(b'"c"', b"\xb0").replace(b'"t"', b"\xb1").replace(b'"u"', b"\xb2")
    ncf, diagnostics = parse_bytes(content)
    assert [d.message for d in diagnostics] == ["Expected string literal"] * 3
    node = ncf.nodes[0]
    logical = node.encodings[0].values[0].logical_value
    physical = node.encodings[0].values[1].physical_range
    assert (node.general.conformance, logical.text_info, physical.text_info) == ("\\xb0", "\\xb1", "\\xb2")
    # An optional text is shown as Python shows the str it reads as.
    assert repr(logical) == "NcfLogicalValue(signal_value=1, text_info='\\\\xb1')"


def test_print_of_a_diagnostic_with_a_stray_byte():
    _, diagnostics = parse_bytes(VERSION_ONLY + b"\xe9", filename=b"f\xff.ncf")
    raw = io.BytesIO()
    # Strict ASCII: the escapes leave nothing outside ASCII to encode.
    stream = io.TextIOWrapper(raw, encoding="ascii", errors="strict", newline="\n")
    print(diagnostics[0], file=stream)
    print(f"{diagnostics[0].file}:{diagnostics[0].line}: {diagnostics[0].message}", file=stream)
    stream.flush()
    assert raw.getvalue() == (
        b"Diagnostic(severity=<Severity.Error: 0>, file='f\\xff.ncf', line=3, column=1, "
        b"message='Unexpected token at top level: '\\xe9'')\n"
        b"f\\xff.ncf:3: Unexpected token at top level: '\\xe9'\n"
    )


# --- string literals ----------------------------------------------------------


@pytest.mark.parametrize(
    ("literal", "text"),
    [
        (b"\xe9", "é"),
        (b"caf\xe9", "café"),
        (b"\xff\x80", "ÿ\x80"),
        # UTF-8 in the file is read as Latin-1 too: two characters.
        (b"\xc3\xa9", "Ã©"),
        (b"plain", "plain"),
    ],
)
def test_string_literals_are_read_as_latin1(literal, text):
    ncf, diagnostics = parse_bytes(b'node_capability_file; LIN_language_version = "' + literal + b'";')
    assert diagnostics == []
    assert ncf.language_version == text
    assert repr(ncf) == f"NcfFile(filename='a.ncf', language_version='{text}', nodes=[])"


def test_string_literal_as_node_name():
    ncf, diagnostics = parse_bytes(with_bytes(node_text(), "node n {", b'node "T\xfcr" {'))
    assert diagnostics == []
    assert repr(ncf.nodes[0]) == "NcfNodeDef(name='Tür')"


# --- file names ---------------------------------------------------------------


@pytest.mark.parametrize(
    ("name", "shown"),
    [
        (b"plain.ncf", "plain.ncf"),
        (b"caf\xc3\xa9.ncf", "café.ncf"),  # valid UTF-8 is unchanged
        ("Tür 🚪.ncf", "Tür 🚪.ncf"),
        (b"\xff.ncf", "\\xff.ncf"),
        (b"caf\xc3\xa9\xff", "café\\xff"),
        (b"\xc3(", "\\xc3("),  # a lead byte without its continuation
        (b"\xe2\x82", "\\xe2\\x82"),  # a sequence cut short
        (b"\xc0\xaf", "\\xc0\\xaf"),  # an overlong form
        (b"\xed\xa0\x80", "\\xed\\xa0\\x80"),  # a surrogate
        (b"\xf4\x90\x80\x80", "\\xf4\\x90\\x80\\x80"),  # beyond U+10FFFF
        (b"back\\slash", "back\\slash"),  # an existing backslash is not doubled
    ],
)
def test_file_name_in_every_place_it_shows(name, shown):
    ncf, diagnostics = parse_bytes(VERSION_ONLY + b"x", filename=name)
    assert ncf.filename == shown
    assert diagnostics[0].file == shown
    assert repr(ncf) == f"NcfFile(filename='{shown}', language_version='2.1', nodes=[])"
    assert str(diagnostics[0]).startswith(f"Diagnostic(severity=<Severity.Error: 0>, file='{shown}', line=3,")


@given(st.binary(max_size=40))
@example(b"\x80")
@example(b"\xf0\x9f\x9a")
@example(b"\xf0\x9f\x9a\xaa")
def test_any_file_name_reads_as_backslashreplace(name):
    ncf, diagnostics = parse_bytes(b"x", filename=name)
    shown = escaped(name)
    assert ncf.filename == shown
    assert {d.file for d in diagnostics} == {shown}
    assert repr(ncf) == f"NcfFile(filename='{shown}', language_version='x', nodes=[])"


@given(st.text(max_size=20))
def test_any_str_file_name_comes_back_unchanged(name):
    try:
        name.encode("utf-8")
    except UnicodeEncodeError:
        return  # a lone surrogate has no UTF-8 form to pass on
    assert tolvane.NcfParser(name, "x").parse().filename == name


@pytest.mark.parametrize(
    ("tail", "shown"),
    [
        (b"\xff.ncf", "\\xff.ncf"),
        (b"T\xfcr.ncf", "T\\xfcr.ncf"),
        (b"T\xc3\xbcr.ncf", "Tür.ncf"),
        (b"a\xffb\0c", "a\\xffb\0c"),
    ],
)
def test_cannot_open_message_for_a_name_in_bytes(tmp_path, tail, shown):
    directory = os.fsencode(tmp_path)
    with pytest.raises(RuntimeError) as raised:
        tolvane.NcfParser(directory + b"/" + tail)
    assert raised.value.args == (f"Cannot open file {tmp_path}/{shown}",)
    assert str(raised.value) == f"Cannot open file {tmp_path}/{shown}"
