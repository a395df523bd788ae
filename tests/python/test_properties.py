"""Properties that hold for any input: arbitrary bytes, and valid files with
bytes flipped, deleted, inserted or spliced in from other files.

parse() always returns; every diagnostic is an Error inside the input; every
record has a one-line text; a second parse() carries on from where the first
stopped; and the records stay valid however their owners are dropped.
"""

import gc

from hypothesis import HealthCheck, example, given, settings
from hypothesis import strategies as st

import tolvane
from api_samples import FIELDS
from conftest import CORPUS, END_OF_INPUT_MESSAGES, EXAMPLES

UNTERMINATED = "Unterminated string literal"
# Diagnostic positions are 64-bit unsigned; every other int field is 32-bit signed.
COUNTS = {("Diagnostic", "line"), ("Diagnostic", "column")}


def check_value(value, annotation, unsigned=False):
    """Checks one property value against its getter's annotation; returns the
    records in it."""
    if annotation.endswith(" | None"):
        return [] if value is None else check_value(value, annotation[: -len(" | None")], unsigned)
    if annotation.startswith("list["):
        assert type(value) is list
        return [record for element in value for record in check_value(element, annotation[5:-1])]
    if annotation == "int":
        assert type(value) is int
        assert 0 <= value < 2**64 if unsigned else -(2**31) <= value < 2**31
    elif annotation in ("str", "float", "bool"):
        assert type(value).__name__ == annotation
    elif annotation == "tolvane.Diagnostic.Severity":
        assert value == tolvane.Diagnostic.Severity.Error
    else:
        assert type(value) is getattr(tolvane, annotation.removeprefix("tolvane."))
        return [value]
    return []


def walk(record):
    """Reads every property of `record` and of every record below it, checks
    its type, and checks that repr() and str() give the same one-line str."""
    pending = [record]
    while pending:
        current = pending.pop()
        name = type(current).__name__
        text = repr(current)
        assert type(text) is str and str(current) == text and text.startswith(name + "(")
        for field, annotation in FIELDS[name]:
            pending.extend(check_value(getattr(current, field), annotation, (name, field) in COUNTS))


def check_diagnostics(diagnostics, content, filename):
    """Every diagnostic is an Error inside the input; the grammar reports in
    input order, and the lexer's reports (at most one) come last."""
    lengths = [len(line) for line in content.split(b"\n")]
    for diagnostic in diagnostics:
        walk(diagnostic)
        assert diagnostic.file == filename
        assert 1 <= diagnostic.line <= len(lengths)
        assert 1 <= diagnostic.column <= lengths[diagnostic.line - 1] + 1
    messages = [d.message for d in diagnostics]
    lexer_count = messages.count(UNTERMINATED)
    assert lexer_count <= 1
    grammar = diagnostics[: len(diagnostics) - lexer_count]
    assert UNTERMINATED not in [d.message for d in grammar]
    assert [(d.line, d.column) for d in grammar] == sorted((d.line, d.column) for d in grammar)


def check_parse(content):
    """Parses `content` twice and checks everything that must hold."""
    filename = "prop.ncf" if content else ""  # an empty content with a name would read that file
    parser = tolvane.NcfParser(filename, content)
    assert parser.get_diagnostics() == []
    results = []
    for _ in range(2):
        ncf = parser.parse()
        assert type(ncf) is tolvane.NcfFile and ncf.filename == filename
        walk(ncf)
        results.append((ncf, parser.get_diagnostics()))
        check_diagnostics(results[-1][1], content, filename)

    (_, first), (second, second_diagnostics) = results
    grammar = [d for d in first if d.message != UNTERMINATED]
    lexer = [(d.line, d.column, d.message) for d in first if d.message == UNTERMINATED]
    found = [(d.line, d.column, d.message) for d in second_diagnostics]
    assert found[len(found) - len(lexer) :] == lexer  # the lexer's reports only grow
    if grammar and grammar[-1].message.startswith("Unexpected token at top level: '"):
        # It stopped at a top-level token: the second reads on from there.
        stop = (grammar[-1].line, grammar[-1].column)
        assert all(stop <= (line, column) for line, column, message in found if message != UNTERMINATED)
    else:
        # The first parse reached the end of input: the second finds only it.
        assert (second.language_version, second.nodes) == ("<EOF>", [])
        assert [message for _, _, message in found[:6]] == END_OF_INPUT_MESSAGES
        assert len({(line, column) for line, column, _ in found[:6]}) == 1
        assert found[6:] == lexer


# --- Inputs ----------------------------------------------------------------------

SEEDS = [p.read_bytes() for p in [EXAMPLES / "door_module.ncf", EXAMPLES / "broken.ncf"]] + (
    [p.read_bytes() for p in sorted(CORPUS.iterdir()) if p.suffix in (".ncf", ".nfc")] if CORPUS.is_dir() else []
)
DOOR_MODULE = SEEDS[0]

# Pieces that the lexer treats specially, for insertions.
PIECES = [
    b'"', b"\\", b"/*", b"*/", b"//", b"\r", b"\n", b"\r\n", b"\x00", b"\xef\xbb\xbf", b"\xe9", b"\xc3\xa9",
    b"0x", b"0xFFFFFFFF", b"2147483648", b"-2147483649", b"1e400", b"1e-400", b"1e", b".5", b"-", b"+",
    b"{", b"}", b";", b",", b"=", b"node", b"signals", b"encoding", b"free_text", b"init_value",
]


@st.composite
def mutated_files(draw):
    """A seed file with one to eight byte flips, deletions, insertions or
    splices of a slice of another seed."""
    content = bytearray(draw(st.sampled_from(SEEDS)))
    for _ in range(draw(st.integers(1, 8))):
        at = draw(st.integers(0, len(content)))
        action = draw(st.sampled_from(["flip", "delete", "insert", "piece", "splice"]))
        if action == "flip" and at < len(content):
            content[at] ^= draw(st.integers(1, 255))
        elif action == "delete":
            del content[at : at + draw(st.integers(1, 64))]
        elif action == "insert":
            content[at:at] = draw(st.binary(min_size=1, max_size=16))
        elif action == "piece":
            content[at:at] = draw(st.sampled_from(PIECES))
        elif action == "splice":
            donor = draw(st.sampled_from(SEEDS))
            start = draw(st.integers(0, len(donor)))
            content[at : at + draw(st.integers(0, 256))] = donor[start : start + draw(st.integers(0, 512))]
    return bytes(content)


PROPERTY_SETTINGS = settings(max_examples=500, deadline=None, suppress_health_check=[HealthCheck.too_slow])
EDGE_CASES = [
    b"", b"\xef\xbb\xbf", b'"', b"\\", b"/*", b"//", b"\r", b"\x00", b"\xff", b"node_capability_file;",
    b'node_capability_file; LIN_language_version = "2.1"; x node n {',
    b'node_capability_file; LIN_language_version = "2.1"; node n { "',
    b"node_capability_file node_capability_file node_capability_file", b"node node node",
    DOOR_MODULE, DOOR_MODULE + b"\x00", DOOR_MODULE.replace(b"}", b"", 1), DOOR_MODULE.replace(b'"', b"", 1),
    DOOR_MODULE.replace(b"\n", b"\r"), DOOR_MODULE[: len(DOOR_MODULE) // 2], DOOR_MODULE + DOOR_MODULE,
]


def with_examples(test):
    for case in EDGE_CASES:
        test = example(case)(test)
    return test


@PROPERTY_SETTINGS
@given(st.binary(max_size=512))
@with_examples
def test_arbitrary_bytes(content):
    check_parse(content)


@PROPERTY_SETTINGS
@given(mutated_files())
def test_mutated_files(content):
    check_parse(content)


# --- Lifetimes -------------------------------------------------------------------

# The complete example with one stray token after it, so that there is a
# diagnostic to hold as well.
LIFE = DOOR_MODULE + b"\nstray"
# The example with a reserved NAD, for a finding of the rules to hold.
CHECKED = DOOR_MODULE.replace(b"NAD = 0x10", b"NAD = 0x00")


def holders():
    """A parser, its file, its diagnostics, views at every depth of the tree,
    and what the other functions return for it, by name."""
    parser = tolvane.NcfParser("life.ncf", LIFE)
    ncf = parser.parse()
    diagnostics = parser.get_diagnostics()
    parser.parse()  # reads the stray token as a version; from here on it is at the end
    node = ncf.nodes[0]
    signals = node.frames[0].signals
    checked_file, findings = tolvane.check("checked.ncf", CHECKED)
    decoded = tolvane.decode(node, node.frames[0], b"\x01\xc8\x12\x34\x00")
    return {
        "parser": parser, "file": ncf, "diagnostics": diagnostics, "diagnostic": diagnostics[0],
        "nodes": ncf.nodes, "node": node, "general": node.general, "bitrate": node.general.bitrate,
        "frame": node.frames[0], "signals": signals, "properties": signals[-1].properties,
        "init_value": signals[-1].properties.init_value, "encoding_value": node.encodings[-1].values[0],
        "physical_range": node.encodings[1].values[0].physical_range, "status": node.status,
        "validated": tolvane.validate(ncf, diagnostics), "checked_file": checked_file,
        "checked_node": checked_file.nodes[0], "findings": findings, "finding": findings[0],
        "decoded": decoded, "decoded_signal": decoded["window_position"],
    }  # fmt: skip


HELD = list(holders())
# What validate(), check() and decode() return: records of any severity and
# named tuples, compared whole rather than walked.
RESULTS = {"validated", "checked_file", "checked_node", "findings", "finding", "decoded", "decoded_signal"}


def plain(value):
    """The value as plain data: through to_dict() for records, so that every
    field below them is read."""
    if isinstance(value, list):
        return [plain(item) for item in value]
    if isinstance(value, dict):
        return {name: tuple(item) for name, item in value.items()}
    if isinstance(value, tuple):
        return tuple(value)
    return tolvane.to_dict(value)


@settings(max_examples=100, deadline=None)
@given(st.permutations(HELD))
@example(HELD)
@example(list(reversed(HELD)))
def test_dropping_owners_and_views_in_any_order(order):
    # Everything that exists already is moved out of the collector's sight,
    # so that each collection below looks at the records and little else.
    gc.freeze()
    try:
        held = holders()
        texts = {name: repr(value) for name, value in held.items() if name != "parser"}
        plains = {name: plain(held[name]) for name in RESULTS}
        assert texts["diagnostics"] == "[" + texts["diagnostic"] + "]"
        assert texts["findings"] == "[" + texts["finding"] + "]"
        assert plains["finding"]["code"] == "nad" and plains["decoded_signal"] == (0x12, 9.0, "percent", "physical")
        for name in order:
            del held[name]
            gc.collect()
            # Whatever is left shows exactly what it showed before; a parse on a
            # parser that is still held finds the end and changes none of it.
            for other, value in held.items():
                if other == "parser":
                    assert (value.parse().language_version, len(value.get_diagnostics())) == ("<EOF>", 6)
                    continue
                assert repr(value) == texts[other]
                if other in RESULTS:
                    assert plain(value) == plains[other]
                    continue
                for record in value if isinstance(value, list) else [value]:
                    walk(record)
    finally:
        gc.unfreeze()
