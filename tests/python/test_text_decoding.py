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
ERROR = "Diagnostic(severity=<Severity.Error: 0>, file="


def parse_bytes(content, filename="a.ncf"):
    parser = tolvane.NcfParser(filename, content)
    ncf = parser.parse()
    return ncf, parser.get_diagnostics()


def with_bytes(text, *replacements):
    """`text` as UTF-8 bytes with each old text replaced by the raw bytes after it."""
    data = text.encode()
    for old, new in zip(replacements[::2], replacements[1::2]):
        assert old.encode() in data
        data = data.replace(old.encode(), new)
    return data


# --- bytes outside string literals --------------------------------------------


@pytest.mark.parametrize(
    ("content", "line", "column", "message"),
    [
        *[(VERSION_ONLY + bytes([byte]) + b" node", 3, 1, f"Unexpected token at top level: '\\x{byte:02x}'")
          for byte in (0x80, 0xA0, 0xC3, 0xF4, 0xFF)],
        (b"node_capability_file\xff;", 1, 21, "Expected ;, found '\\xff'"),
        (with_bytes(node_text(), "supplier = 1", b"supplier = \xe9"), 4, 52, "Expected integer, found '\\xe9'"),
        (with_bytes(node_text(), "bitrate = 19.2", b"bitrate = \xe9"), 4, 92, "Expected number, found '\\xe9'"),
        (with_bytes(node_text(), "NAD = 1;", b"NAD \xe9 1;"), 5, 18, "Expected =, found '\\xe9'"),
    ],
    ids=["top level 80", "A0", "C3", "F4", "FF", "punctuation", "integer", "number", "equals sign"],
)
def test_byte_in_a_message(content, line, column, message):
    diagnostic = parse_bytes(content)[1][0]
    assert (diagnostic.line, diagnostic.column, diagnostic.message) == (line, column, message)
    assert repr(diagnostic) == str(diagnostic) == f"{ERROR}'a.ncf', line={line}, column={column}, message='{message}')"


ENCODING = 'encoding { e { logical_value, 1, "t"; physical_value, 0, 1, 1, 0, "u"; } }\n'


@pytest.mark.parametrize(
    ("content", "messages", "read", "shown"),
    [
        (
            with_bytes(node_text(), "node n {", b"node \xe9 {"), [],
            lambda ncf: (ncf.nodes[0].name, repr(ncf)),
            ("\\xe9", "NcfFile(filename='a.ncf', language_version='2.1', nodes=[NcfNodeDef(name='\\xe9')])"),
        ),
        (
            with_bytes(node_text(frames="frames { publish F { length = 1; event_triggered_frame = E; } }\n"),
                       "publish F", b"publish \x80", "= E;", b"= \xfe;"), [],
            lambda ncf: (ncf.nodes[0].frames[0].properties.event_triggered_frame, repr(ncf.nodes[0].frames[0])),
            ("\\xfe", "NcfSingleFrame(kind='publish', name='\\x80')"),
        ),
        (
            with_bytes(node_text(status="status_management { response_error = R; fault_state_signals = A, B; }\n"),
                       "= R;", b"= \xc3;", "A, B", b"\xa9, ok"), [],
            lambda ncf: (ncf.nodes[0].status.fault_state_signals, repr(ncf.nodes[0].status)),
            (["\\xa9", "ok"], "NcfStatusManagement(response_error='\\xc3')"),
        ),
        # Where a string is expected the token is taken all the same and keeps its byte.
        (
            with_bytes(node_text(), '"2.1";\nnode', b"\x99;\nnode", 'LIN_protocol_version = "2.1"',
                       b"LIN_protocol_version = \xfa"), ["Expected string literal"] * 2,
            lambda ncf: (ncf.language_version, repr(ncf.nodes[0].general)),
            ("\\x99", "NcfGeneralDef(protocol_version='\\xfa', supplier_id=1, function_id=2, variant_id=0)"),
        ),
        # An optional text is shown as Python shows the str it reads as.
        (
            with_bytes(node_text(general=GENERAL.replace("}", 'conformance = "c"; }'), encoding=ENCODING),
                       '"c"', b"\xb0", '"t"', b"\xb1", '"u"', b"\xb2"), ["Expected string literal"] * 3,
            lambda ncf: (
                (ncf.nodes[0].general.conformance, ncf.nodes[0].encodings[0].values[1].physical_range.text_info),
                repr(ncf.nodes[0].encodings[0].values[0].logical_value),
            ),
            (("\\xb0", "\\xb2"), "NcfLogicalValue(signal_value=1, text_info='\\\\xb1')"),
        ),
    ],
    ids=["node name", "frame names", "status names", "string expected", "optional texts"],
)
def test_byte_as_a_name_or_text(content, messages, read, shown):
    ncf, diagnostics = parse_bytes(content)
    assert [d.message for d in diagnostics] == messages
    assert read(ncf) == shown


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


# String literals are read as Latin-1, UTF-8 in the file too: two characters.
@pytest.mark.parametrize(("literal", "text"), [(b"caf\xe9", "café"), (b"\xff\x80", "ÿ\x80"), (b"\xc3\xa9", "Ã©")])
def test_string_literals_are_read_as_latin1(literal, text):
    ncf, diagnostics = parse_bytes(b'node_capability_file; LIN_language_version = "' + literal + b'";')
    assert diagnostics == []
    assert repr(ncf) == f"NcfFile(filename='a.ncf', language_version='{text}', nodes=[])"


# --- file names ---------------------------------------------------------------


@pytest.mark.parametrize(
    ("name", "shown"),
    [
        (b"caf\xc3\xa9.ncf", "café.ncf"),  # valid UTF-8 is unchanged
        ("Tür 🚪.ncf", "Tür 🚪.ncf"),
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
    assert (ncf.filename, diagnostics[0].file) == (shown, shown)
    assert repr(ncf) == f"NcfFile(filename='{shown}', language_version='2.1', nodes=[])"
    assert str(diagnostics[0]).startswith(f"{ERROR}'{shown}', line=3,")


@given(st.binary(max_size=40) | st.text(max_size=20))
@example(b"\x80")
@example(b"\xf0\x9f\x9a")
@example(b"\xf0\x9f\x9a\xaa")
def test_any_file_name_reads_as_backslashreplace(name):
    if isinstance(name, bytes):
        shown = name.decode("utf-8", "backslashreplace")
    elif any("\ud800" <= character <= "\udfff" for character in name):
        return  # a lone surrogate has no UTF-8 form to pass on
    else:
        shown = name  # a str comes back unchanged
    ncf, diagnostics = parse_bytes(b"x", filename=name)
    assert (ncf.filename, {d.file for d in diagnostics}) == (shown, {shown})
    assert repr(ncf) == f"NcfFile(filename='{shown}', language_version='x', nodes=[])"


@pytest.mark.parametrize(
    ("tail", "shown"),
    [(b"\xff.ncf", "\\xff.ncf"), (b"T\xfcr.ncf", "T\\xfcr.ncf"), (b"T\xc3\xbcr.ncf", "Tür.ncf"),
     (b"a\xffb\0c", "a\\xffb\0c")],
)
def test_cannot_open_message_for_a_name_in_bytes(tmp_path, tail, shown):
    with pytest.raises(RuntimeError) as raised:
        tolvane.NcfParser(os.fsencode(tmp_path) + b"/" + tail)
    assert raised.value.args == (f"Cannot open file {tmp_path}/{shown}",)
