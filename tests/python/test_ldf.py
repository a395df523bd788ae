"""ldf(): the LIN description file of a cluster. The real cluster of the
corpus against its golden LDF; the law against an independent reader
(ldfparser) over the real cluster and random clusters; what the LDF
chooses where the settings leave it open; and the settings' own errors.
`pytest tests/python/test_ldf.py --update-goldens` rewrites the golden LDF."""

import random

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import tolvane
from cluster_gen import clusters, node_text
from conftest import CORPUS, DATA

ldfparser = pytest.importorskip("ldfparser")
from ldf_oracle import assert_ldf_agrees, read_ldf  # noqa: E402  (needs ldfparser)

REAL_CLUSTER = [f"PersonalTransport__LIN__examples__{name}.ncf" for name in ("CEM", "LSM", "RSM")]


def parsed(name, text, lenient=False):
    parser = tolvane.NcfParser(name, text, lenient=lenient)
    return parser.parse(), parser.get_diagnostics()


@pytest.fixture
def real_cluster():
    if not CORPUS.is_dir():
        pytest.skip("the shared corpus is not beside the checkout")
    return [parsed(name, (CORPUS / name).read_bytes(), lenient=True) for name in REAL_CLUSTER]


def test_the_real_cluster_gives_its_golden_ldf(real_cluster, request):
    text, diagnostics = tolvane.ldf(real_cluster, {"master": "CEM"})
    golden = DATA / "cluster.ldf"
    if request.config.getoption("--update-goldens"):
        golden.write_bytes(text)
    assert text == golden.read_bytes()
    # Its own findings are reported and do not stop it: the master's status
    # is not the LDF's, nor is a diagnostic class.
    assert [(d.file, d.line, d.code) for d in diagnostics if d.severity == tolvane.Diagnostic.Error] == [
        ("PersonalTransport__LIN__examples__CEM.ncf", 83, "response-error"),
        ("PersonalTransport__LIN__examples__RSM.ncf", 15, "diagnostic-class")]


@pytest.mark.parametrize("master", ["CEM", "Gateway"])
def test_the_real_cluster_reads_back_as_its_files_say(real_cluster, master):
    files = real_cluster if master == "CEM" else real_cluster[1:]
    text, _ = tolvane.ldf(files, {"master": master})
    assert_ldf_agrees(text, [tree for tree, _ in files], master, rounds=32)


def test_strictly_read_the_real_cluster_stops_at_its_frames_of_length_0(real_cluster):
    strict = [parsed(name, (CORPUS / name).read_bytes()) for name in REAL_CLUSTER]
    text, diagnostics = tolvane.ldf(strict, {"master": "CEM"})
    assert text is None
    assert "frame-length" in {d.code for d in diagnostics}


@settings(max_examples=150, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(clusters(), st.integers(0, 2**32 - 1))
def test_every_ldf_of_a_random_cluster_reads_back_as_its_files_say(cluster, seed):
    nodes, cluster_settings = cluster
    files = [parsed(f"{node.name}.ncf", node_text(node)) for node in nodes]
    text, diagnostics = tolvane.ldf(files, cluster_settings)
    errors = [d for d in diagnostics if d.severity == tolvane.Diagnostic.Error]
    assert text is not None, errors
    assert errors == [] or all(not d.code.startswith("cluster-") for d in errors)
    assert_ldf_agrees(text, [tree for tree, _ in files], cluster_settings["master"], random.Random(seed))


# --- what the settings leave open --------------------------------------------------

def node(name, frames, nad="0x10", bitrate="19.2 kbps", version="2.2"):
    return (f'node_capability_file;\nLIN_language_version = "{version}";\nnode {name} {{\n'
            f'  general {{ LIN_protocol_version = "{version}"; supplier = 0x0001; function = 0x0002; variant = 3; '
            f"bitrate = {bitrate}; }}\n"
            f"  diagnostic {{ NAD = {nad}; diagnostic_class = 2; support_sid {{ 0xB2, 0xB7 }}; }}\n"
            f"  frames {{ {frames} }}\n"
            f"  status_management {{ response_error = {name}_f_err; }}\n}}\n")


def publishes(name, frame="f", length=1, extra=""):
    return (f"publish {name}_{frame} {{ length = {length}; {extra}signals {{ "
            f"{name}_{frame}_err {{ size = 1; init_value = 0; offset = 0; }} }} }}")


def ldf_of(texts, **cluster_settings):
    files = [parsed(f"{i}.ncf", text) for i, text in enumerate(texts)]
    cluster_settings.setdefault("master", "Gateway")
    return tolvane.ldf(files, cluster_settings)


@pytest.mark.parametrize(("bitrates", "given", "speed"), [
    (["19.2 kbps", "19.2 kbps"], None, 19200),
    (["automatic min 10 kbps max 20 kbps", "select { 9.6 kbps, 19.2 kbps }"], None, 19200),
    (["automatic min 10 kbps max 20 kbps", "automatic min 1 kbps max 15 kbps"], None, 15000),
    (["select { 9.6 kbps, 10.4 kbps }", "automatic min 1 kbps max 10 kbps"], None, 9600),
    (["automatic min 10 kbps max 20 kbps", "19.2 kbps"], 19.2, 19200),
])
def test_the_bit_rate_is_the_fastest_every_node_takes(bitrates, given, speed):
    texts = [node(f"n{i}", publishes(f"n{i}"), nad=f"0x{i + 1:02X}", bitrate=rate) for i, rate in enumerate(bitrates)]
    text, _ = ldf_of(texts, **({"bitrate": given} if given else {}))
    assert read_ldf(text).get_baudrate() == speed


def test_identifiers_and_nads_pinned_and_chosen():
    texts = [node("a", publishes("a", "f") + " " + publishes("a", "g"), nad="1 to 4"),
             node("b", publishes("b", "f"), nad="1, 2")]
    text, diagnostics = ldf_of(texts, frame_ids={"a_g": 0}, nads={"a": 2})
    ldf = read_ldf(text)
    assert [(frame.name, frame.frame_id) for frame in ldf.frames] == [("a_f", 1), ("a_g", 0), ("b_f", 2)]
    assert [(slave.name, slave.configured_nad, slave.initial_nad) for slave in ldf.slaves] == [
        ("a", 2, 1), ("b", 1, 1)]


def test_the_schedule_meets_every_max_period_and_min_period():
    texts = [node("a", publishes("a", "f", extra="max_period = 20 ms; ") + " " +
                  publishes("a", "g", extra="min_period = 100 ms; ") + " " + publishes("a", "h"))]
    text, _ = ldf_of(texts, time_base=5.0)
    table = read_ldf(text).get_schedule_table("NormalTable")
    starts, time = {}, 0.0
    for entry in table.schedule:
        starts.setdefault(entry.frame.name, []).append(time)
        time += entry.delay
    cycle = time

    def gaps(name):
        times = starts[name]
        return [(times[(i + 1) % len(times)] - times[i]) % cycle or cycle for i in range(len(times))]

    assert max(gaps("a_f")) <= 0.020 + 1e-12
    assert min(gaps("a_g")) >= 0.100 - 1e-12
    assert all(entry.delay * 1000 % 5 == 0 for entry in table.schedule)


@pytest.mark.parametrize(("texts", "master", "place", "message"), [
    ([], "Gateway", ("c.toml", 0, 0), "The cluster has no node, and so no signal for an LDF to describe"),
    ([node("a", "")], "a", ("0.ncf", 3, 6), "No node of the cluster has a frame with a signal for an LDF to describe"),
], ids=["no node", "a master without frames"])
def test_a_cluster_without_signals_has_no_ldf(texts, master, place, message):
    text, diagnostics = ldf_of(texts, master=master, source="c.toml")
    assert text is None
    assert [(d.file, d.line, d.column, d.message) for d in diagnostics if d.code == "cluster-empty"] == [
        (*place, message)]


@pytest.mark.parametrize(("cluster_settings", "error", "message"), [
    ({"master": "Gateway", "colour": 1}, ValueError, "settings: unknown key 'colour' (the keys: master, time_base,"),
    ({"master": 1}, TypeError, "settings['master']: expected str, not int"),
    ({"master": "M", "time_base": "5"}, TypeError, "settings['time_base']: expected a number, not str"),
    ({"master": "M", "time_base": True}, TypeError, "settings['time_base']: expected a number, not bool"),
    ({"master": "M", "nads": {"a": "0x10"}}, TypeError, "settings['nads']: expected a dict of names (str) to int"),
    ({"master": "M", "frame_ids": [1]}, TypeError, "settings['frame_ids']: expected a dict of names to int, not list"),
    ({"master": "M", "frame_ids": {"f": 2**70}}, ValueError, "settings['frame_ids']['f']: 1180591620717411303424 is out"),
])
def test_settings_of_the_wrong_key_or_type_raise(cluster_settings, error, message):
    with pytest.raises(error) as raised:
        tolvane.ldf([], cluster_settings)
    assert str(raised.value).startswith(message)


@pytest.mark.parametrize(("cluster_settings", "message"), [
    ({}, "The cluster names no master (the setting master, or --master)"),
    ({"master": "a-b"}, "The master's name 'a-b' cannot be written in an LDF"),
    ({"master": "M", "time_base": 0}, "The time base 0 ms is not above 0"),
    ({"master": "M", "jitter": -1}, "The jitter -1 ms is negative"),
    ({"master": "M", "bitrate": float("nan")}, "The bit rate nan kbps is not above 0"),
    ({"master": "M", "frame_ids": {"nope": 1}}, "The identifier 0x01 is pinned for frame 'nope', which no node"),
    ({"master": "M", "frame_ids": {"a_f": 0x3C}}, "The identifier 0x3C pinned for frame 'a_f' is outside 0x00..0x3B"),
    ({"master": "M", "nads": {"a": 0x7E}}, "The NAD 0x7E configured for node 'a' is not a NAD a slave can have"),
    ({"master": "a", "nads": {"a": 1}}, "A NAD is configured for 'a', which is no slave of the cluster"),
    ({"master": "M", "channel": 'say "hi"'}, "The text 'say \"hi\"' cannot be written in an LDF string"),
])
def test_settings_the_cluster_cannot_take_are_its_errors(cluster_settings, message):
    text, diagnostics = tolvane.ldf([parsed("a.ncf", node("a", publishes("a")))], dict(cluster_settings, source="c.toml"))
    assert text is None
    found = [(d.file, d.line, d.column, d.code, d.message) for d in diagnostics if d.code == "cluster-settings"]
    assert len(found) == 1 and found[0][:4] == ("c.toml", 0, 0, "cluster-settings")
    assert found[0][4].startswith(message)


@settings(max_examples=40, deadline=None)
@given(order=st.permutations(range(3)), size=st.integers(1, 3), master=st.sampled_from(["CEM", "LSM", "RSM", "Gateway"]),
       seed=st.integers(0, 2**32 - 1))
def test_clusters_of_the_real_files_either_stop_at_an_error_or_read_back_as_they_say(order, size, master, seed):
    if not CORPUS.is_dir():
        pytest.skip("the shared corpus is not beside the checkout")
    names = [REAL_CLUSTER[i] for i in order[:size]]
    files = [parsed(name, (CORPUS / name).read_bytes(), lenient=True) for name in names]
    text, diagnostics = tolvane.ldf(files, {"master": master})
    if text is None:
        assert any(d.severity == tolvane.Diagnostic.Error and (d.code.startswith("cluster-") or d.code in (
            "response-error", "fault-state-signal")) for d in diagnostics)
    else:
        assert_ldf_agrees(text, [tree for tree, _ in files], master, random.Random(seed))
