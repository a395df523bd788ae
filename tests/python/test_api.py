"""The module's Python surface: classes, properties, the severity enumeration,
the parser's constructor and methods, lifetimes of views and copies, and the
one exception for unreadable input files."""

import gc
import os
import pickle
import subprocess
import sys
import weakref

import pytest

import tolvane
from api_samples import FULL, one_record_of_each_class, parse_full
from conftest import END_OF_INPUT_MESSAGES, HEADER, ROOT, node_text

Diagnostic = tolvane.Diagnostic
Severity = tolvane.Diagnostic.Severity

# Every record class in registration order, with its properties in field
# order and the return annotation of each property's getter.
FIELDS = {
    "Diagnostic": [
        ("severity", "tolvane.Diagnostic.Severity"),
        ("file", "str"),
        ("line", "int"),
        ("column", "int"),
        ("message", "str"),
    ],
    "NcfInitValue": [("is_array", "bool"), ("scalar", "int"), ("array_values", "list[int]")],
    "NcfBitrateDefinition": [
        ("type", "str"),
        ("min_br", "float | None"),
        ("max_br", "float | None"),
        ("rates", "list[float]"),
        ("fixed_rate", "float | None"),
    ],
    "NcfGeneralDef": [
        ("protocol_version", "str"),
        ("supplier_id", "int"),
        ("function_id", "int"),
        ("variant_id", "int"),
        ("bitrate", "tolvane.NcfBitrateDefinition"),
        ("sends_wake_up_signal", "bool | None"),
        ("volt_from", "float | None"),
        ("volt_to", "float | None"),
        ("temp_from", "float | None"),
        ("temp_to", "float | None"),
        ("conformance", "str | None"),
    ],
    "NcfDiagnosticDef": [
        ("nad_lhs", "int"),
        ("nad_rhs", "int | None"),
        ("nad_list", "list[int]"),
        ("diagnostic_class", "int | None"),
        ("p2_min", "float | None"),
        ("st_min", "float | None"),
        ("n_as_timeout", "float | None"),
        ("n_cr_timeout", "float | None"),
        ("support_sids", "list[int]"),
        ("max_message_length", "int | None"),
    ],
    "NcfSignalProperties": [
        ("init_value", "tolvane.NcfInitValue"),
        ("size", "int"),
        ("offset", "int"),
        ("encoding_name", "str | None"),
    ],
    "NcfSignalDef": [("name", "str"), ("properties", "tolvane.NcfSignalProperties")],
    "NcfFrameProperties": [
        ("length", "int"),
        ("min_period", "int | None"),
        ("max_period", "int | None"),
        ("event_triggered_frame", "str | None"),
    ],
    "NcfSingleFrame": [
        ("kind", "str"),
        ("name", "str"),
        ("properties", "tolvane.NcfFrameProperties"),
        ("signals", "list[tolvane.NcfSignalDef]"),
    ],
    "NcfLogicalValue": [("signal_value", "int"), ("text_info", "str | None")],
    "NcfPhysicalRange": [
        ("min_value", "int"),
        ("max_value", "int"),
        ("scale", "float"),
        ("offset_val", "float"),
        ("text_info", "str | None"),
    ],
    "NcfEncodingValue": [
        ("type", "str"),
        ("logical_value", "tolvane.NcfLogicalValue | None"),
        ("physical_range", "tolvane.NcfPhysicalRange | None"),
    ],
    "NcfEncodingEntry": [("name", "str"), ("values", "list[tolvane.NcfEncodingValue]")],
    "NcfStatusManagement": [("response_error", "str"), ("fault_state_signals", "list[str]")],
    "NcfNodeDef": [
        ("name", "str"),
        ("general", "tolvane.NcfGeneralDef"),
        ("diagnostic", "tolvane.NcfDiagnosticDef"),
        ("frames", "list[tolvane.NcfSingleFrame]"),
        ("encodings", "list[tolvane.NcfEncodingEntry]"),
        ("status", "tolvane.NcfStatusManagement"),
        ("free_text", "str | None"),
    ],
    "NcfFile": [("filename", "str"), ("language_version", "str"), ("nodes", "list[tolvane.NcfNodeDef]")],
}
RECORD_CLASSES = list(FIELDS)
VERSION_ONLY = HEADER.encode()


def properties_of(cls):
    return [name for name, value in vars(cls).items() if isinstance(value, property)]


def summary(parser):
    """The diagnostics of a parser as (file, line, column, message) tuples."""
    return [(d.file, d.line, d.column, d.message) for d in parser.get_diagnostics()]


def collected(reference):
    gc.collect()
    return reference() is None


@pytest.fixture(scope="module")
def records():
    return one_record_of_each_class()


# --- classes and properties ---------------------------------------------------


def test_every_public_name_is_a_class_of_the_module():
    public = {name: value for name, value in vars(tolvane).items() if not name.startswith("_")}
    assert list(public) == RECORD_CLASSES + ["NcfParser"]
    for name, value in public.items():
        assert isinstance(value, type)
        assert (value.__name__, value.__module__) == (name, "tolvane")


@pytest.mark.parametrize("class_name", RECORD_CLASSES)
def test_one_property_per_field_in_field_order(class_name):
    assert properties_of(getattr(tolvane, class_name)) == [field for field, _ in FIELDS[class_name]]


@pytest.mark.parametrize("class_name", RECORD_CLASSES)
def test_record_classes_have_no_public_attributes_besides_their_fields(class_name):
    cls = getattr(tolvane, class_name)
    public = {name for name in vars(cls) if not name.startswith("_")}
    extra = {"Severity", "Error", "Warning", "Info"} if cls is Diagnostic else set()
    assert public == {field for field, _ in FIELDS[class_name]} | extra
    assert cls.__doc__ is None
    assert "__repr__" in vars(cls) and "__str__" in vars(cls)


@pytest.mark.parametrize(
    ("class_name", "field", "annotation"),
    [(class_name, field, annotation) for class_name, fields in FIELDS.items() for field, annotation in fields],
)
def test_getter_annotation(class_name, field, annotation):
    getter = vars(getattr(tolvane, class_name))[field].fget
    assert getter.__doc__.strip() == f"(self: tolvane.{class_name}) -> {annotation}"


@pytest.mark.parametrize("class_name", RECORD_CLASSES)
def test_every_property_is_read_only(records, class_name):
    record = records[class_name]
    for field, _ in FIELDS[class_name]:
        before = getattr(record, field)
        with pytest.raises(AttributeError):
            setattr(record, field, before)
        with pytest.raises(AttributeError):
            delattr(record, field)
        assert repr(getattr(record, field)) == repr(before)
    with pytest.raises(AttributeError):
        record.extra = 1
    assert not hasattr(record, "extra")


@pytest.mark.parametrize("class_name", RECORD_CLASSES)
def test_record_classes_cannot_be_constructed(class_name):
    cls = getattr(tolvane, class_name)
    with pytest.raises(TypeError, match=rf"^tolvane\.{class_name}: No constructor defined!$"):
        cls()
    with pytest.raises(TypeError):
        cls(1)


def test_parser_has_no_properties_and_exactly_three_methods():
    public = [name for name in vars(tolvane.NcfParser) if not name.startswith("_")]
    assert sorted(public) == ["get_diagnostics", "parse", "set_trace"]
    assert properties_of(tolvane.NcfParser) == []


# --- the severity enumeration -------------------------------------------------


def test_severity_members_in_order_with_their_values():
    assert Severity.__qualname__ == "Diagnostic.Severity"
    assert [(name, member.value) for name, member in Severity.__members__.items()] == [
        ("Error", 0),
        ("Warning", 1),
        ("Info", 2),
    ]


@pytest.mark.parametrize(("name", "value"), [("Error", 0), ("Warning", 1), ("Info", 2)])
def test_severity_members_are_exported_into_diagnostic(name, value):
    member = getattr(Severity, name)
    assert getattr(Diagnostic, name) is member
    assert (member.name, member.value, int(member)) == (name, value, value)
    assert Severity(value) == member
    assert ["a", "b", "c"][member] == "abc"[value]  # __index__
    assert pickle.loads(pickle.dumps(member)) == member
    assert hash(Severity(value)) == hash(member)


def test_severity_compares_by_member_only():
    assert Diagnostic.Error == Severity.Error
    assert Diagnostic.Error != Diagnostic.Warning
    assert Diagnostic.Warning != Diagnostic.Info
    # Not arithmetic: an integer never equals a member.
    assert Diagnostic.Error != 0
    assert not (Diagnostic.Info == 2)


@pytest.mark.parametrize(
    "operation",
    [
        lambda: Diagnostic.Error + 1,
        lambda: Diagnostic.Error < Diagnostic.Warning,
        lambda: Diagnostic.Warning | Diagnostic.Info,
        lambda: -Diagnostic.Info,
    ],
    ids=["add", "less", "or", "negate"],
)
def test_severity_is_not_arithmetic(operation):
    with pytest.raises(TypeError):
        operation()


def test_parsed_diagnostics_have_severity_error():
    parser = tolvane.NcfParser("a.ncf", "x")
    parser.parse()
    diagnostics = parser.get_diagnostics()
    assert len(diagnostics) == 6
    for diagnostic in diagnostics:
        assert type(diagnostic.severity) is Severity
        assert diagnostic.severity == Diagnostic.Error
        assert diagnostic.severity == Severity.Error
        assert diagnostic.severity != Diagnostic.Warning
        assert int(diagnostic.severity) == 0


# --- the parser's constructor -------------------------------------------------


def test_constructor_signature():
    assert tolvane.NcfParser.__init__.__doc__.startswith(
        "__init__(self: tolvane.NcfParser, filename: str = '', content: str = '') -> None"
    )


def test_no_arguments_parse_an_empty_text_with_an_empty_name():
    parser = tolvane.NcfParser()
    ncf = parser.parse()
    assert (ncf.filename, ncf.language_version, ncf.nodes) == ("", "<EOF>", [])
    assert summary(parser) == [("", 1, 1, message) for message in END_OF_INPUT_MESSAGES]


@pytest.mark.parametrize("to_type", [str, bytes, bytearray], ids=["str", "bytes", "bytearray"])
def test_filename_and_content_accept_str_bytes_and_bytearray(to_type):
    def convert(text):
        return text if to_type is str else to_type(text.encode())

    parser = tolvane.NcfParser(convert("door.ncf"), convert(HEADER + "x"))
    ncf = parser.parse()
    assert (ncf.filename, ncf.language_version) == ("door.ncf", "2.1")
    assert summary(parser) == [("door.ncf", 3, 1, "Unexpected token at top level: 'x'")]


@pytest.mark.parametrize("make", [lambda text: text, str.encode], ids=["str", "bytes"])
def test_immutable_content_is_read_in_place_and_kept_alive(make):
    content = make(HEADER + "node " + "x" * 1000)
    before = sys.getrefcount(content)
    parser = tolvane.NcfParser("t.ncf", content)
    assert sys.getrefcount(content) == before + 1
    del parser
    assert sys.getrefcount(content) == before
    parser = tolvane.NcfParser("t.ncf", content)
    del content
    gc.collect()
    assert parser.parse().language_version == "2.1"


def test_bytearray_content_changed_after_construction_does_not_reach_the_parser():
    content = bytearray((HEADER).encode())
    parser = tolvane.NcfParser("t.ncf", content)
    content[:] = b"x" * len(content)
    assert parser.parse().language_version == "2.1"
    assert parser.get_diagnostics() == []


def test_str_content_is_passed_on_as_utf8_bytes():
    # A string literal's bytes are read as Latin-1, so the two UTF-8 bytes of
    # an e with acute accent in a str become two characters, while the single
    # byte 0xE9 in bytes becomes that letter.
    as_str = tolvane.NcfParser("a", 'node_capability_file; LIN_language_version = "é";').parse()
    as_bytes = tolvane.NcfParser("a", b'node_capability_file; LIN_language_version = "\xe9";').parse()
    assert (as_str.language_version, as_bytes.language_version) == ("Ã©", "é")


@pytest.fixture
def ncf_on_disk(tmp_path):
    path = tmp_path / "door.ncf"
    path.write_bytes(FULL)
    return path


@pytest.mark.parametrize(
    "make",
    [
        lambda path: tolvane.NcfParser(str(path)),
        lambda path: tolvane.NcfParser(filename=str(path)),
        lambda path: tolvane.NcfParser(os.fsencode(path)),
        lambda path: tolvane.NcfParser(str(path), ""),
        lambda path: tolvane.NcfParser(filename=str(path), content=b""),
    ],
    ids=["position", "keyword", "bytes name", "empty content", "empty bytes content by keyword"],
)
def test_file_is_read_when_content_is_empty(ncf_on_disk, make):
    parser = make(ncf_on_disk)
    ncf = parser.parse()
    assert parser.get_diagnostics() == []
    assert ncf.filename == str(ncf_on_disk)
    assert [node.name for node in ncf.nodes] == ["Door", "Seat"]


def test_content_by_keyword_reports_an_empty_file_name():
    parser = tolvane.NcfParser(content=VERSION_ONLY + b"x")
    ncf = parser.parse()
    assert ncf.filename == ""
    assert summary(parser) == [("", 3, 1, "Unexpected token at top level: 'x'")]


def test_names_outside_ascii_are_read(tmp_path):
    utf8_name = tmp_path / "Tür.ncf"
    utf8_name.write_bytes(FULL)
    raw_name = os.fsencode(tmp_path) + b"/T\xfcr.ncf"  # not UTF-8
    with open(raw_name, "wb") as file:
        file.write(VERSION_ONLY)
    assert [node.name for node in tolvane.NcfParser(str(utf8_name)).parse().nodes] == ["Door", "Seat"]
    parser = tolvane.NcfParser(raw_name)
    assert parser.parse().language_version == "2.1"
    assert parser.get_diagnostics() == []


def test_empty_file_gives_empty_content(tmp_path):
    path = tmp_path / "empty.ncf"
    path.write_bytes(b"")
    parser = tolvane.NcfParser(str(path))
    parser.parse()
    assert summary(parser) == [(str(path), 1, 1, message) for message in END_OF_INPUT_MESSAGES]


@pytest.mark.parametrize(
    "name",
    ["/no/such/dir/door.ncf", ROOT, ROOT / "tests"],
    ids=["missing", "checkout directory", "tests directory"],
)
def test_content_given_never_touches_the_file_system(name):
    parser = tolvane.NcfParser(str(name), VERSION_ONLY + b"x")
    ncf = parser.parse()
    assert ncf.filename == str(name)
    assert summary(parser) == [(str(name), 3, 1, "Unexpected token at top level: 'x'")]


def run_with_a_fifo(tmp_path, program):
    """Runs `program` in a child with sys.argv[1] naming a FIFO that has no
    writer. Opening it would block, so a fault shows as a timeout instead of
    a hung test run."""
    fifo = tmp_path / "pipe"
    os.mkfifo(fifo)
    result = subprocess.run(
        [sys.executable, "-c", "import sys, tolvane\n" + program, str(fifo)],
        capture_output=True,
        text=True,
        timeout=10,
        check=True,
    )
    return fifo, result.stdout


def test_content_given_does_not_open_a_fifo(tmp_path):
    fifo, output = run_with_a_fifo(tmp_path, "print(tolvane.NcfParser(sys.argv[1], 'x').parse().filename)")
    assert output == f"{fifo}\n"


def test_a_fifo_is_not_read(tmp_path):
    program = "try:\n    tolvane.NcfParser(sys.argv[1])\nexcept RuntimeError as error:\n    print(error)\n"
    fifo, output = run_with_a_fifo(tmp_path, program)
    assert output == f"Cannot open file {fifo}\n"


@pytest.mark.parametrize(
    "arguments",
    [(1,), ("a", 2), ("a", "b", "c"), (None,)],
    ids=["int name", "int content", "three arguments", "None"],
)
def test_wrong_arguments_are_a_type_error(arguments):
    with pytest.raises(TypeError):
        tolvane.NcfParser(*arguments)


def test_unknown_keyword_is_a_type_error():
    with pytest.raises(TypeError):
        tolvane.NcfParser(file="a.ncf")


# --- files that cannot be read ------------------------------------------------


@pytest.mark.parametrize(
    ("name", "message"),
    [
        ("/no/such/dir/door.ncf", "Cannot open file /no/such/dir/door.ncf"),
        (b"/no/such/dir/door.ncf", "Cannot open file /no/such/dir/door.ncf"),
        ("/no/such/dir/Tür.ncf", "Cannot open file /no/such/dir/Tür.ncf"),
        (str(ROOT), f"Cannot open file {ROOT}"),
        (str(ROOT / "tests"), f"Cannot open file {ROOT / 'tests'}"),
        # The whole name, not the part before the NUL that the system would see.
        (str(ROOT / "README.md") + "\0.ncf", f"Cannot open file {ROOT / 'README.md'}\0.ncf"),
        (bytearray(b"\0"), "Cannot open file \0"),
        ("a\0", "Cannot open file a\0"),
    ],
    ids=[
        "missing",
        "missing bytes",
        "missing non-ascii",
        "directory",
        "subdirectory",
        "nul",
        "only nul",
        "trailing nul",
    ],
)
def test_unreadable_file_is_a_runtime_error_with_the_whole_name(name, message):
    with pytest.raises(RuntimeError) as raised:
        tolvane.NcfParser(name)
    assert type(raised.value) is RuntimeError
    assert raised.value.args == (message,)


def test_readable_file_with_nul_in_name_is_refused(ncf_on_disk):
    # The name up to the NUL is a readable file; it must still be refused.
    with pytest.raises(RuntimeError) as raised:
        tolvane.NcfParser(str(ncf_on_disk) + "\0")
    assert raised.value.args == (f"Cannot open file {ncf_on_disk}\0",)


# --- set_trace, parse and get_diagnostics -------------------------------------


def test_set_trace_takes_its_switch_by_position_only():
    parser = tolvane.NcfParser("a", "x")
    with pytest.raises(TypeError):
        parser.set_trace(on=True)
    with pytest.raises(TypeError):
        parser.set_trace()
    assert parser.set_trace(False) is None


def test_get_diagnostics_is_empty_before_the_first_parse():
    # Even when the lexer has already met an unterminated string.
    parser = tolvane.NcfParser("a", '"open')
    assert parser.get_diagnostics() == []
    parser.parse()
    assert summary(parser)[-1] == ("a", 1, 1, "Unterminated string literal")


def test_get_diagnostics_returns_new_copies_every_time():
    parser = tolvane.NcfParser("a", VERSION_ONLY + b"x")
    parser.parse()
    first = parser.get_diagnostics()
    second = parser.get_diagnostics()
    assert first is not second
    assert first[0] is not second[0]
    assert repr(first) == repr(second)


def test_earlier_diagnostics_do_not_change_with_a_later_parse():
    parser = tolvane.NcfParser("a", VERSION_ONLY + b"x")
    parser.parse()
    earlier = parser.get_diagnostics()
    kept = earlier[0]
    parser.parse()  # continues at the same token
    assert [(d.line, d.column, d.message) for d in earlier] == [(3, 1, "Unexpected token at top level: 'x'")]
    assert summary(parser)[0] == ("a", 3, 1, "Expected node_capability_file, found 'x'")
    del parser, earlier
    gc.collect()
    assert (kept.file, kept.line, kept.message) == ("a", 3, "Unexpected token at top level: 'x'")


def test_parse_returns_a_new_independent_file_each_time():
    parser = tolvane.NcfParser("a", FULL)
    first = parser.parse()
    second = parser.parse()
    assert first is not second
    assert [node.name for node in first.nodes] == ["Door", "Seat"]
    assert (second.language_version, second.nodes) == ("<EOF>", [])


# --- lifetimes of views and lists ---------------------------------------------


def test_file_outlives_its_parser():
    parser, ncf = parse_full()
    parser_reference = weakref.ref(parser)
    del parser
    assert collected(parser_reference)
    assert ncf.nodes[0].frames[0].signals[1].properties.init_value.array_values == [1, 2, 255]


def test_node_keeps_the_unreferenced_file_alive():
    ncf = parse_full()[1]
    file_reference = weakref.ref(ncf)
    node = ncf.nodes[0]
    del ncf
    assert not collected(file_reference)
    assert node.general.bitrate.type == "automatic"
    assert node.frames[0].signals[0].name == "Speed"
    del node
    assert collected(file_reference)


def test_node_taken_straight_from_a_temporary_parse_result():
    node = tolvane.NcfParser("a", FULL).parse().nodes[1]
    gc.collect()
    assert node.general.bitrate.type == "select"
    assert node.general.bitrate.rates == [10.0, 19.2]


@pytest.mark.parametrize(
    ("path", "field", "value"),
    [
        (lambda ncf: ncf.nodes[0].encodings[0].values[0].logical_value, "text_info", "it's off"),
        (lambda ncf: ncf.nodes[0].encodings[0].values[2].physical_range, "max_value", 254),
        (lambda ncf: ncf.nodes[0].frames[0].signals[1].properties.init_value, "array_values", [1, 2, 255]),
        (lambda ncf: ncf.nodes[1].status, "response_error", "Err"),
        (lambda ncf: ncf.nodes[1].general.bitrate, "rates", [10.0, 19.2]),
    ],
    ids=["logical value", "physical range", "init value", "status", "bitrate"],
)
def test_views_keep_the_file_alive(path, field, value):
    ncf = parse_full()[1]
    file_reference = weakref.ref(ncf)
    view = path(ncf)
    del ncf
    assert not collected(file_reference)
    assert getattr(view, field) == value
    del view
    assert collected(file_reference)


def test_two_reads_of_a_list_give_distinct_lists_over_the_same_records():
    ncf = parse_full()[1]
    first, second = ncf.nodes, ncf.nodes
    assert first is not second
    assert [repr(node) for node in first] == [repr(node) for node in second] == [
        "NcfNodeDef(name='Door')",
        "NcfNodeDef(name='Seat')",
    ]
    first.clear()
    assert len(ncf.nodes) == 2
    frames = ncf.nodes[0].frames
    assert frames[0].name == "Status"
    assert frames[1].name == "Control"


@pytest.mark.parametrize(
    ("path", "expected"),
    [
        (lambda ncf: ncf.nodes[1].general.bitrate, ("rates", [10.0, 19.2])),
        (lambda ncf: ncf.nodes[0].diagnostic, ("nad_list", [2, 3])),
        (lambda ncf: ncf.nodes[0].diagnostic, ("support_sids", [0xB0, 0xB2])),
        (lambda ncf: ncf.nodes[0].status, ("fault_state_signals", ["Speed", "Mirror"])),
        (lambda ncf: ncf.nodes[0].frames[0].signals[1].properties.init_value, ("array_values", [1, 2, 255])),
    ],
    ids=["rates", "nad_list", "support_sids", "fault_state_signals", "array_values"],
)
def test_value_lists_are_new_on_every_read(path, expected):
    record = path(parse_full()[1])
    field, values = expected
    first = getattr(record, field)
    assert first == values
    assert getattr(record, field) is not first
    first.append(0)
    assert getattr(record, field) == values


# --- optional fields ----------------------------------------------------------


def test_absent_optionals_read_as_none():
    seat = parse_full()[1].nodes[1]
    general, diagnostic = seat.general, seat.diagnostic
    assert [
        general.bitrate.min_br,
        general.bitrate.max_br,
        general.bitrate.fixed_rate,
        general.sends_wake_up_signal,
        general.volt_from,
        general.volt_to,
        general.temp_from,
        general.temp_to,
        general.conformance,
        diagnostic.diagnostic_class,
        diagnostic.p2_min,
        diagnostic.st_min,
        diagnostic.n_as_timeout,
        diagnostic.n_cr_timeout,
        diagnostic.max_message_length,
        seat.free_text,
    ] == [None] * 16
    assert (diagnostic.nad_rhs, diagnostic.nad_list, diagnostic.support_sids) == (6, [], [])


def test_present_optionals_read_as_values():
    door = parse_full()[1].nodes[0]
    general, diagnostic = door.general, door.diagnostic
    assert (general.bitrate.min_br, general.bitrate.max_br, general.bitrate.fixed_rate) == (1.0, 20.0, None)
    assert (general.sends_wake_up_signal, general.volt_from, general.volt_to) == (True, 9.0, 16.5)
    assert (general.temp_from, general.temp_to, general.conformance) == (-40.0, 85.0, "LIN2.1")
    assert (diagnostic.nad_rhs, diagnostic.diagnostic_class, diagnostic.max_message_length) == (None, 2, 64)
    assert (diagnostic.p2_min, diagnostic.st_min, diagnostic.n_as_timeout, diagnostic.n_cr_timeout) == (
        50.0,
        0.0,
        1000.0,
        1000.0,
    )
    assert door.free_text == "Door module"
    for value in (general.bitrate.min_br, diagnostic.st_min, general.temp_from):
        assert type(value) is float
    assert type(general.sends_wake_up_signal) is bool


def test_frame_properties_optionals():
    frames = parse_full()[1].nodes[0].frames
    present, absent = frames[0].properties, frames[1].properties
    assert (present.min_period, present.max_period, present.event_triggered_frame) == (10, 100, "Events")
    assert (absent.min_period, absent.max_period, absent.event_triggered_frame) == (None, None, None)
    assert frames[1].signals == []


@pytest.mark.parametrize(
    ("index", "kind", "logical", "physical"),
    [
        (0, "logical", "NcfLogicalValue(signal_value=0, text_info=\"it's off\")", None),
        (1, "logical", "NcfLogicalValue(signal_value=1, text_info=None)", None),
        (2, "physical", None, "NcfPhysicalRange(min_value=0, max_value=254, scale=0.5, offset_val=-40)"),
        (3, "bcd", None, None),
        (4, "ascii", None, None),
    ],
)
def test_encoding_value_holds_exactly_the_record_of_its_type(index, kind, logical, physical):
    value = parse_full()[1].nodes[0].encodings[0].values[index]
    assert value.type == kind
    assert (value.logical_value is None) == (logical is None)
    assert (value.physical_range is None) == (physical is None)
    if logical is not None:
        assert repr(value.logical_value) == logical
    if physical is not None:
        assert repr(value.physical_range) == physical
        assert value.physical_range.text_info == "km/h"


def test_signal_properties_of_a_full_node():
    signals = parse_full()[1].nodes[0].frames[0].signals
    speed, mirror = signals[0].properties, signals[1].properties
    assert (speed.size, speed.offset, speed.encoding_name) == (16, 8, "SpeedEnc")
    assert (speed.init_value.is_array, speed.init_value.scalar, speed.init_value.array_values) == (False, -1, [])
    assert (mirror.size, mirror.offset, mirror.encoding_name) == (16, 16, None)
    assert (mirror.init_value.is_array, mirror.init_value.scalar) == (True, 0)


def test_minimal_node_from_conftest_reads_its_defaults():
    ncf = tolvane.NcfParser("a", node_text()).parse()
    node = ncf.nodes[0]
    assert (node.name, node.encodings, node.free_text, node.status.fault_state_signals) == ("n", [], None, [])
    assert node.general.bitrate.fixed_rate == 19.2
