"""Hostile and huge inputs.

Nothing in the text makes the parser fail: every problem is a diagnostic and
parse() returns. Nothing in a file name makes it hang or raise anything but
RuntimeError("Cannot open file <name>"): only regular files are read.
"""

import os
import subprocess
import sys
import textwrap

import pytest

import tolvane
from conftest import END_OF_INPUT_MESSAGES, HEADER, node_text, parse_text


def at_end(line, column):
    return [(line, column, message) for message in END_OF_INPUT_MESSAGES]


def position_of(text, index):
    """Line and column of text[index] as the lexer counts them: lines end at
    line feeds, and a carriage return takes no column."""
    line_start = text.rfind("\n", 0, index) + 1
    return text.count("\n", 0, index) + 1, len(text[line_start:index].replace("\r", "")) + 1


def assert_cannot_open(filename, shown):
    """Constructing over `filename` raises exactly RuntimeError, with the name
    as Python shows it."""
    with pytest.raises(RuntimeError) as raised:
        tolvane.NcfParser(filename)
    assert type(raised.value) is RuntimeError
    assert str(raised.value) == "Cannot open file " + shown


def run_isolated(code, timeout=20):
    """Runs `code` in a fresh interpreter that imports this tolvane, with an
    address-space limit, and returns its standard output. A parser that
    blocks (on a FIFO) or reads without end (from /dev/zero) fails the test
    by timeout or by memory instead of hanging or exhausting the machine."""
    preamble = "import resource\nresource.setrlimit(resource.RLIMIT_AS, (2 << 30, 2 << 30))\nimport tolvane\n"
    path = os.pathsep.join([os.path.dirname(tolvane.__file__), os.environ.get("PYTHONPATH", "")])
    result = subprocess.run(
        [sys.executable, "-c", preamble + textwrap.dedent(code)],
        capture_output=True, text=True, timeout=timeout, env=dict(os.environ, PYTHONPATH=path),
    )
    assert result.returncode == 0, result.stderr
    return result.stdout


# --- Huge inputs ---------------------------------------------------------------

def test_ten_million_unknown_bytes_inside_a_node_stop_the_parse_at_the_same_place_as_a_hundred():
    # Every section expects its keyword, meets '#', and reads one '#' per
    # value it wants; the node's closing brace is missing, and the next '#'
    # ends the parse at the top level. The length of the run changes nothing.
    parser = tolvane.NcfParser("hostile.ncf", HEADER + "node n {" + "#" * 10_000_000 + "}")
    ncf = parser.parse()
    diagnostics = [(d.line, d.column, d.message) for d in parser.get_diagnostics()]
    assert diagnostics == parse_text(HEADER + "node n {" + "#" * 100 + "}", filename="hostile.ncf")[1]
    assert len(diagnostics) == 42
    assert diagnostics[0] == (3, 9, "Expected general, found '#'")
    assert diagnostics[-1] == (3, 16, "Unexpected token at top level: '#'")
    assert [node.name for node in ncf.nodes] == ["n"]
    assert ncf.nodes[0].general.protocol_version == "#"

    # A second parse reads on from the token that stopped the first.
    again = parser.parse()
    assert (again.language_version, again.nodes) == ("#", [])
    assert [(d.line, d.column, d.message) for d in parser.get_diagnostics()] == [
        (3, 16, "Expected node_capability_file, found '#'"),
        (3, 16, "Expected ;, found '#'"),
        (3, 16, "Expected LIN_language_version, found '#'"),
        (3, 16, "Expected =, found '#'"),
        (3, 16, "Expected string literal"),
        (3, 17, "Expected ;, found '#'"),
        (3, 17, "Unexpected token at top level: '#'"),
    ]


def test_a_million_signals_in_one_frame():
    count = 1_000_000
    signals = "".join(f"s{i} {{ size = {i % 64 + 1}; offset = {i}; }}\n" for i in range(count))
    frames = "frames { publish f { length = 8; signals {\n" + signals + "} } }\n"
    # A missing ";" after the last section puts a diagnostic a million lines down.
    text = node_text(frames=frames, status="status_management { response_error = s0 }\n")
    ncf, diagnostics = parse_text(text)

    brace = text.rindex("response_error = s0 }") + len("response_error = s0 ")
    assert diagnostics == [(*position_of(text, brace), "Expected ;, found '}'")]
    assert diagnostics[0][0] == count + 8
    signal_list = ncf.nodes[0].frames[0].signals
    assert len(signal_list) == count
    assert [s.properties.offset for s in signal_list] == list(range(count))
    assert (signal_list[0].name, signal_list[-1].name) == ("s0", f"s{count - 1}")
    assert signal_list[-1].properties.size == (count - 1) % 64 + 1


def test_a_string_literal_of_fifty_megabytes():
    size = 50_000_000
    # The last byte is Latin-1, so the whole literal goes through re-encoding.
    text = node_text(free_text='free_text { "@" }\n').encode().replace(b"@", b"a" * size + b"\xe9")
    ncf, diagnostics = parse_text(text)
    assert diagnostics == []
    free_text = ncf.nodes[0].free_text
    assert len(free_text) == size + 1
    assert free_text.count("a") == size and free_text[-1] == "\u00e9"


def test_an_unterminated_block_comment_over_a_huge_tail_hides_everything_after_it():
    # The tail holds an unterminated string and a node, neither of which is seen.
    chunk = 'node n { "never closed\n'
    repeats = 400_000
    text = HEADER + "/*" + chunk * repeats + "tail"
    parser = tolvane.NcfParser("comment.ncf", text)
    ncf = parser.parse()
    assert (ncf.language_version, ncf.nodes, parser.get_diagnostics()) == ("2.1", [], [])
    # The end of input lies after the comment's last line: "tail" is 4 columns.
    parser.parse()
    assert [(d.line, d.column, d.message) for d in parser.get_diagnostics()] == at_end(3 + repeats, 5)


def test_an_unterminated_string_over_a_huge_tail_is_reported_once_at_its_quote():
    tail = "x; } node m {\n" * 500_000
    ncf, diagnostics = parse_text(HEADER + 'node "' + tail)
    assert ncf.nodes[0].name == tail
    assert diagnostics[-1] == (3, 6, "Unterminated string literal")
    assert [message for _, _, message in diagnostics].count("Unterminated string literal") == 1
    # Everything else is at the end of input, after the tail.
    assert {(line, column) for line, column, _ in diagnostics[:-1]} == {(3 + 500_000, 1)}


# --- Every byte value --------------------------------------------------------------

def single_byte_diagnostics(byte):
    """What a parse of the one byte `byte` reports, and its language version."""
    if byte in b" \t":
        return at_end(1, 2), "<EOF>"
    if byte == ord("\r"):
        return at_end(1, 1), "<EOF>"
    if byte == ord("\n"):
        return at_end(2, 1), "<EOF>"
    if byte == ord(";"):
        # The header's ";" is found; the version statement then meets the end.
        return [(1, 1, "Expected node_capability_file, found ';'")] + at_end(1, 2)[2:], "<EOF>"
    if byte == ord("="):
        found = [(1, 1, message.replace("'<EOF>'", "'='")) for message in END_OF_INPUT_MESSAGES[:3]]
        return found + at_end(1, 2)[4:], "<EOF>"
    if byte == ord('"'):
        # An empty unterminated string, which the version statement takes.
        found = [(1, 1, message.replace("'<EOF>'", "''")) for message in END_OF_INPUT_MESSAGES[:4]]
        return found + [(1, 2, END_OF_INPUT_MESSAGES[5]), (1, 1, "Unterminated string literal")], ""
    # Any other byte is one token, taken as the version in place of a string.
    # Bytes above 0x7F are not UTF-8 on their own and show as \xNN.
    text = bytes([byte]).decode("utf-8", "backslashreplace")
    found = [(1, 1, message.replace("'<EOF>'", f"'{text}'")) for message in END_OF_INPUT_MESSAGES[:4]]
    return found + [(1, 1, END_OF_INPUT_MESSAGES[4]), (1, 2, END_OF_INPUT_MESSAGES[5])], text


def test_every_byte_value_alone():
    for byte in range(256):
        ncf, diagnostics = parse_text(bytes([byte]))
        expected, version = single_byte_diagnostics(byte)
        assert (diagnostics, ncf.language_version, ncf.nodes) == (expected, version, []), hex(byte)


def test_all_byte_values_in_a_row():
    # NUL is the first token and the version; the next byte ends the parse.
    ncf, diagnostics = parse_text(bytes(range(256)))
    assert ncf.language_version == "\x00"
    assert diagnostics == [
        (1, 1, "Expected node_capability_file, found '\x00'"),
        (1, 1, "Expected ;, found '\x00'"),
        (1, 1, "Expected LIN_language_version, found '\x00'"),
        (1, 1, "Expected =, found '\x00'"),
        (1, 1, "Expected string literal"),
        (1, 2, "Expected ;, found '\x01'"),
        (1, 2, "Unexpected token at top level: '\x01'"),
    ]


def test_every_byte_value_inside_a_string_literal_comes_out_as_its_latin1_character():
    payload = bytes(b for b in range(256) if b not in b'"\\')
    text = node_text(free_text='free_text { "@" }\n').encode().replace(b"@", payload)
    ncf, diagnostics = parse_text(text)
    assert diagnostics == []
    assert ncf.nodes[0].free_text == payload.decode("latin-1")


def test_nul_bytes_are_text_inside_strings_and_unknown_tokens_outside():
    ncf, diagnostics = parse_text(b'node_capability_file;\nLIN_language_version = "2\x001";\n\x00')
    assert ncf.language_version == "2\x001"
    assert diagnostics == [(3, 1, "Unexpected token at top level: '\x00'")]


@pytest.mark.parametrize(
    "text, diagnostics",
    [
        (b"\xef\xbb\xbf", at_end(1, 1)),
        # Only the first mark is skipped; a second one is three Unknown bytes.
        (b"\xef\xbb\xbf\xef\xbb\xbf", [
            (1, 1, "Expected node_capability_file, found '\\xef'"),
            (1, 1, "Expected ;, found '\\xef'"),
            (1, 1, "Expected LIN_language_version, found '\\xef'"),
            (1, 1, "Expected =, found '\\xef'"),
            (1, 1, "Expected string literal"),
            (1, 2, "Expected ;, found '\\xbb'"),
            (1, 2, "Unexpected token at top level: '\\xbb'"),
        ]),
        # Two bytes of a mark are no mark.
        (b"\xef\xbb", [
            (1, 1, "Expected node_capability_file, found '\\xef'"),
            (1, 1, "Expected ;, found '\\xef'"),
            (1, 1, "Expected LIN_language_version, found '\\xef'"),
            (1, 1, "Expected =, found '\\xef'"),
            (1, 1, "Expected string literal"),
            (1, 2, "Expected ;, found '\\xbb'"),
            (1, 2, "Unexpected token at top level: '\\xbb'"),
        ]),
    ],
    ids=["mark only", "two marks", "two bytes of a mark"],
)
def test_byte_order_marks(text, diagnostics):
    assert parse_text(text)[1] == diagnostics


def test_a_file_on_disk_that_is_only_a_byte_order_mark_reads_as_empty(tmp_path):
    path = tmp_path / "bom.ncf"
    path.write_bytes(b"\xef\xbb\xbf")
    parser = tolvane.NcfParser(str(path))
    ncf = parser.parse()
    assert (ncf.filename, ncf.language_version, ncf.nodes) == (str(path), "<EOF>", [])
    assert [(d.file, d.line, d.column, d.message) for d in parser.get_diagnostics()] == [
        (str(path), *diagnostic) for diagnostic in at_end(1, 1)
    ]


# --- Line ends ---------------------------------------------------------------------

def test_a_valid_file_with_carriage_returns_only_is_one_long_line():
    text = node_text().replace("\n", "\r")
    ncf, diagnostics = parse_text(text)
    assert diagnostics == []
    assert [node.name for node in ncf.nodes] == ["n"]
    # Its end of input is on line 1, one column past every byte but the CRs.
    parser = tolvane.NcfParser("cr.ncf", text)
    parser.parse()
    parser.parse()
    assert [(d.line, d.column) for d in parser.get_diagnostics()] == [(1, len(text) - text.count("\r") + 1)] * 6


@pytest.mark.parametrize("line_end", ["\r", "\r\n", "\n\r", "\r\r\n"], ids=["CR", "CRLF", "LFCR", "CRCRLF"])
def test_positions_with_carriage_returns(line_end):
    text = node_text(diagnostic="diagnostic { NAD = 1 }\n", status="status_management { response_error = e; }\nx")
    text = text.replace("\n", line_end)
    _, diagnostics = parse_text(text)
    brace = text.index("1 }") + 2
    stray = text.rindex("x")
    assert diagnostics == [
        (*position_of(text, brace), "Expected ;, found '}'"),
        (*position_of(text, stray), "Expected }, found 'x'"),
        (*position_of(text, stray), "Unexpected token at top level: 'x'"),
    ]
    if line_end == "\r":
        assert {line for line, _, _ in diagnostics} == {1}


# --- File names --------------------------------------------------------------------

def test_a_missing_file(tmp_path):
    name = str(tmp_path / "missing.ncf")
    assert_cannot_open(name, name)


def test_a_directory(tmp_path):
    assert_cannot_open(str(tmp_path), str(tmp_path))
    assert_cannot_open(os.fsencode(tmp_path), str(tmp_path))


def test_character_devices_are_refused():
    # /dev/zero would never end; /dev/null would read as an empty file.
    out = run_isolated("""
        for name in ("/dev/zero", "/dev/null"):
            try:
                tolvane.NcfParser(name)
            except RuntimeError as error:
                print(type(error).__name__, error)
    """)
    assert out.splitlines() == ["RuntimeError Cannot open file /dev/zero", "RuntimeError Cannot open file /dev/null"]


def test_a_fifo_is_refused_without_waiting_for_a_writer(tmp_path):
    fifo = tmp_path / "pipe.ncf"
    os.mkfifo(fifo)
    link = tmp_path / "link.ncf"
    link.symlink_to(fifo)
    out = run_isolated(f"""
        for name in ({str(fifo)!r}, {str(link)!r}):
            try:
                tolvane.NcfParser(name)
            except RuntimeError as error:
                print(type(error).__name__, error)
        # With content given, the name is only a label and is never opened.
        print(tolvane.NcfParser({str(fifo)!r}, "x").parse().filename)
    """)
    assert out.splitlines() == [
        f"RuntimeError Cannot open file {fifo}",
        f"RuntimeError Cannot open file {link}",
        str(fifo),
    ]


def test_a_name_with_a_nul_does_not_open_the_shorter_name(tmp_path):
    readable = tmp_path / "a.ncf"
    readable.write_text(node_text())
    name = str(readable) + "\x00.bak"
    assert_cannot_open(name, name)
    assert_cannot_open(os.fsencode(name), name)


def test_a_name_of_ten_thousand_characters():
    name = "n" * 10_000
    assert_cannot_open(name, name)


def test_a_name_that_is_not_utf8():
    # The message shows the bytes that are not UTF-8 as \xNN.
    assert_cannot_open(b"\xff\xfe-missing.ncf", "\\xff\\xfe-missing.ncf")


def test_a_file_whose_name_is_not_utf8_is_read_when_named_by_bytes(tmp_path):
    path = os.fsencode(tmp_path) + b"/\xe9t\xe9.ncf"
    with open(path, "w") as file:
        file.write(node_text())
    parser = tolvane.NcfParser(path)
    ncf = parser.parse()
    shown = path.decode("utf-8", "backslashreplace")
    assert ncf.filename == shown and shown.endswith("/\\xe9t\\xe9.ncf")
    assert [node.name for node in ncf.nodes] == ["n"]
    assert parser.get_diagnostics() == []


def test_an_empty_regular_file_reads_as_empty_input(tmp_path):
    path = tmp_path / "empty.ncf"
    path.write_bytes(b"")
    ncf, diagnostics = parse_text(b"", filename=str(path))
    assert (ncf.filename, ncf.language_version, ncf.nodes) == (str(path), "<EOF>", [])
    assert diagnostics == at_end(1, 1)
