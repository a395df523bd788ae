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
from conftest import END_OF_INPUT_MESSAGES, HEADER, SANITIZED, node_text, parse_text


def at_end(line, column):
    return [(line, column, message) for message in END_OF_INPUT_MESSAGES]


def taken_as_version(found, at, after, following="<EOF>"):
    """What a parse reports when the token `found` at `at` stands where the
    header should be and is taken as the version; the token `following`, at
    `after`, then ends the parse."""
    expected = [(*at, message.replace("'<EOF>'", f"'{found}'")) for message in END_OF_INPUT_MESSAGES[:5]]
    expected.append((*after, f"Expected ;, found '{following}'"))
    if following != "<EOF>":
        expected.append((*after, f"Unexpected token at top level: '{following}'"))
    return expected


def position_of(text, index):
    """Line and column of text[index] as the lexer counts them: lines end at
    line feeds, and a carriage return takes no column."""
    line_start = text.rfind("\n", 0, index) + 1
    return text.count("\n", 0, index) + 1, len(text[line_start:index].replace("\r", "")) + 1


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
    assert (diagnostics[0], diagnostics[-1]) == (
        (3, 9, "Expected general, found '#'"), (3, 16, "Unexpected token at top level: '#'"))
    assert ([node.name for node in ncf.nodes], ncf.nodes[0].general.protocol_version) == (["n"], "#")
    # A second parse reads on from the token that stopped the first.
    again = parser.parse()
    assert (again.language_version, again.nodes) == ("#", [])
    assert [(d.line, d.column, d.message) for d in parser.get_diagnostics()] == (
        taken_as_version("#", (3, 16), (3, 17), "#"))


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
    assert [s.properties.offset for s in signal_list] == list(range(count))
    assert (signal_list[0].name, signal_list[-1].name) == ("s0", f"s{count - 1}")
    assert signal_list[-1].properties.size == (count - 1) % 64 + 1


def test_a_string_literal_of_fifty_megabytes():
    size = 50_000_000
    # The last byte is Latin-1, so the whole literal goes through re-encoding.
    text = node_text(free_text='free_text { "@" }\n').encode().replace(b"@", b"a" * size + b"\xe9")
    ncf, diagnostics = parse_text(text)
    free_text = ncf.nodes[0].free_text
    assert (diagnostics, len(free_text), free_text.count("a"), free_text[-1]) == ([], size + 1, size, "\u00e9")


def test_an_unterminated_block_comment_over_a_huge_tail_hides_everything_after_it():
    # The tail holds an unterminated string and a node, neither of which is seen.
    repeats = 400_000
    parser = tolvane.NcfParser("comment.ncf", HEADER + "/*" + 'node n { "never closed\n' * repeats + "tail")
    ncf = parser.parse()
    assert (ncf.language_version, ncf.nodes, parser.get_diagnostics()) == ("2.1", [], [])
    # The end of input lies after the comment's last line: "tail" is 4 columns.
    parser.parse()
    assert [(d.line, d.column, d.message) for d in parser.get_diagnostics()] == at_end(3 + repeats, 5)


def test_an_unterminated_string_over_a_huge_tail_is_reported_once_at_its_quote():
    tail = "x; } node m {\n" * 500_000
    ncf, diagnostics = parse_text(HEADER + 'node "' + tail)
    assert ncf.nodes[0].name == tail
    assert [d for d in diagnostics if d[2] == "Unterminated string literal"] == [(3, 6, "Unterminated string literal")]
    assert diagnostics[-1][2] == "Unterminated string literal"
    # Everything else is at the end of input, after the tail.
    assert {(line, column) for line, column, _ in diagnostics[:-1]} == {(3 + 500_000, 1)}


# --- Bytes -------------------------------------------------------------------------

def single_byte_diagnostics(byte):
    """What a parse of the one byte `byte` reports, and its language version."""
    if byte in b" \t\r\n":
        return {" ": at_end(1, 2), "\t": at_end(1, 2), "\r": at_end(1, 1), "\n": at_end(2, 1)}[chr(byte)], "<EOF>"
    if byte == ord(";"):
        # The header's ";" is found; the version statement then meets the end.
        return [(1, 1, "Expected node_capability_file, found ';'")] + at_end(1, 2)[2:], "<EOF>"
    if byte == ord("="):
        return taken_as_version("=", (1, 1), (1, 2))[:3] + at_end(1, 2)[4:], "<EOF>"
    if byte == ord('"'):
        # An empty unterminated string, which the version statement takes.
        return taken_as_version("", (1, 1), (1, 2))[:4] + [(1, 2, END_OF_INPUT_MESSAGES[5]),
                                                             (1, 1, "Unterminated string literal")], ""
    # Any other byte is one token, taken as the version in place of a string.
    # Bytes above 0x7F are not UTF-8 on their own and show as \xNN.
    text = bytes([byte]).decode("utf-8", "backslashreplace")
    return taken_as_version(text, (1, 1), (1, 2)), text


def test_every_byte_value_alone():
    for byte in range(256):
        ncf, diagnostics = parse_text(bytes([byte]))
        expected, version = single_byte_diagnostics(byte)
        assert (diagnostics, ncf.language_version, ncf.nodes) == (expected, version, []), hex(byte)


@pytest.mark.parametrize(
    "text, version, diagnostics",
    [
        # NUL is the first token and the version; the next byte ends the parse.
        (bytes(range(256)), "\x00", taken_as_version("\x00", (1, 1), (1, 2), "\x01")),
        (b"\xef\xbb\xbf", "<EOF>", at_end(1, 1)),
        # Only the first mark is skipped; a second one is three Unknown bytes.
        (b"\xef\xbb\xbf\xef\xbb\xbf", "\\xef", taken_as_version("\\xef", (1, 1), (1, 2), "\\xbb")),
        # Two bytes of a mark are no mark.
        (b"\xef\xbb", "\\xef", taken_as_version("\\xef", (1, 1), (1, 2), "\\xbb")),
        # NUL is text inside a string and an Unknown token outside.
        (HEADER.replace("2.1", "2\x001").encode() + b"\x00", "2\x001",
         [(3, 1, "Unexpected token at top level: '\x00'")]),
    ],
    ids=["all bytes in a row", "mark only", "two marks", "two bytes of a mark", "NUL"],
)
def test_byte_sequences(text, version, diagnostics):
    ncf, found = parse_text(text)
    assert (found, ncf.language_version) == (diagnostics, version)


def test_every_byte_value_inside_a_string_literal_comes_out_as_its_latin1_character():
    payload = bytes(b for b in range(256) if b not in b'"\\')
    ncf, diagnostics = parse_text(node_text(free_text='free_text { "@" }\n').encode().replace(b"@", payload))
    assert (diagnostics, ncf.nodes[0].free_text) == ([], payload.decode("latin-1"))


# --- Line ends ---------------------------------------------------------------------

def test_a_valid_file_with_carriage_returns_only_is_one_long_line():
    text = node_text().replace("\n", "\r")
    parser = tolvane.NcfParser("cr.ncf", text)
    assert ([node.name for node in parser.parse().nodes], parser.get_diagnostics()) == (["n"], [])
    # Its end of input is on line 1, one column past every byte but the CRs.
    parser.parse()
    assert [(d.line, d.column) for d in parser.get_diagnostics()] == [(1, len(text) - text.count("\r") + 1)] * 6


@pytest.mark.parametrize("line_end", ["\r", "\r\n", "\n\r", "\r\r\n"], ids=["CR", "CRLF", "LFCR", "CRCRLF"])
def test_positions_with_carriage_returns(line_end):
    text = node_text(diagnostic="diagnostic { NAD = 1 }\n", status="status_management { response_error = e; }\nx")
    text = text.replace("\n", line_end)
    stray = position_of(text, text.rindex("x"))
    assert parse_text(text)[1] == [
        (*position_of(text, text.index("1 }") + 2), "Expected ;, found '}'"),
        (*stray, "Expected }, found 'x'"),
        (*stray, "Unexpected token at top level: 'x'"),
    ]
    assert (stray[0] == 1) == (line_end == "\r")


# --- File names --------------------------------------------------------------------

@pytest.mark.parametrize(
    "name, shown",
    [
        (lambda tmp: str(tmp), "{tmp}"),  # a directory
        (lambda tmp: os.fsencode(tmp), "{tmp}"),
        # A NUL does not open the readable file before it.
        (lambda tmp: str(tmp / "a.ncf") + "\x00.bak", "{tmp}/a.ncf\x00.bak"),
        (lambda tmp: os.fsencode(tmp / "a.ncf") + b"\x00.bak", "{tmp}/a.ncf\x00.bak"),
        (lambda tmp: "n" * 10_000, "n" * 10_000),
        # The bytes that are not UTF-8 show as \xNN.
        (lambda tmp: b"\xff\xfe-missing.ncf", "\\xff\\xfe-missing.ncf"),
    ],
    ids=["directory", "directory in bytes", "NUL", "NUL in bytes", "10 000 characters", "not UTF-8"],
)
def test_names_that_cannot_be_opened(tmp_path, name, shown):
    (tmp_path / "a.ncf").write_text(node_text())
    with pytest.raises(RuntimeError) as raised:
        tolvane.NcfParser(name(tmp_path))
    assert type(raised.value) is RuntimeError
    assert str(raised.value) == "Cannot open file " + shown.format(tmp=tmp_path)


def test_devices_and_fifos_are_refused_without_waiting(tmp_path):
    # /dev/zero would never end; /dev/null would read as an empty file; a FIFO
    # would wait for a writer. The child has a timeout and a memory limit, so
    # that a parser that blocks or reads without end fails instead of hanging.
    fifo, link = tmp_path / "pipe.ncf", tmp_path / "link.ncf"
    os.mkfifo(fifo)
    link.symlink_to(fifo)
    names = ["/dev/zero", "/dev/null", str(fifo), str(link)]
    code = f"""
        import resource
        if not {SANITIZED}:
            resource.setrlimit(resource.RLIMIT_AS, (2 << 30, 2 << 30))
        import tolvane
        for name in {names!r}:
            try:
                tolvane.NcfParser(name)
            except RuntimeError as error:
                print(type(error).__name__, error)
        # With content given, the name is only a label and is never opened.
        print(tolvane.NcfParser({str(fifo)!r}, "x").parse().filename)
    """
    path = os.pathsep.join([os.path.dirname(tolvane.__file__), os.environ.get("PYTHONPATH", "")])
    result = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, text=True,
                            timeout=20, env=dict(os.environ, PYTHONPATH=path))
    assert (result.returncode, result.stderr) == (0, "")
    assert result.stdout.splitlines() == [f"RuntimeError Cannot open file {name}" for name in names] + [str(fifo)]


@pytest.mark.parametrize(
    "content, nodes, version",
    [(node_text().encode(), ["n"], "2.1"), (b"\xef\xbb\xbf", [], "<EOF>")],
    ids=["valid", "byte-order mark only"],
)
def test_a_file_named_by_bytes_that_are_not_utf8_is_read(tmp_path, content, nodes, version):
    path = os.fsencode(tmp_path) + b"/\xe9t\xe9.ncf"
    with open(path, "wb") as file:
        file.write(content)
    parser = tolvane.NcfParser(path)
    ncf = parser.parse()
    shown = os.fsdecode(tmp_path) + "/\\xe9t\\xe9.ncf"
    assert (ncf.filename, [node.name for node in ncf.nodes], ncf.language_version) == (shown, nodes, version)
    expected = [] if nodes else [(shown, *diagnostic) for diagnostic in at_end(1, 1)]
    assert [(d.file, d.line, d.column, d.message) for d in parser.get_diagnostics()] == expected
