"""The lenient reading of older and vendor files: one table per construct
(the accepted form, the warning's position and text, the tree), what stays an
error, input that reads the same either way, and the real files it is for."""

import pytest

import tolvane
from conftest import DIAGNOSTIC, EXAMPLES, GENERAL, HEADER, ROOT, STATUS, node_text

SIGNAL = "s { size = 8; offset = 0; init_value = 0; }"


def parse(text, lenient=True):
    parser = tolvane.NcfParser("old.ncf", text, lenient=lenient)
    ncf = parser.parse()
    return ncf, [(d.line, d.column, d.severity.name, d.code, d.message) for d in parser.get_diagnostics()]


def where(text, needle, occurrence=1):
    """Line and column of the `occurrence`-th `needle` in `text`."""
    index = -1
    for _ in range(occurrence):
        index = text.index(needle, index + 1)
    line = text.count("\n", 0, index) + 1
    return line, index - (text.rfind("\n", 0, index) + 1) + 1


def general(statements):
    return "general { " + statements + " }\n"


def frames(properties, signals=SIGNAL):
    return "frames { publish f { " + properties + " signals { " + signals + " } } }\n"


def standard(**sections):
    return node_text(**sections)


def check_accepted(text, warnings):
    """The strict reading rejects `text`; the lenient one reads it with exactly
    `warnings`, each (needle, code, message) at the needle's place."""
    _, strict = parse(text, lenient=False)
    assert strict and {severity for _, _, severity, _, _ in strict} == {"Error"}
    ncf, lenient = parse(text)
    expected = [(*where(text, needle), "Warning", code, message) for needle, code, message in warnings]
    assert lenient == expected
    return ncf.nodes[0]


# --- bit rates without a unit --------------------------------------------------

BASE_GENERAL = 'LIN_protocol_version = "2.1"; supplier = 1; function = 2; variant = 0;'


@pytest.mark.parametrize(("bitrate", "warnings", "fields"), [
    ("19200", [("19200", "Bit rate '19200' has no unit; read as 19.2 kbps")], {"fixed_rate": 19.2}),
    ("10417", [("10417", "Bit rate '10417' has no unit; read as 10.417 kbps")], {"fixed_rate": 10.417}),
    ("0x4B00", [("0x4B00", "Bit rate '0x4B00' has no unit; read as 19.2 kbps")], {"fixed_rate": 19.2}),
    ("20", [("20", "Bit rate '20' has no unit; read as 20 kbps")], {"fixed_rate": 20.0}),
    ("9.6", [("9.6", "Bit rate '9.6' has no unit; read as 9.6 kbps")], {"fixed_rate": 9.6}),
    ("select { 9600, 19.2 kbps }", [("9600", "Bit rate '9600' has no unit; read as 9.6 kbps")],
     {"type": "select", "rates": [9.6, 19.2]}),
    ("automatic min 1000 max 20000", [("1000", "Bit rate '1000' has no unit; read as 1 kbps"),
                                      ("20000", "Bit rate '20000' has no unit; read as 20 kbps")],
     {"type": "automatic", "min_br": 1.0, "max_br": 20.0}),
])
def test_a_bit_rate_without_a_unit(bitrate, warnings, fields):
    text = standard(general=general(f"{BASE_GENERAL} bitrate = {bitrate};"))
    node = check_accepted(text, [(needle, "dialect-bitrate-unit", message) for needle, message in warnings])
    plain = tolvane.to_dict(node.general.bitrate)
    assert {name: plain[name] for name in fields} == fields


def test_a_wrong_unit_is_still_an_error():
    text = standard(general=general(f"{BASE_GENERAL} bitrate = 19.2 kbs;"))
    (lenient_file, lenient), (strict_file, strict) = parse(text), parse(text, lenient=False)
    assert lenient[0] == strict[0] and lenient[0][4] == "Expected kbps, found 'kbs'"
    bitrates = [tolvane.to_dict(file.nodes[0].general.bitrate) for file in (lenient_file, strict_file)]
    assert bitrates[0] == bitrates[1] and bitrates[0]["fixed_rate"] == 19.2


# --- statements of older files in a frame and in general, skipped ----------------

@pytest.mark.parametrize(("properties", "needle", "code", "message"), [
    ("message_ID = 0x1300; length = 1;", "message_ID", "dialect-message-id",
     "Statement 'message_ID = 0x1300' (LIN 2.0 message identifier; in J2602, the frame's identifier) read and "
     "skipped: a frame has no field for it"),
    ("length = 1; event_triggered_message_ID = 0x4567;", "event_triggered", "dialect-event-triggered-message-id",
     "Statement 'event_triggered_message_ID = 0x4567' (LIN 2.0 message identifier of the event-triggered frame) "
     "read and skipped: a frame has no field for it"),
    ("length = 1; max_period = 100 ms; frame_id = 0x3d;", "frame_id", "dialect-frame-id",
     "Statement 'frame_id = 0x3d' (frame identifier, which the cluster's description assigns) read and skipped: "
     "a frame has no field for it"),
])
def test_a_frame_statement_of_older_files_is_skipped(properties, needle, code, message):
    node = check_accepted(standard(frames=frames(properties)), [(needle, code, message)])
    frame = node.frames[0]
    assert (frame.properties.length, [s.name for s in frame.signals]) == (1, ["s"])


def test_a_response_tolerance_is_skipped():
    text = standard(general=general(f"{BASE_GENERAL} bitrate = 19.2 kbps; response_tolerance = 40 %;"))
    node = check_accepted(text, [("response_tolerance", "dialect-response-tolerance",
                                  "Statement 'response_tolerance = 40 %' (J2602 response tolerance) read and "
                                  "skipped: the general section has no field for it")])
    assert node.general.bitrate.fixed_rate == 19.2


def test_a_skipped_statement_without_its_semicolon_is_reported_after_the_warning():
    text = standard(frames=frames("length = 1; frame_id = 0x3d }"))
    _, diagnostics = parse(text)
    assert diagnostics[:2] == [(*where(text, "frame_id"), "Warning", "dialect-frame-id",
                                "Statement 'frame_id = 0x3d' (frame identifier, which the cluster's description "
                                "assigns) read and skipped: a frame has no field for it"),
                               (*where(text, "} signals"), "Error", "syntax", "Expected ;, found '}'")]


# --- statements in another order --------------------------------------------------

@pytest.mark.parametrize(("sections", "needle", "message"), [
    ({"general": general('bitrate = 19.2 kbps; variant = 0; function = 2; supplier = 1; '
                         'LIN_protocol_version = "2.1";')},
     "variant", "Statements of general in another order than the standard one ('variant' after 'bitrate'); "
                "each is read where it stands"),
    ({"diagnostic": "diagnostic { support_sid { 0xB2 }; P2_min = 50 ms; NAD = 1; }\n"},
     "P2_min", "Statements of diagnostic in another order than the standard one ('P2_min' after 'support_sid'); "
               "each is read where it stands"),
    ({"frames": frames("max_period = 100 ms; min_period = 10 ms; length = 1;")},
     "min_period", "Statements of frame in another order than the standard one ('min_period' after "
                   "'max_period'); each is read where it stands"),
])
def test_statements_in_another_order_are_read_where_they_stand_with_one_warning(sections, needle, message):
    text = standard(**sections)
    node = check_accepted(text, [(needle, "dialect-statement-order", message)])
    in_order = {
        "general": general(f"{BASE_GENERAL} bitrate = 19.2 kbps;"),
        "diagnostic": "diagnostic { NAD = 1; P2_min = 50 ms; support_sid { 0xB2 }; }\n",
        "frames": frames("length = 1; min_period = 10 ms; max_period = 100 ms;"),
    }
    section = next(iter(sections))
    strict_node = parse(standard(**{section: in_order[section]}), lenient=False)[0].nodes[0]
    assert tolvane.to_dict(node) == tolvane.to_dict(strict_node)


@pytest.mark.parametrize("sections", [
    {"general": general(f"{BASE_GENERAL} bitrate = 19.2 kbps; supplier = 3;")},
    {"diagnostic": "diagnostic { NAD = 1; P2_min = 50 ms; P2_min = 60 ms; }\n"},
    {"frames": frames("length = 1; max_period = 100 ms; length = 2;")},
])
def test_a_repeated_statement_is_the_strict_readings_error(sections):
    # The same first error; how each reading recovers after it may differ.
    text = standard(**sections)
    (_, lenient), (_, strict) = parse(text), parse(text, lenient=False)
    assert lenient[0] == strict[0] and lenient[0][2:4] == ("Error", "syntax")
    assert lenient[0][4].startswith("Expected }, found ")


@pytest.mark.parametrize(("sections", "closing", "message"), [
    ({"general": general('LIN_protocol_version = "2.1"; function = 2; variant = 0; bitrate = 19.2 kbps;')},
     ("}", 1), "Expected supplier, found '}'"),
    ({"diagnostic": "diagnostic { diagnostic_class = 1; }\n"}, ("}", 2), "Expected NAD, found '}'"),
    ({"frames": frames("min_period = 10 ms;")}, ("signals", 1), "Expected length, found 'signals'"),
    ({"status": ""}, ("}\n", 4), "Expected status_management, found '}'"),
])
def test_a_missing_mandatory_statement_or_section_is_one_error(sections, closing, message):
    text = standard(**sections)
    _, diagnostics = parse(text)
    assert diagnostics == [(*where(text, *closing), "Error", "syntax", message)]


# --- the other constructs, each where the strict reading fails ---------------------

def test_error_response_is_read_as_response_error():
    text = standard(status="status_management { error_response = e; }\n")
    node = check_accepted(text, [("error_response", "dialect-error-response",
                                  "Statement 'error_response' (the spelling of LIN 2.0 and vendors' files) read as "
                                  "response_error")])
    assert node.status.response_error == "e"


def test_support_sid_as_an_assignment_is_read_as_the_list():
    text = standard(diagnostic="diagnostic { NAD = 1; support_sid = 0x22, 0x2e, 0xb2; }\n")
    node = check_accepted(text, [("support_sid", "dialect-support-sid-list",
                                  "Older form 'support_sid = ...;' read as the list support_sid { ... }")])
    assert node.diagnostic.support_sids == [0x22, 0x2E, 0xB2]


def test_an_inline_encoding_joins_the_nodes_encodings_before_its_section():
    signal = 's { size = 8; offset = 0; init_value = 0; encoding E { logical_value, 0, "off"; }; }'
    text = standard(frames=frames("length = 1;", signal), encoding="encoding { F { bcd_value; } }\n")
    node = check_accepted(text, [("encoding E", "dialect-inline-encoding",
                                  "Encoding 'E' defined inside a signal; read as an entry of the node's encodings "
                                  "and the signal's reference to it")])
    assert [entry.name for entry in node.encodings] == ["E", "F"]
    assert node.encodings[0].values[0].logical_value.text_info == "off"
    signal_read = node.frames[0].signals[0]
    assert signal_read.properties.encoding_name == "E"
    assert node.position_of("encodings", 0) == where(text, "E {")


def test_a_signal_named_by_a_keyword_keeps_its_name():
    text = standard(frames=frames("length = 1;", "length { size = 8; offset = 0; init_value = 0; }"))
    node = check_accepted(text, [("length {", "dialect-keyword-name",
                                  "Signal name 'length' is a keyword of NCF; read as the name")])
    assert [signal.name for signal in node.frames[0].signals] == ["length"]


MEMBER = "publish m { length = 2; event_triggered_frame = E; signals { s { size = 8; offset = 8; init_value = 0; } } }"


@pytest.mark.parametrize(("frames_text", "declarations", "kept", "frame_length_error"), [
    # Declared before or after the frames that name it.
    ("publish E { length = 0; } " + MEMBER, ["publish E"], ["m"], False),
    (MEMBER + " subscribe E { length = 0; }", ["subscribe E"], ["m"], False),
    # Not a declaration: with signals, of another length, or named by nothing but itself.
    ("publish E { length = 0; signals { x { size = 1; offset = 0; init_value = 0; } } } " + MEMBER, [], ["E", "m"],
     True),
    ("publish E { length = 1; } " + MEMBER, [], ["E", "m"], False),
    ("publish E { length = 0; event_triggered_frame = E; }", [], ["E"], True),
])
def test_a_frame_of_length_0_that_frames_name_as_their_event_triggered_frame_declares_it(
        frames_text, declarations, kept, frame_length_error):
    text = standard(frames="frames { " + frames_text + " }\n")
    strict_tree, strict = parse(text, lenient=False)
    tree, warnings = parse(text)
    assert strict == [] and len(strict_tree.nodes[0].frames) == len(kept) + len(declarations)
    assert [frame.name for frame in tree.nodes[0].frames] == kept
    assert warnings == [(*where(text, needle), "Warning", "dialect-event-triggered-declaration",
                         "Frame 'E' of length 0, which other frames name as their event-triggered frame, read as the "
                         "declaration of that event-triggered frame; not kept as a frame") for needle in declarations]
    assert ("frame-length" in [d.code for d in tolvane.validate(tree)]) == frame_length_error


def test_hash_lines_are_comments_reported_once_a_run_after_the_grammars_diagnostics():
    text = HEADER + "#\n# a { comment\n" + node_text()[len(HEADER):].replace("{\n", "{\n  # inside\n", 1)
    ncf, diagnostics = parse(text)
    message = "Line beginning with '#' read as a comment (NCF comments begin with // or /*)"
    assert diagnostics == [(3, 1, "Warning", "dialect-hash-comment", message),
                           (6, 3, "Warning", "dialect-hash-comment", message)]
    assert [node.name for node in ncf.nodes] == ["n"]


@pytest.mark.parametrize(("block", "head", "closing_line"), [
    ("master m {\n  slaves { a; b; }\n  schedule_tables { s { f delay 10 ms; } }\n}\n", "master m", 6),
    ('master m { text = "}"; }\n', "master m", 3),  # a brace in a string does not count
    ("ldf_extras {\n}\n", "ldf_extras", 4),
])
def test_a_top_level_block_that_is_not_a_node_is_skipped(block, head, closing_line):
    text = HEADER + block + node_text()[len(HEADER):]
    ncf, diagnostics = parse(text)
    assert diagnostics == [(3, 1, "Warning", "dialect-foreign-block",
                            f"Top-level block '{head}' is not a node; skipped to its closing brace on line "
                            f"{closing_line}, nothing in it is kept")]
    assert [node.name for node in ncf.nodes] == ["n"]


def test_a_block_that_is_not_a_section_is_skipped_inside_a_node():
    parameters = "parameters {\n  Version { address = 0x0; }\n}\n"
    text = standard(frames="frames { }\n" + parameters)
    node = check_accepted(text, [("parameters", "dialect-foreign-block",
                                  "Block 'parameters' is not a section of a node; skipped to its closing brace on "
                                  "line 9, nothing in it is kept")])
    assert node.status.response_error == "e"


def test_an_unclosed_foreign_block_runs_to_the_end():
    text = HEADER + "master m { a {"
    ncf, diagnostics = parse(text)
    end = where(text, "{", 2)[0], len(text) - text.rfind("\n")
    assert diagnostics == [(3, 1, "Warning", "dialect-foreign-block",
                            "Top-level block 'master m' is not a node; skipped to the end of the input, nothing in "
                            "it is kept"),
                           (*end, "Error", "syntax", "Expected }, found '<EOF>'")]
    assert ncf.nodes == []


@pytest.mark.parametrize("stray", ["x", "x y", "x y z {", "42 {", "#"])
def test_what_is_no_block_still_ends_the_parse(stray):
    ncf, diagnostics = parse(HEADER + "\n" + stray + "\n" + node_text()[len(HEADER):])
    if stray == "#":  # a comment line now: the node is read
        assert [d[3] for d in diagnostics] == ["dialect-hash-comment"] and len(ncf.nodes) == 1
    else:
        assert [d[4] for d in diagnostics] == [f"Unexpected token at top level: '{stray.split()[0]}'"]
        assert ncf.nodes == []


# --- input the strict reading takes cleanly reads the same ------------------------

def clean_inputs():
    from test_corpus import FOLLOWS_THE_GRAMMAR
    from conftest import CORPUS

    files = sorted(EXAMPLES.glob("*.ncf"))
    files += [CORPUS / name for name in FOLLOWS_THE_GRAMMAR if (CORPUS / name).is_file()]
    return [path for path in files if not parse(path.read_bytes(), lenient=False)[1]]


def without_event_triggered_declarations(tree):
    """The tree of a file without its frames of length 0 and no signals that
    other frames name as their event-triggered frame."""
    named = {frame["properties"]["event_triggered_frame"] for node in tree["nodes"] for frame in node["frames"]
             if frame["properties"]["event_triggered_frame"] not in (None, frame["name"])}

    def declaration(frame):
        return frame["properties"]["length"] == 0 and not frame["signals"] and frame["name"] in named

    nodes = [dict(node, frames=[frame for frame in node["frames"] if not declaration(frame)]) for node in tree["nodes"]]
    return dict(tree, nodes=nodes)


@pytest.mark.parametrize("path", clean_inputs(), ids=lambda path: path.name)
def test_clean_input_gives_the_same_tree_trace_and_no_warning(path, capfd):
    # But for the declarations of event-triggered frames, one warning each.
    content = path.read_bytes()
    trees, warnings = [], []
    for lenient in (False, True):
        parser = tolvane.NcfParser(str(path), content, lenient=lenient)
        parser.set_trace(True)
        trees.append(tolvane.to_dict(parser.parse(), positions=True))
        warnings.append([d.code for d in parser.get_diagnostics()])
    tolvane_cli_flush()
    trace = capfd.readouterr().out.splitlines()
    declared = without_event_triggered_declarations(trees[0]) != trees[0]
    assert warnings[0] == [] and set(warnings[1]) <= {"dialect-event-triggered-declaration"}
    assert bool(warnings[1]) == declared
    assert without_event_triggered_declarations(trees[0]) == trees[1]
    assert trace[: len(trace) // 2] == trace[len(trace) // 2 :] and trace


def test_a_missing_statement_is_reported_by_the_rules_where_it_was_expected():
    # Found by fuzzing: the rules reported the defaults of missing statements
    # at line 0, column 0.
    path = ROOT / "tests" / "fuzz-cases" / "crash-lenient-missing-statement-position.ncf"
    text = path.read_text()
    ncf, syntax = parse(text)
    expected = {(line, column) for line, column, _, _, _ in syntax}
    findings = [(d.line, d.column, d.code) for d in tolvane.validate(ncf)]
    assert [code for _, _, code in findings] == ["protocol-version", "nad", "frame-length"]
    assert {(line, column) for line, column, _ in findings} <= expected


def tolvane_cli_flush():
    import tolvane_cli.tree

    tolvane_cli.tree.flush_c_stdout()


def test_the_default_is_strict_and_lenient_is_keyword_only():
    text = standard(status="status_management { error_response = e; }\n")
    assert parse(text, lenient=False)[1] == [
        (d.line, d.column, d.severity.name, d.code, d.message)
        for d in tolvane.check("old.ncf", text)[1] if d.code == "syntax"]
    assert "dialect-error-response" in {d.code for d in tolvane.check("old.ncf", text, lenient=True)[1]}
    with pytest.raises(TypeError):
        tolvane.NcfParser("old.ncf", text, True)


# --- the real files the lenient reading is for ------------------------------------

QLIUXING = "Qliuxing__My_Repository_2__V1_20200822__files__code__mulan2_platform__products__Validation__"
SAMPLES = "sebastianwilczek__CANoe-Configurations__LIN__"
MESSAGE_ID = "dialect-message-id"
# Per file: nodes, frames, signals and encodings read, then each warning as
# (line, code); these files use nothing else, so they read without an error.
READ_WHOLE = {
    QLIUXING + "LIN_SAE_FIXED_DNN__ldf__mlx_sae_10417-fixed-DNN.ncf": (
        (1, 2, 11, 0), [(14, "dialect-bitrate-unit"), (26, MESSAGE_ID), (36, MESSAGE_ID),
                        (52, "dialect-error-response")]),
    QLIUXING + "LIN_SAE_SOFTWARE_DNN__ldf__mlx_sae_10417.ncf": (
        (1, 4, 15, 0), [(14, "dialect-bitrate-unit"), (26, MESSAGE_ID), (36, MESSAGE_ID), (51, MESSAGE_ID),
                        (60, MESSAGE_ID), (70, "dialect-error-response")]),
    SAMPLES + "LINSlaveConformanceTest__NCF__VectorSlave2_0.ncf": (
        (1, 6, 5, 0), [(21, "dialect-bitrate-unit"), (29, MESSAGE_ID), (37, MESSAGE_ID), (45, MESSAGE_ID),
                       (47, "dialect-event-triggered-message-id"), (56, MESSAGE_ID), (60, MESSAGE_ID),
                       (62, "dialect-event-triggered-message-id"), (69, MESSAGE_ID),
                       (74, "dialect-error-response")]),
    SAMPLES + "LINSlaveConformanceTest__NCF__VectorSlaveISO.ncf": ((1, 6, 5, 4), [(89, "dialect-error-response")]),
    SAMPLES + "LINTestSAEJ2602__LINdb__J2602_VectorExample.ncf": (
        (1, 6, 35, 1), [(21, "dialect-bitrate-unit"), (22, "dialect-response-tolerance"), (41, MESSAGE_ID),
                        (54, "dialect-inline-encoding"), (66, MESSAGE_ID), (76, MESSAGE_ID), (98, MESSAGE_ID),
                        (120, MESSAGE_ID), (142, MESSAGE_ID)]),
    "bfueldner__lin_tools__command__res__example_prettify_input.ncf": (
        (1, 2, 5, 2), [(6, "dialect-statement-order"), (14, "dialect-statement-order"),
                       (22, "dialect-statement-order"), (32, "dialect-statement-order")]),
    "PersonalTransport__EVMaster__ev_master.ncf": ((0, 0, 0, 0), [(3, "dialect-foreign-block")]),
}
# Files that also lack what no dialect supplies (a frame's length, a node's
# status_management, a protocol version): the errors that are left.
READ_WITH_ERRORS = {
    "John-Titor__LIN_Nodes__common__nodes.ncf": (
        (5, 10, 64, 21), {"dialect-frame-id": 3, "dialect-keyword-name": 7, "dialect-foreign-block": 4},
        {"Expected length, found '}'": 4, "Expected status_management, found '}'": 5,
         "Expected LIN_protocol_version, found '}'": 2}),
    "John-Titor__LIN_Nodes__common__nodes@0dfd0ea9.ncf": (
        (7, 6, 31, 13), {"dialect-support-sid-list": 6, "dialect-foreign-block": 4, "dialect-hash-comment": 1},
        {"Expected length, found '}'": 4, "Expected status_management, found '}'": 7}),
}


def read_leniently(name):
    from conftest import CORPUS

    path = CORPUS / name
    if not path.is_file():
        pytest.skip(f"{name} is not in the shared corpus")
    parser = tolvane.NcfParser(str(path), lenient=True)
    ncf = parser.parse()
    nodes = ncf.nodes
    counts = (len(nodes), sum(len(n.frames) for n in nodes),
              sum(len(f.signals) for n in nodes for f in n.frames), sum(len(n.encodings) for n in nodes))
    return ncf, counts, parser.get_diagnostics()


@pytest.mark.parametrize("name", READ_WHOLE)
def test_a_dialect_file_reads_whole_with_one_warning_a_construct(name):
    ncf, counts, diagnostics = read_leniently(name)
    expected_counts, warnings = READ_WHOLE[name]
    assert counts == expected_counts
    assert [(d.line, d.code) for d in diagnostics] == warnings
    assert {d.severity for d in diagnostics} == {tolvane.Diagnostic.Warning}
    _, checked = tolvane.check(str(CORPUS_DIR() / name), lenient=True)
    assert "not-checked" not in {d.code for d in checked}, "every node is checked against the rules"


@pytest.mark.parametrize("name", READ_WITH_ERRORS)
def test_a_file_with_more_than_dialect_keeps_only_its_real_errors(name):
    import collections

    _, counts, diagnostics = read_leniently(name)
    expected_counts, warnings, errors = READ_WITH_ERRORS[name]
    assert counts == expected_counts
    assert collections.Counter(d.code for d in diagnostics if d.severity == tolvane.Diagnostic.Warning) == warnings
    assert collections.Counter(d.message for d in diagnostics if d.severity == tolvane.Diagnostic.Error) == errors


def CORPUS_DIR():
    from conftest import CORPUS

    return CORPUS


def unordered(plain):
    """A to_dict() form with every list sorted and the NAD values as one
    list: what a formatter that also sorts keeps of a tree."""
    if isinstance(plain, dict):
        plain = {key: unordered(value) for key, value in plain.items() if key != "filename"}
        if "nad_lhs" in plain:
            plain["nad_list"] = sorted([plain.pop("nad_lhs"), *plain["nad_list"]])
        return plain
    if isinstance(plain, list):
        return sorted((unordered(item) for item in plain), key=repr)
    return plain


def test_the_formatters_input_reads_as_its_output():
    output = CORPUS_DIR() / "bfueldner__lin_tools__command__res__example_prettify_output.ncf"
    if not output.is_file():
        pytest.skip("the formatter's files are not in the shared corpus")
    lenient, _, _ = read_leniently("bfueldner__lin_tools__command__res__example_prettify_input.ncf")
    strict = tolvane.NcfParser(str(output)).parse()
    assert unordered(tolvane.to_dict(lenient)) == unordered(tolvane.to_dict(strict))


# --- the command line ------------------------------------------------------------

OLD_NODE = standard(general=general(f"{BASE_GENERAL} bitrate = 19200;"),
                    frames=frames("length = 1;", "e { size = 1; offset = 0; init_value = 0; }"),
                    status="status_management { error_response = e; }\n")
BITRATE_WARNING = "4:92: warning: Bit rate '19200' has no unit; read as 19.2 kbps [dialect-bitrate-unit]"
SPELLING_WARNING = ("7:21: warning: Statement 'error_response' (the spelling of LIN 2.0 and vendors' files) read as "
                    "response_error [dialect-error-response]")


def write(tmp_path, name, text):
    path = tmp_path / name
    path.write_bytes(text.encode())
    return str(path)


@pytest.mark.parametrize(("argv", "status"), [
    (["check"], 1),
    (["check", "--lenient"], 0),
    (["check", "--lenient", "--werror"], 1),
    (["check", "--lenie"], 0),  # an abbreviation: argparse reads it, to the same effect
    (["check", "--lenient", "--syntax-only"], 0),
])
def test_check_reads_leniently_on_request(tmp_path, capsys, argv, status):
    import tolvane_cli

    path = write(tmp_path, "old.ncf", OLD_NODE)
    assert tolvane_cli.main([*argv, path]) == status
    out = capsys.readouterr().out
    if "--lenient" in argv or "--lenie" in argv:
        assert f"{path}:{BITRATE_WARNING}" in out.splitlines() and f"{path}:{SPELLING_WARNING}" in out.splitlines()
    else:
        assert "[dialect-" not in out and "Expected 'kbps' after 'bitrate = 19200' [syntax]" in out


def test_fmt_lenient_writes_the_standard_syntax_and_says_what_it_made_of_the_file(tmp_path, capsys):
    import tolvane_cli

    path = write(tmp_path, "old.ncf", OLD_NODE)
    assert tolvane_cli.main(["fmt", path]) == 1  # the strict reading refuses it
    capsys.readouterr()
    assert tolvane_cli.main(["fmt", "--lenient", path]) == 0
    out, err = capsys.readouterr()
    assert err.splitlines() == [f"{path}:{BITRATE_WARNING}", f"{path}:{SPELLING_WARNING}"]
    assert "    bitrate = 19.2 kbps;\n" in out and "    response_error = e;\n" in out
    migrated = tolvane.NcfParser("new.ncf", out)
    assert tolvane.to_dict(migrated.parse()) | {"filename": ""} == tolvane.to_dict(
        tolvane.NcfParser("old.ncf", OLD_NODE, lenient=True).parse()) | {"filename": ""}
    assert migrated.get_diagnostics() == []


def test_fmt_lenient_in_place_rewrites_what_it_keeps_whole(tmp_path, capsys):
    import tolvane_cli

    path = write(tmp_path, "old.ncf", "# old comment   \n" + OLD_NODE)
    assert tolvane_cli.main(["fmt", "--lenient", "--in-place", path]) == 0
    rewritten = pathlib_read(path)
    parser = tolvane.NcfParser(path, rewritten)
    assert parser.parse().nodes[0].status.response_error == "e" and parser.get_diagnostics() == []
    assert "bitrate = 19.2 kbps;" in rewritten
    assert rewritten.startswith("// old comment\nnode_capability_file;\n")  # a "#" line, as the standard writes it


@pytest.mark.parametrize(("text", "needs"), [
    (standard(frames=frames("message_ID = 0x1300; length = 1;")), "not formatted in place: the lenient reading"),
    (standard(frames="frames { }\nparameters { a { } }\n"), "not formatted in place: the lenient reading"),
])
def test_fmt_lenient_in_place_refuses_to_lose_what_it_skipped(tmp_path, capsys, text, needs):
    import tolvane_cli

    path = write(tmp_path, "old.ncf", text)
    assert tolvane_cli.main(["fmt", "--lenient", "--in-place", path]) == 1
    assert needs in capsys.readouterr().err
    assert pathlib_read(path) == text
    assert tolvane_cli.main(["fmt", "--lenient", path]) == 0  # to standard output it migrates


def pathlib_read(path):
    with open(path, encoding="utf-8") as stream:
        return stream.read()


def test_fmt_lenient_takes_no_json(tmp_path, capsys):
    import tolvane_cli

    assert tolvane_cli.main(["fmt", "--lenient", "--from-json", write(tmp_path, "a.json", "{}")]) == 2
    assert "--lenient reads NCF text" in capsys.readouterr().err


def test_json_show_trace_and_decode_read_leniently(tmp_path, capsys):
    import json

    import tolvane_cli

    path = write(tmp_path, "old.ncf", OLD_NODE)
    assert tolvane_cli.main(["json", "--lenient", path]) == 0
    document = json.loads(capsys.readouterr().out)
    assert [d["code"] for d in document["diagnostics"]] == ["dialect-bitrate-unit", "dialect-error-response"]
    assert document["ncf_file"]["nodes"][0]["status"]["response_error"] == "e"
    assert tolvane_cli.main(["show", "--lenient", path]) == 0
    assert "fixed_rate = 19.2" in capsys.readouterr().out
    assert tolvane_cli.main(["decode", path, "f", "01"]) == 1  # strictly: syntax errors
    capsys.readouterr()
    assert tolvane_cli.main(["decode", "--lenient", path, "f", "01"]) == 0
    assert capsys.readouterr().out.startswith("e = 1")
