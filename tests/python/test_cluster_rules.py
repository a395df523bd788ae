"""The rules of a cluster: each finding at the place to edit in the file it
lies in (the later of two conflicting places, the earlier one named in the
message), and what stops the LDF. A mark, », stands before each token a
finding must point at; it is taken out before parsing."""

import pytest

import tolvane
from rules_cases import unmarked

FAULT_FREE_STATUS = "status_management {{ response_error = {name}_err; }}"


def node(name, frames, *, nad="0x10", bitrate="19.2 kbps", encoding="", status=None):
    status = status if status is not None else FAULT_FREE_STATUS.format(name=name)
    return (f'node_capability_file;\nLIN_language_version = "2.2";\nnode {name} {{\n'
            f'general {{ LIN_protocol_version = "2.2"; supplier = 0x0001; function = 0x0002; variant = 3; '
            f"bitrate = {bitrate}; }}\n"
            f"diagnostic {{ NAD = {nad}; diagnostic_class = 2; support_sid {{ 0xB2, 0xB7 }}; }}\n"
            f"frames {{\n{frames}\n}}\n{encoding}{status}\n}}\n")


def frame(kind, name, signals, length=1, extra=""):
    return f"{kind} {name} {{ length = {length}; {extra}signals {{ {signals} }} }}"


def signal(name, size=1, offset=0, init="0", encoding=""):
    return f"{name} {{ size = {size}; init_value = {init}; offset = {offset};{' ' + encoding + ';' if encoding else ''} }}"


def err(name):
    return signal(f"{name}_err")


def run_cluster(texts, **settings):
    settings.setdefault("master", "Gateway")
    files, places = [], []
    for index, text in enumerate(texts):
        plain, marks = unmarked(text)
        parser = tolvane.NcfParser(f"{index}.ncf", plain)
        files.append((parser.parse(), parser.get_diagnostics()))
        places += [(f"{index}.ncf", *mark) for mark in marks]
    text, diagnostics = tolvane.ldf(files, settings)
    return text, diagnostics, places


def cluster_findings(texts, **settings):
    text, diagnostics, places = run_cluster(texts, **settings)
    found = [(d.file, d.line, d.column, d.code, d.message) for d in diagnostics if d.code.startswith("cluster-")]
    return text, found, places


A = node("a", frame("publish", "a_f", err("a")))

CASES = {
    "a frame of two publishers": (
        [A, node("b", frame("publish", "»a_f", err("a")), nad="0x11")],
        [("cluster-publisher", "Frame 'a_f' is published by node 'b' and by node 'a' (0.ncf:7:9)")]),
    "a frame nobody publishes, the master an input node": (
        [node("a", frame("publish", "a_f", err("a")) + "\n" + frame("subscribe", "»ghost", signal("g"))),
         node("m", frame("subscribe", "a_f", err("a")), nad="0x11")],
        [("cluster-unpublished", "No node of the cluster publishes frame 'ghost', which node 'a' subscribes to")],
        {"master": "m"}),
    "another length": (
        [A, node("b", frame("publish", "b_f", err("b")) + "\n" + frame("subscribe", "a_f", err("a"), extra="",
                                                                      length="»2"), nad="0x11")],
        [("cluster-frame", "Frame 'a_f' has length 2 here and 1 in node 'a' (0.ncf:7:24)")]),
    "a signal at another offset": (
        [node("a", frame("publish", "a_f", err("a") + " " + signal("x", 2, 2), length=1)),
         node("b", frame("publish", "b_f", err("b")) + "\n" + frame("subscribe", "a_f", "»" + signal("x", 2, 4)),
              nad="0x11")],
        [("cluster-frame", "Signal 'x' of frame 'a_f' has offset 4 and size 2 here, offset 2 and size 2 in node 'a' "
                           "(0.ncf:7:85)")]),
    "a signal its publisher does not have": (
        [A, node("b", frame("publish", "b_f", err("b")) + "\n" + frame("subscribe", "a_f", "»" + signal("y")),
                 nad="0x11")],
        [("cluster-frame", "Signal 'y' is not in frame 'a_f' in node 'a' (0.ncf:7:9)")]),
    "a signal in two frames": (
        [node("a", frame("publish", "a_f", err("a") + " " + signal("x", 1, 1)) + "\n" +
              frame("publish", "a_g", "»" + signal("x", 1, 1)))],
        [("cluster-signal", "Signal 'x' is in frame 'a_g' here and in frame 'a_f' in node 'a' (0.ncf:7:85)")]),
    "another initial value": (
        [node("a", frame("publish", "a_f", err("a") + " " + signal("x", 2, 2, init="1"))),
         node("b", frame("publish", "b_f", err("b")) + "\n" +
              frame("subscribe", "a_f", "»" + signal("x", 2, 2, init="2")), nad="0x11")],
        [("cluster-signal", "Signal 'x' has another initial value here than in node 'a' (0.ncf:7:85)")]),
    "another encoding": (
        [node("a", frame("publish", "a_f", err("a") + " " + signal("x", 2, 2, encoding="e")),
              encoding="encoding { e { logical_value, 0, \"off\"; } }\n"),
         node("b", frame("publish", "b_f", err("b")) + "\n" +
              frame("subscribe", "a_f", "»" + signal("x", 2, 2, encoding="g")), nad="0x11",
              encoding="encoding { g { logical_value, 0, \"off\"; } }\n")],
        [("cluster-signal", "Signal 'x' has encoding 'g' here and 'e' in node 'a' (0.ncf:7:85)")]),
    "two encodings of one name": (
        [node("a", frame("publish", "a_f", err("a") + " " + signal("x", 2, 2, encoding="e")),
              encoding="encoding { e { logical_value, 0, \"off\"; } }\n"),
         node("b", frame("publish", "b_f", err("b")) + "\n" +
              frame("subscribe", "a_f", signal("x", 2, 2, encoding="e")), nad="0x11",
              encoding="encoding { »e { logical_value, 0, \"OFF\"; } }\n")],
        [("cluster-encoding", "Encoding 'e' differs from the encoding of that name in node 'a' (0.ncf:9:12)")]),
    "frames of an event-triggered frame of two lengths": (
        [node("a", frame("publish", "a_f", err("a")) + "\n" +
              frame("publish", "a_e", signal("x", 8, 8), length=2, extra="event_triggered_frame = E; ")),
         node("b", frame("publish", "b_f", err("b")) + "\n" +
              frame("publish", "»b_e", signal("y", 8, 8), length=3, extra="event_triggered_frame = E; "),
              nad="0x11")],
        [("cluster-event-triggered", "Frame 'b_e' of event-triggered frame 'E' has length 3, frame 'a_e' 2 in node "
                                     "'a' (0.ncf:8:9)")]),
    "frames of an event-triggered frame of one publisher": (
        [node("a", frame("publish", "a_f", err("a")) + "\n" +
              frame("publish", "a_e", signal("x", 8, 8), length=2, extra="event_triggered_frame = E; ") + "\n" +
              frame("publish", "»a_g", signal("y", 8, 8), length=2, extra="event_triggered_frame = E; "))],
        [("cluster-event-triggered", "Frames 'a_e' and 'a_g' of event-triggered frame 'E' are both published by "
                                     "node 'a'")]),
    "a name the LDF cannot spell": (
        [node("a", frame("publish", "a_f", err("a") + " " + "»" + signal("delay", 1, 1)))],
        [("cluster-name", "Signal name 'delay' cannot be written in an LDF (a letter or '_', then letters, digits "
                          "and '_', and no word of the language)")]),
    "no bit rate every node takes": (
        [node("a", frame("publish", "a_f", err("a")), bitrate="19.2 kbps"),
         node("b", frame("publish", "b_f", err("b")), nad="0x11", bitrate="»select { 9.6 kbps, 10.4 kbps }")],
        [("cluster-bitrate", "No bit rate is taken by every node: node 'b' takes 9.6, 10.4 kbps, the nodes before "
                             "it 'a' 19.2 kbps")]),
    "a bit rate a node does not take": (
        [node("a", frame("publish", "a_f", err("a")), bitrate="»automatic min 1 kbps max 10 kbps")],
        [("cluster-bitrate", "Node 'a' does not take the cluster's bit rate 19.2 kbps; it takes 1..10 kbps")],
        {"bitrate": 19.2}),
    "no NAD left": (
        [node("a", frame("publish", "a_f", err("a")), nad="1 to 2"),
         node("b", frame("publish", "b_f", err("b")), nad="0x11"),
         node("c", frame("publish", "c_f", err("c")), nad="»1, 2")],
        [("cluster-nad", "Node 'c' has no NAD of its own left to configure (taken: 0x01 'a', 0x02 'b')")],
        {"nads": {"b": 2}}),
    "a node in two files": (
        [A, node("a", frame("publish", "a_g", signal("a_g_s")), nad="0x11").replace("node a", "node »a")],
        [("cluster-node", "Node 'a' is defined twice in the cluster; first (0.ncf:3:6)")]),
    "a max_period shorter than the frame's slot": (
        [node("a", frame("publish", "a_f", err("a"), extra="max_period = »2 ms; "))],
        [("cluster-schedule", "Frame 'a_f' takes a slot of 5 ms, longer than its max_period 2 ms")]),
    "max_periods that ask for more than the bus": (
        [node("a", frame("publish", "a_f", err("a"), length=8, extra="max_period = »10 ms; ") + "\n" +
              frame("publish", "a_g", signal("x", 8, 0), length=8, extra="max_period = 15 ms; "))],
        [("cluster-schedule", "No schedule table can meet the max_periods, which ask for more than the bus can "
                              "carry: 'a_f' 10 ms every 10 ms, 'a_g' 10 ms every 15 ms")]),
}


@pytest.mark.parametrize("case", CASES, ids=list(CASES))
def test_each_rule_reports_at_its_place(case):
    texts, expected, *cluster_settings = CASES[case]
    text, found, places = cluster_findings(texts, **(cluster_settings[0] if cluster_settings else {}))
    assert text is None
    assert len(places) == len(expected)
    assert found == [(*place, code, message) for place, (code, message) in zip(places, expected)]


def test_more_frames_than_identifiers_is_reported_at_the_first_left_without_one():
    frames = "\n".join(frame("publish", f"f{i}", err("a") if i == 0 else "") for i in range(61))
    frames = frames.replace("publish f60", "publish »f60")
    text, found, places = cluster_findings([node("a", frames)])
    assert [(*found[0][:4], found[0][4])] == [
        (*places[0], "cluster-frame-id",
         "Frame 'f60' finds no identifier left: the cluster has more frames than the 60 of 0x00..0x3B")]


@pytest.mark.parametrize(("status", "master", "written"), [
    # A slave's status management is carried by its node attributes: an error stops the LDF.
    ("status_management { response_error = nope; }", "Gateway", False),
    # The master's is not the LDF's.
    ("status_management { response_error = nope; }", "a", True),
])
def test_own_errors_stop_the_ldf_only_where_it_carries_them(status, master, written):
    texts = [node("a", frame("publish", "a_f", err("a")), status=status),
             node("b", frame("publish", "b_f", err("b")) + "\n" + frame("subscribe", "a_f", err("a")), nad="0x11")]
    text, diagnostics, _ = run_cluster(texts, master=master)
    assert (text is not None) == written
    assert "response-error" in {d.code for d in diagnostics}


def test_findings_that_touch_nothing_the_ldf_carries_leave_it_written():
    text, diagnostics, _ = run_cluster([A.replace("diagnostic_class = 2", "diagnostic_class = 7")])
    assert text is not None and [d.code for d in diagnostics] == ["diagnostic-class"]


def test_the_files_own_diagnostics_come_first_then_the_clusters():
    texts = [node("a", frame("publish", "a_f", err("a"))) + "x",
             node("b", frame("publish", "a_f", err("a")) + " " + frame("publish", "b_f", err("b")), nad="0x11")]
    _, diagnostics, _ = run_cluster(texts)
    assert [(d.file, d.code) for d in diagnostics] == [  # each file's in the order of their places
        ("0.ncf", "not-checked"), ("0.ncf", "syntax"), ("1.ncf", "cluster-publisher")]
