"""The module's Python surface: classes, properties, the severity enumeration,
the parser's constructor and methods, lifetimes of views and copies, and the
one exception for unreadable input files."""

import gc
import os
import pickle
import sys
import weakref

import pytest

import tolvane
from api_samples import FIELDS, FULL, field_names, one_record_of_each_class, parse_full
from conftest import END_OF_INPUT_MESSAGES, HEADER, ROOT

Diagnostic = tolvane.Diagnostic
Severity = tolvane.Diagnostic.Severity
VERSION_ONLY = HEADER.encode()
STRAY_X = "Unexpected token at top level: 'x'"


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


def test_the_classes_come_first_then_the_functions():
    public = {name: value for name, value in vars(tolvane).items() if not name.startswith("_")}
    assert list(public) == list(FIELDS) + ["NcfParser", "to_dict", "validate", "check", "check_files", "rules", "dumps", "dump", "CodecError", "pack", "unpack",
        "protected_id", "checksum", "DecodedSignal", "encode", "decode", "ldf", "Comment", "format_text", "draw_frame", "generate_c"]
    for name, value in public.items():
        assert isinstance(value, type) == (name in FIELDS or name in ("NcfParser", "CodecError", "DecodedSignal", "Comment"))
        assert (value.__name__, value.__module__) == (name, "tolvane")


@pytest.mark.parametrize("class_name", FIELDS)
def test_record_class_has_one_annotated_property_per_field_and_no_constructor(class_name):
    cls = getattr(tolvane, class_name)
    properties = {name: value for name, value in vars(cls).items() if isinstance(value, property)}
    # The positions of a record come after its fields; a diagnostic has its own.
    positions = [] if cls is Diagnostic else ["line", "column"]
    assert list(properties) == field_names(class_name) + positions
    assert cls.__match_args__ == tuple(field_names(class_name))
    for field, annotation in FIELDS[class_name] + [(name, "int") for name in positions]:
        assert properties[field].fget.__doc__.strip() == f"(self: tolvane.{class_name}) -> {annotation}"
        assert properties[field].__doc__  # what the field means, for help()
    extra = {"Severity", "Error", "Warning", "Info"} if cls is Diagnostic else {"position_of"}
    assert {name for name in vars(cls) if not name.startswith("_")} == set(properties) | extra
    assert cls.__doc__ is None
    assert "__repr__" in vars(cls) and "__str__" in vars(cls)
    with pytest.raises(TypeError, match=rf"^tolvane\.{class_name}: No constructor defined!$"):
        cls()
    with pytest.raises(TypeError):
        cls(1)


@pytest.mark.parametrize("class_name", FIELDS)
def test_every_property_is_read_only(records, class_name):
    record = records[class_name]
    for field in field_names(class_name):
        before = getattr(record, field)
        with pytest.raises(AttributeError):
            setattr(record, field, before)
        with pytest.raises(AttributeError):
            delattr(record, field)
        assert repr(getattr(record, field)) == repr(before)
    with pytest.raises(AttributeError):
        record.extra = 1
    assert not hasattr(record, "extra")


def test_parser_has_no_properties_and_its_three_methods_then_ours():
    public = [name for name in vars(tolvane.NcfParser) if not name.startswith("_")]
    assert public == ["parse", "set_trace", "get_diagnostics", "get_comments"]
    assert not any(isinstance(value, property) for value in vars(tolvane.NcfParser).values())


# --- the severity enumeration -------------------------------------------------


def test_severity_members_in_order_exported_into_diagnostic():
    assert Severity.__qualname__ == "Diagnostic.Severity"
    members = Severity.__members__.items()
    assert [(name, member.value) for name, member in members] == [("Error", 0), ("Warning", 1), ("Info", 2)]
    for name, member in members:
        value = member.value
        assert getattr(Diagnostic, name) is member
        assert (member.name, int(member), Severity(value)) == (name, value, member)
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
    parser = tolvane.NcfParser("a.ncf", "x")
    parser.parse()
    assert {(type(d.severity), d.severity) for d in parser.get_diagnostics()} == {(Severity, Diagnostic.Error)}


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


# --- the parser's constructor -------------------------------------------------


def test_constructor_signature():
    # The two text parameters as they always were; the reading modes only by keyword.
    assert tolvane.NcfParser.__init__.__doc__ == (
        "__init__(self: tolvane.NcfParser, filename: str | os.PathLike = '', content: str = '', *, "
        "lenient: bool = False, recover: bool = False)"
        " -> None\n"
    )


@pytest.mark.parametrize(
    ("make", "expected"),
    [
        (lambda: tolvane.NcfParser(), [("", 1, 1, message) for message in END_OF_INPUT_MESSAGES]),
        (lambda: tolvane.NcfParser(content=VERSION_ONLY + b"x"), [("", 3, 1, STRAY_X)]),
        (lambda: tolvane.NcfParser("door.ncf", HEADER + "x"), [("door.ncf", 3, 1, STRAY_X)]),
        (lambda: tolvane.NcfParser(b"door.ncf", VERSION_ONLY + b"x"), [("door.ncf", 3, 1, STRAY_X)]),
        (
            lambda: tolvane.NcfParser(bytearray(b"door.ncf"), bytearray(VERSION_ONLY + b"x")),
            [("door.ncf", 3, 1, STRAY_X)],
        ),
    ],
    ids=["no arguments", "content by keyword", "str", "bytes", "bytearray"],
)
def test_filename_and_content_accept_str_bytes_and_bytearray(make, expected):
    parser = make()
    assert parser.parse().filename == expected[0][0]
    assert summary(parser) == expected


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
    content = bytearray(VERSION_ONLY)
    parser = tolvane.NcfParser("t.ncf", content)
    content[:] = b"x" * len(content)
    assert parser.parse().language_version == "2.1"
    assert parser.get_diagnostics() == []


def test_str_content_is_passed_on_as_utf8_bytes():
    # String literals are read as Latin-1: the two UTF-8 bytes of "é" in a
    # str become two characters, the single byte 0xE9 in bytes that letter.
    as_str = tolvane.NcfParser("a", 'node_capability_file; LIN_language_version = "é";').parse()
    as_bytes = tolvane.NcfParser("a", b'node_capability_file; LIN_language_version = "\xe9";').parse()
    assert (as_str.language_version, as_bytes.language_version) == ("Ã©", "é")


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
def test_file_is_read_when_content_is_empty(tmp_path, make):
    path = tmp_path / "Tür.ncf"
    path.write_bytes(FULL)
    parser = make(path)
    ncf = parser.parse()
    assert parser.get_diagnostics() == []
    assert ncf.filename == str(path)
    assert [node.name for node in ncf.nodes] == ["Door", "Seat"]


@pytest.mark.parametrize("name", ["/no/such/dir/door.ncf", ROOT, ROOT / "tests"])
def test_content_given_never_touches_the_file_system(name):
    parser = tolvane.NcfParser(str(name), VERSION_ONLY + b"x")
    assert parser.parse().filename == str(name)
    assert summary(parser) == [(str(name), 3, 1, STRAY_X)]


@pytest.mark.parametrize(
    ("arguments", "keywords"),
    [((1,), {}), (("a", 2), {}), (("a", "b", "c"), {}), ((None,), {}), ((), {"file": "a.ncf"})],
    ids=["int name", "int content", "three arguments", "None", "unknown keyword"],
)
def test_wrong_arguments_are_a_type_error(arguments, keywords):
    with pytest.raises(TypeError):
        tolvane.NcfParser(*arguments, **keywords)


@pytest.mark.parametrize(
    ("name", "message"),
    [
        ("/no/such/dir/Tür.ncf", "Cannot open file /no/such/dir/Tür.ncf"),
        (str(ROOT / "tests"), f"Cannot open file {ROOT / 'tests'}"),
        # The whole name, not the readable file before the NUL that the system would see.
        (str(ROOT / "README.md") + "\0.ncf", f"Cannot open file {ROOT / 'README.md'}\0.ncf"),
        (bytearray(b"\0"), "Cannot open file \0"),
        ("a\0", "Cannot open file a\0"),
    ],
    ids=["missing non-ascii", "directory", "nul", "only nul", "trailing nul"],
)
def test_unreadable_file_is_a_runtime_error_with_the_whole_name(name, message):
    with pytest.raises(RuntimeError) as raised:
        tolvane.NcfParser(name)
    assert type(raised.value) is RuntimeError
    assert raised.value.args == (message,)


# --- set_trace, parse and get_diagnostics -------------------------------------


def test_set_trace_takes_its_switch_by_position_only():
    parser = tolvane.NcfParser("a", "x")
    with pytest.raises(TypeError):
        parser.set_trace(on=True)
    with pytest.raises(TypeError):
        parser.set_trace()
    assert parser.set_trace(False) is None


def test_get_diagnostics_returns_copies_that_a_later_parse_leaves_alone():
    parser = tolvane.NcfParser("a", VERSION_ONLY + b"x")
    parser.parse()
    earlier, again = parser.get_diagnostics(), parser.get_diagnostics()
    assert earlier is not again and earlier[0] is not again[0]
    assert repr(earlier) == repr(again)
    parser.parse()  # continues at the same token
    assert summary(parser)[0] == ("a", 3, 1, "Expected node_capability_file, found 'x'")
    del parser, again
    gc.collect()
    assert [(d.file, d.line, d.column, d.message) for d in earlier] == [("a", 3, 1, STRAY_X)]


def test_parse_returns_a_new_independent_file_each_time():
    parser = tolvane.NcfParser("a", FULL)
    first, second = parser.parse(), parser.parse()
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


def test_node_taken_straight_from_a_temporary_parse_result():
    node = tolvane.NcfParser("a", FULL).parse().nodes[1]
    gc.collect()
    assert node.general.bitrate.rates == [10.0, 19.2]


@pytest.mark.parametrize(
    ("path", "field", "value"),
    [
        (lambda ncf: ncf.nodes[0], "name", "Door"),
        (lambda ncf: ncf.nodes[0].encodings[0].values[0].logical_value, "text_info", "it's off"),
        (lambda ncf: ncf.nodes[0].encodings[0].values[2].physical_range, "max_value", 254),
        (lambda ncf: ncf.nodes[0].frames[0].signals[1].properties.init_value, "array_values", [1, 2, 255]),
        (lambda ncf: ncf.nodes[1].status, "response_error", "Err"),
        (lambda ncf: ncf.nodes[1].general.bitrate, "rates", [10.0, 19.2]),
    ],
    ids=["node", "logical value", "physical range", "init value", "status", "bitrate"],
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
    assert [frame.name for frame in ncf.nodes[0].frames] == ["Status", "Control"]


@pytest.mark.parametrize(
    ("path", "field", "values"),
    [
        (lambda ncf: ncf.nodes[1].general.bitrate, "rates", [10.0, 19.2]),
        (lambda ncf: ncf.nodes[0].diagnostic, "nad_list", [2, 3]),
        (lambda ncf: ncf.nodes[0].diagnostic, "support_sids", [0xB0, 0xB2]),
        (lambda ncf: ncf.nodes[0].status, "fault_state_signals", ["Speed", "Mirror"]),
        (lambda ncf: ncf.nodes[0].frames[0].signals[1].properties.init_value, "array_values", [1, 2, 255]),
    ],
    ids=["rates", "nad_list", "support_sids", "fault_state_signals", "array_values"],
)
def test_value_lists_are_new_on_every_read(path, field, values):
    record = path(parse_full()[1])
    first = getattr(record, field)
    assert first == values
    assert getattr(record, field) is not first
    first.append(0)
    assert getattr(record, field) == values


# --- getters called by unusual callers -----------------------------------------


@pytest.mark.parametrize("class_name", FIELDS)
def test_every_getter_called_on_another_object_is_a_type_error(records, class_name):
    cls = getattr(tolvane, class_name)
    for name, member in vars(cls).items():
        if isinstance(member, property):
            with pytest.raises(TypeError, match=rf"^\(\): incompatible function arguments"):
                member.fget(records["NcfFile"] if cls is not tolvane.NcfFile else records["NcfNodeDef"])
            with pytest.raises(TypeError):
                member.fget(None)


@pytest.mark.parametrize("class_name", FIELDS)
def test_no_instance_without_a_record_can_be_made(class_name):
    cls = getattr(tolvane, class_name)

    class Subclassed(cls):
        pass

    message = rf"^tolvane\.{class_name}: No constructor defined!$"
    for make in (lambda: cls.__new__(cls), lambda: cls.__new__(cls, 1, x=2)):
        with pytest.raises(TypeError, match=message):
            make()
    with pytest.raises(TypeError, match=r"is not safe"):
        object.__new__(cls)
    with pytest.raises(TypeError, match=rf"^tolvane\.{class_name}\.__new__\(X\): X is not a type object$"):
        cls.__new__(42)
    for make in (Subclassed, lambda: Subclassed.__new__(Subclassed)):
        with pytest.raises(TypeError, match="No constructor defined!$"):
            make()


def test_getters_read_through_the_class_as_through_the_instance(records):
    signal = records["NcfSignalDef"]
    assert tolvane.NcfSignalDef.name.fget(signal) == signal.name
    assert tolvane.NcfSignalDef.properties.fget(signal).size == signal.properties.size
    assert tolvane.NcfSignalDef.line.fget(signal) == signal.line > 0


def test_a_view_read_twice_while_alive_is_the_same_object():
    node = parse_full()[1].nodes[0]
    general = node.general
    assert node.general is general
    del general
    assert node.general.bitrate.type == node.general.bitrate.type
