"""Where the records and their values were read: every record's line and
column, position_of(), and to_dict(positions=True)."""

import re

import pytest

import tolvane
from api_samples import FULL
from conftest import CORPUS, EXAMPLES, fields

# The grammar rule that makes each record, whose trace ENTER line shows the
# token at which the record begins. The other records (initial values,
# logical values, physical ranges) are read inside a rule of their parent.
RULE_OF = {
    tolvane.NcfFile: b"ncf_file",
    tolvane.NcfNodeDef: b"node_definition",
    tolvane.NcfGeneralDef: b"general_definition",
    tolvane.NcfBitrateDefinition: b"bitrate_definition",
    tolvane.NcfDiagnosticDef: b"diagnostic_definition",
    tolvane.NcfSingleFrame: b"single_frame",
    tolvane.NcfFrameProperties: b"frame_properties",
    tolvane.NcfSignalDef: b"signal_entry",
    tolvane.NcfSignalProperties: b"signal_properties",
    tolvane.NcfEncodingEntry: b"encoding_entry",
    tolvane.NcfEncodingValue: b"encoding_value",
    tolvane.NcfStatusManagement: b"status_management",
}
ENTER = re.compile(rb"^ *\[TRACE\] ENTER ([a-z_]+) at (\d+):(\d+) ", re.MULTILINE)

BROKEN_AFTER_FULL = FULL + b"node broken { general { } frames { publish { } } }"


def records(record):
    """The record and every record below it, depth first in field order."""
    found = [record]
    for name in fields(type(record)):
        value = getattr(record, name)
        for item in value if isinstance(value, list) else [value]:
            if hasattr(type(item), "__match_args__"):
                found += records(item)
    return found


def check_starts_against_the_trace(content, c_stdout):
    parser = tolvane.NcfParser("t.ncf", content)
    parser.set_trace(True)
    ncf = parser.parse()
    labels = set(RULE_OF.values())
    entered = [(label, int(line), int(column)) for label, line, column in ENTER.findall(c_stdout())
               if label in labels]
    made = [(RULE_OF[type(r)], r.line, r.column) for r in records(ncf) if type(r) in RULE_OF]
    assert made == entered


# Each variant moves the tokens in its own way: a carriage return takes no
# column, a tab takes one, a byte-order mark none, and a line feed inside a
# string or a block comment starts a line like any other.
VARIANTS = {
    "LF": FULL,
    "CRLF": FULL.replace(b"\n", b"\r\n"),
    "CR only": FULL.replace(b"\n", b"\r"),
    "tabs": FULL.replace(b"  ", b"\t"),
    "byte-order mark": b"\xef\xbb\xbf" + FULL,
    "multi-line string and comment before a node": FULL.replace(
        b'free_text { "Door module" }', b'free_text { "Door\nmodule\n" } /* a\n\n comment */'),
    "records after errors": BROKEN_AFTER_FULL,
}


@pytest.mark.parametrize("content", VARIANTS.values(), ids=VARIANTS.keys())
def test_every_record_begins_where_the_trace_enters_its_rule(content, c_stdout):
    check_starts_against_the_trace(content, c_stdout)


def test_records_of_real_files_begin_where_the_trace_enters_their_rules(corpus_files, c_stdout):
    for path in corpus_files + [EXAMPLES / "broken.ncf"]:
        check_starts_against_the_trace(path.read_bytes(), c_stdout)


# --- the positions of values ------------------------------------------------------

LAYOUT = """node_capability_file;
LIN_language_version = "2.1";
node n {
  general {
    LIN_protocol_version = "2.1"; supplier = 0x1E;
    function = 1; variant = 2;
    bitrate = select { 9.6 kbps, 19.2 kbps };
    volt_range = 9, 16;
  }
  diagnostic { NAD = 1, 2; support_sid { 0xB0, 0xB2 }; }
  frames {
    publish f { length = 2; min_period = 10 ms;
      signals { s { size = 8; init_value = { 1, 7 }; offset = 0; enc; } t { } }
    }
  }
  encoding { enc { logical_value, 0, "off"; physical_value, 1, 9, 0.5, 0; } }
  status_management { response_error = s; fault_state_signals = s, t; }
  free_text { "text" }
}
"""


def locate(text, marker, occurrence=0):
    """(line, column) of the first byte of the `occurrence`-th `marker`, for
    a text with line feeds only."""
    offset = -1
    for _ in range(occurrence + 1):
        offset = text.index(marker, offset + 1)
    return text.count("\n", 0, offset) + 1, offset - text.rfind("\n", 0, offset)


def general(ncf):
    return ncf.nodes[0].general


def diagnostic(ncf):
    return ncf.nodes[0].diagnostic


def frame(ncf):
    return ncf.nodes[0].frames[0]


def signal(ncf):
    return frame(ncf).signals[0]


def encoding(ncf):
    return ncf.nodes[0].encodings[0]


# (record, name, index, the marker the position points at, and which of its
# occurrences)
VALUES = [
    (lambda ncf: ncf, "language_version", None, '"2.1"', 0),
    (lambda ncf: ncf, "nodes", 0, "node n", 0),
    (lambda ncf: ncf.nodes[0], "name", None, "n {", 0),
    (lambda ncf: ncf.nodes[0], "general", None, "general", 0),
    (lambda ncf: ncf.nodes[0], "free_text", None, '"text"', 0),
    (lambda ncf: ncf.nodes[0], "frames", 0, "publish", 0),
    (general, "protocol_version", None, '"2.1"', 1),
    (general, "supplier_id", None, "0x1E", 0),
    (general, "variant_id", None, "2;", 0),
    (general, "bitrate", None, "select", 0),
    (general, "volt_range", None, "volt_range", 0),
    (general, "volt_to", None, "16", 0),
    (lambda ncf: general(ncf).bitrate, "rates", 1, "19.2", 0),
    (diagnostic, "NAD", None, "NAD", 0),
    (diagnostic, "nad_lhs", None, "1, 2", 0),
    (diagnostic, "nad_list", 0, "2;", 1),
    (diagnostic, "support_sid", None, "support_sid", 0),
    (diagnostic, "support_sids", 1, "0xB2", 0),
    (frame, "kind", None, "publish", 0),
    (frame, "name", None, "f {", 0),
    (frame, "signals", 1, "t { }", 0),
    (lambda ncf: frame(ncf).properties, "length", None, "2; min", 0),
    (lambda ncf: frame(ncf).properties, "min_period", None, "10 ms", 0),
    (signal, "name", None, "s { size", 0),
    (lambda ncf: signal(ncf).properties, "size", None, "8; init", 0),
    (lambda ncf: signal(ncf).properties, "init_value", None, "init_value", 0),
    (lambda ncf: signal(ncf).properties, "encoding_name", None, "enc;", 0),
    (lambda ncf: signal(ncf).properties.init_value, "array_values", 1, "7 }", 0),
    (encoding, "name", None, "enc {", 0),
    (encoding, "values", 1, "physical_value", 0),
    (lambda ncf: encoding(ncf).values[0].logical_value, "text_info", None, "logical_value", 0),
    (lambda ncf: encoding(ncf).values[1].physical_range, "scale", None, "physical_value", 0),
    (lambda ncf: ncf.nodes[0].status, "response_error", None, "s;", 1),
    (lambda ncf: ncf.nodes[0].status, "fault_state_signals", 1, "t;", 0),
]


@pytest.mark.parametrize(("record", "name", "index", "marker", "occurrence"), VALUES,
                         ids=[f"{name}[{index}]" if index is not None else name for _, name, index, _, _ in VALUES])
def test_position_of_a_value_is_the_token_it_was_read_from(record, name, index, marker, occurrence):
    parser = tolvane.NcfParser("layout.ncf", LAYOUT)
    ncf = parser.parse()
    assert parser.get_diagnostics() == []
    assert record(ncf).position_of(name, index) == locate(LAYOUT, marker, occurrence)


def test_a_carriage_return_takes_no_column_and_a_byte_order_mark_none():
    cr_only = LAYOUT.replace("\n", "\r")
    ncf = tolvane.NcfParser("cr.ncf", cr_only).parse()
    offset = cr_only.index("0x1E")
    assert ncf.nodes[0].general.position_of("supplier_id") == (1, offset + 1 - cr_only.count("\r", 0, offset))
    with_mark = tolvane.NcfParser("bom.ncf", b"\xef\xbb\xbf" + LAYOUT.encode()).parse()
    assert (with_mark.line, with_mark.column, with_mark.nodes[0].line) == (1, 1, 3)


def test_what_the_text_did_not_provide_has_no_position():
    ncf = tolvane.NcfParser("layout.ncf", LAYOUT).parse()
    empty_signal = frame(ncf).signals[1]
    init_value = empty_signal.properties.init_value  # no init_value statement
    assert (init_value.line, init_value.column, init_value.position_of("scalar")) == (0, 0, None)
    assert empty_signal.properties.position_of("size") is None
    assert frame(ncf).properties.position_of("max_period") is None
    assert general(ncf).position_of("temp_range") is None
    assert general(ncf).bitrate.position_of("fixed_rate") is None  # a select bit rate
    assert encoding(ncf).values[1].physical_range.position_of("text_info") is None
    assert ncf.position_of("filename") is None
    assert encoding(ncf).values[1].position_of("logical_value") is None


def test_a_value_read_in_place_of_a_missing_one_is_where_it_was_taken():
    # With the supplier statement's value missing, the ";" is taken as it
    # and reported there; the position says where the value came from.
    text = LAYOUT.replace("supplier = 0x1E;", "supplier = ;")
    parser = tolvane.NcfParser("t.ncf", text)
    ncf = parser.parse()
    line, column = locate(text, "= ;")
    assert general(ncf).position_of("supplier_id") == (line, column + 2)
    assert (line, column + 2, "Expected integer, found ';'") in [(d.line, d.column, d.message)
                                                                for d in parser.get_diagnostics()]


@pytest.mark.parametrize(
    ("record", "arguments", "error", "message"),
    [
        (diagnostic, ("nad",), ValueError, "NcfDiagnosticDef has no field or keyword named 'nad'"),
        (diagnostic, ("nad_list",), ValueError, "NcfDiagnosticDef.nad_list is a list: give the index"),
        (diagnostic, ("nad_lhs", 0), ValueError, "NcfDiagnosticDef.nad_lhs is not a list"),
        (diagnostic, ("NAD", 0), ValueError, "NcfDiagnosticDef.NAD is not a list"),
        (diagnostic, ("nad_list", 1), IndexError, "NcfDiagnosticDef.nad_list has 1 items; there is no item 1"),
        (diagnostic, ("nad_list", -1), IndexError, "an index of 0 or more"),
        (lambda ncf: ncf, ("nodes", 5), IndexError, "NcfFile.nodes has 1 items"),
    ],
)
def test_position_of_refuses_names_and_indexes_it_does_not_have(record, arguments, error, message):
    ncf = tolvane.NcfParser("layout.ncf", LAYOUT).parse()
    with pytest.raises(error, match=re.escape(message)):
        record(ncf).position_of(*arguments)
    with pytest.raises(TypeError):
        record(ncf).position_of(1)


# --- positions in to_dict and tolvane json -----------------------------------------


def test_to_dict_with_positions_adds_line_and_column_after_the_fields_of_every_record():
    parser = tolvane.NcfParser("full.ncf", BROKEN_AFTER_FULL)
    ncf = parser.parse()
    plain = tolvane.to_dict(ncf, positions=True)

    def check(record, value):
        names = fields(type(record))
        assert list(value) == names + ["line", "column"]
        assert (value["line"], value["column"]) == (record.line, record.column)
        for name in names:
            items = getattr(record, name)
            pairs = zip(items, value[name]) if isinstance(items, list) else [(items, value[name])]
            for item, plain_item in pairs:
                if hasattr(type(item), "__match_args__"):
                    check(item, plain_item)

    check(ncf, plain)
    assert tolvane.to_dict(ncf) == tolvane.to_dict(ncf, positions=False)
    assert "line" not in tolvane.to_dict(ncf)
    # A diagnostic has its own line and column, given once.
    diagnostic = parser.get_diagnostics()[0]
    assert list(tolvane.to_dict(diagnostic, positions=True)) == fields(tolvane.Diagnostic)
    with pytest.raises(TypeError):
        tolvane.to_dict(ncf, True)  # positions is keyword-only


def test_every_diagnostic_of_the_parser_has_the_code_syntax():
    parser = tolvane.NcfParser("t.ncf", BROKEN_AFTER_FULL + b'"open')
    parser.parse()
    diagnostics = parser.get_diagnostics()
    assert diagnostics[-1].message == "Unterminated string literal"
    assert {d.code for d in diagnostics} == {"syntax"}
    assert "code" not in repr(diagnostics[0])


def test_records_take_part_in_match_by_their_fields():
    ncf = tolvane.NcfParser("layout.ncf", LAYOUT).parse()
    match frame(ncf):
        case tolvane.NcfSingleFrame("publish", name, properties, [first, *_]):
            assert (name, properties.length, first.name) == ("f", 2, "s")
        case _:
            pytest.fail("the frame did not match its fields")


def test_help_says_what_a_field_means():
    assert tolvane.NcfSignalProperties.size.__doc__ == "the signal's size in bits (`size`)"
    assert "in ms" in tolvane.NcfFrameProperties.max_period.__doc__
