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
from conftest import END_OF_INPUT_MESSAGES, CORPUS, EXAMPLES

# Field kinds of every record, as Python sees them: "text", "int" (32-bit
# signed), "count" (64-bit unsigned), "float", "bool", a record class name,
# "?" for an optional, "[...]" for a list.
FIELDS = {
    "Diagnostic": {"severity": "severity", "file": "text", "line": "count", "column": "count", "message": "text"},
    "NcfInitValue": {"is_array": "bool", "scalar": "int", "array_values": "[int]"},
    "NcfBitrateDefinition": {
        "type": "text", "min_br": "float?", "max_br": "float?", "rates": "[float]", "fixed_rate": "float?",
    },
    "NcfGeneralDef": {
        "protocol_version": "text", "supplier_id": "int", "function_id": "int", "variant_id": "int",
        "bitrate": "NcfBitrateDefinition", "sends_wake_up_signal": "bool?", "volt_from": "float?",
        "volt_to": "float?", "temp_from": "float?", "temp_to": "float?", "conformance": "text?",
    },
    "NcfDiagnosticDef": {
        "nad_lhs": "int", "nad_rhs": "int?", "nad_list": "[int]", "diagnostic_class": "int?", "p2_min": "float?",
        "st_min": "float?", "n_as_timeout": "float?", "n_cr_timeout": "float?", "support_sids": "[int]",
        "max_message_length": "int?",
    },
    "NcfSignalProperties": {"init_value": "NcfInitValue", "size": "int", "offset": "int", "encoding_name": "text?"},
    "NcfSignalDef": {"name": "text", "properties": "NcfSignalProperties"},
    "NcfFrameProperties": {
        "length": "int", "min_period": "int?", "max_period": "int?", "event_triggered_frame": "text?",
    },
    "NcfSingleFrame": {
        "kind": "text", "name": "text", "properties": "NcfFrameProperties", "signals": "[NcfSignalDef]",
    },
    "NcfLogicalValue": {"signal_value": "int", "text_info": "text?"},
    "NcfPhysicalRange": {
        "min_value": "int", "max_value": "int", "scale": "float", "offset_val": "float", "text_info": "text?",
    },
    "NcfEncodingValue": {"type": "text", "logical_value": "NcfLogicalValue?", "physical_range": "NcfPhysicalRange?"},
    "NcfEncodingEntry": {"name": "text", "values": "[NcfEncodingValue]"},
    "NcfStatusManagement": {"response_error": "text", "fault_state_signals": "[text]"},
    "NcfNodeDef": {
        "name": "text", "general": "NcfGeneralDef", "diagnostic": "NcfDiagnosticDef", "frames": "[NcfSingleFrame]",
        "encodings": "[NcfEncodingEntry]", "status": "NcfStatusManagement", "free_text": "text?",
    },
    "NcfFile": {"filename": "text", "language_version": "text", "nodes": "[NcfNodeDef]"},
}

UNTERMINATED = "Unterminated string literal"
UNEXPECTED_AT_TOP_LEVEL = "Unexpected token at top level: '"


def check_value(value, kind):
    """Checks one property value against its kind; returns the records in it."""
    if kind.endswith("?"):
        return [] if value is None else check_value(value, kind[:-1])
    if kind.startswith("["):
        assert type(value) is list
        return [record for element in value for record in check_value(element, kind[1:-1])]
    if kind == "text":
        assert type(value) is str
    elif kind == "int":
        assert type(value) is int and -(2**31) <= value < 2**31
    elif kind == "count":
        assert type(value) is int and 0 <= value < 2**64
    elif kind == "float":
        assert type(value) is float
    elif kind == "bool":
        assert type(value) is bool
    elif kind == "severity":
        assert value == tolvane.Diagnostic.Severity.Error
    else:
        assert type(value) is getattr(tolvane, kind)
        return [value]
    return []


def walk(record):
    """Reads every property of `record` and of every record below it, checks
    its kind, and checks that repr() and str() give the same str."""
    pending = [record]
    while pending:
        current = pending.pop()
        text = repr(current)
        assert type(text) is str and str(current) == text
        assert text.startswith(type(current).__name__ + "(")
        for name, kind in FIELDS[type(current).__name__].items():
            value = getattr(current, name)
            pending.extend(check_value(value, kind))


def line_lengths(content):
    return [len(line) for line in content.split(b"\n")]


def check_diagnostics(diagnostics, content, filename):
    """Every diagnostic is an Error inside the input; the grammar reports in
    input order, and the lexer's reports (at most one) come last."""
    lengths = line_lengths(content)
    for diagnostic in diagnostics:
        walk(diagnostic)
        assert diagnostic.severity == tolvane.Diagnostic.Error
        assert diagnostic.file == filename
        assert 1 <= diagnostic.line <= len(lengths)
        assert 1 <= diagnostic.column <= lengths[diagnostic.line - 1] + 1
    messages = [d.message for d in diagnostics]
    lexer_count = messages.count(UNTERMINATED)
    assert lexer_count <= 1
    assert UNTERMINATED not in messages[: len(messages) - lexer_count]
    grammar = [(d.line, d.column) for d in diagnostics[: len(diagnostics) - lexer_count]]
    assert grammar == sorted(grammar)


def check_parse(content):
    """Parses `content` twice and checks everything that must hold."""
    filename = "prop.ncf" if content else ""  # an empty content with a name would read that file
    parser = tolvane.NcfParser(filename, content)
    assert parser.get_diagnostics() == []

    first = parser.parse()
    assert type(first) is tolvane.NcfFile and first.filename == filename
    walk(first)
    first_diagnostics = parser.get_diagnostics()
    check_diagnostics(first_diagnostics, content, filename)

    second = parser.parse()
    walk(second)
    second_diagnostics = parser.get_diagnostics()
    check_diagnostics(second_diagnostics, content, filename)
    grammar_reports = [d for d in first_diagnostics if d.message != UNTERMINATED]
    lexer_reports = [(d.line, d.column, d.message) for d in first_diagnostics if d.message == UNTERMINATED]
    found = [(d.line, d.column, d.message) for d in second_diagnostics]
    stopped = bool(grammar_reports) and grammar_reports[-1].message.startswith(UNEXPECTED_AT_TOP_LEVEL)
    if not stopped:
        # The first parse reached the end of input: the second finds only it.
        assert (second.language_version, second.nodes) == ("<EOF>", [])
        assert [message for _, _, message in found[:6]] == END_OF_INPUT_MESSAGES
        assert len({(line, column) for line, column, _ in found[:6]}) == 1
        assert found[6:] == lexer_reports
    else:
        # It stopped at a top-level token: the second reads on from there,
        # and the lexer's reports only grow.
        stop = (grammar_reports[-1].line, grammar_reports[-1].column)
        assert all(stop <= (line, column) for line, column, message in found if message != UNTERMINATED)
        assert found[len(found) - len(lexer_reports):] == lexer_reports


# --- Inputs ----------------------------------------------------------------------

def seed_files():
    paths = [EXAMPLES / "door_module.ncf", EXAMPLES / "broken.ncf"]
    if CORPUS.is_dir():
        paths += sorted(p for p in CORPUS.iterdir() if p.suffix in (".ncf", ".nfc"))
    return [p.read_bytes() for p in paths]


SEEDS = seed_files()
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


@PROPERTY_SETTINGS
@given(st.binary(max_size=512))
@example(b"")
@example(b"\xef\xbb\xbf")
@example(b'"')
@example(b"\\")
@example(b"/*")
@example(b"//")
@example(b"\r")
@example(b"\x00")
@example(b"\xff")
@example(b"node_capability_file;")
@example(b'node_capability_file; LIN_language_version = "2.1"; x node n {')
@example(b'node_capability_file; LIN_language_version = "2.1"; node n { "')
@example(b"node_capability_file node_capability_file node_capability_file")
@example(b"node node node")
def test_arbitrary_bytes(content):
    check_parse(content)


@PROPERTY_SETTINGS
@given(mutated_files())
@example(DOOR_MODULE)
@example(DOOR_MODULE + b"\x00")
@example(DOOR_MODULE.replace(b"}", b"", 1))
@example(DOOR_MODULE.replace(b'"', b"", 1))
@example(DOOR_MODULE.replace(b"\n", b"\r"))
@example(DOOR_MODULE[: len(DOOR_MODULE) // 2])
@example(DOOR_MODULE + DOOR_MODULE)
def test_mutated_files(content):
    check_parse(content)


# --- Lifetimes -------------------------------------------------------------------

# The complete example with one stray token after it, so that there is a
# diagnostic to hold as well.
LIFE = DOOR_MODULE + b"\nstray"


def holders():
    """A parser, its file, its diagnostics and views at every depth of the
    tree, by name."""
    held = {"parser": tolvane.NcfParser("life.ncf", LIFE)}
    held["file"] = held["parser"].parse()
    held["diagnostics"] = held["parser"].get_diagnostics()
    held["diagnostic"] = held["diagnostics"][0]
    held["parser"].parse()  # reads the stray token as a version; from here on it is at the end
    held["nodes"] = held["file"].nodes
    node = held["node"] = held["nodes"][0]
    held["general"] = node.general
    held["bitrate"] = node.general.bitrate
    held["frame"] = node.frames[0]
    held["signals"] = node.frames[0].signals
    held["properties"] = held["signals"][-1].properties
    held["init_value"] = held["properties"].init_value
    held["encoding_value"] = node.encodings[-1].values[0]
    held["physical_range"] = node.encodings[1].values[0].physical_range
    held["status"] = node.status
    return held


HELD = list(holders())


@settings(max_examples=100, deadline=None)
@given(st.permutations(HELD))
@example(HELD)
@example(list(reversed(HELD)))
def test_dropping_owners_and_views_in_any_order(order):
    # Everything that exists already is moved out of the collector's sight,
    # so that each collection below looks at the records and little else.
    gc.freeze()
    try:
        drop_in_order(order)
    finally:
        gc.unfreeze()


def drop_in_order(order):
    held = holders()
    texts = {name: repr(value) for name, value in held.items() if name != "parser"}
    assert texts["diagnostics"] == "[" + texts["diagnostic"] + "]"
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
            for record in value if isinstance(value, list) else [value]:
                walk(record)
