"""The writer's law: what dumps() writes reads back as the same tree, field
by field and bit by bit, and writing that tree again gives the same bytes.
Checked over the real files, mutated files and generated trees."""

import json
import math

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import tolvane
from test_properties import SEEDS, mutated_files

LAW_SETTINGS = settings(max_examples=200, deadline=None, suppress_health_check=[HealthCheck.too_slow])


def parse(text):
    parser = tolvane.NcfParser("law.ncf", text)
    return parser.parse(), parser.get_diagnostics()


def tree(ncf_file):
    """The tree without the file name, as text that tells -0.0 from 0.0."""
    plain = tolvane.to_dict(ncf_file)
    del plain["filename"]
    return json.dumps(plain)


def check_law(ncf_file, clean):
    """dumps() either refuses with ValueError, or writes text that parses
    back to the same tree (without diagnostics when the input had none) and
    is written again as the same bytes; the dict form writes the same."""
    try:
        text = tolvane.dumps(ncf_file)
    except ValueError:
        return None
    again, diagnostics = parse(text)
    assert tree(again) == tree(ncf_file)
    if clean:
        assert diagnostics == []
    assert tolvane.dumps(again) == text
    assert tolvane.dumps(tolvane.to_dict(ncf_file)) == text
    return text


@pytest.mark.parametrize("index", range(len(SEEDS)))
def test_every_clean_seed_file_round_trips(index):
    ncf_file, diagnostics = parse(SEEDS[index])
    text = check_law(ncf_file, clean=not diagnostics)
    if not diagnostics:
        assert text is not None, "a clean file must be writable"


@LAW_SETTINGS
@given(mutated_files())
def test_the_law_holds_for_mutated_files(content):
    ncf_file, diagnostics = parse(content)
    check_law(ncf_file, clean=not diagnostics)


# --- Generated trees ------------------------------------------------------------

# Names end in a digit, so that none is a keyword.
identifiers = st.from_regex(r"[A-Za-z_][A-Za-z0-9_]{0,6}[0-9]", fullmatch=True)
# Text with what a string literal can hold: ISO 8859-1 characters, line ends,
# NUL; quotes and backslashes only in pairs that read back.
characters = st.characters(max_codepoint=0xFF, exclude_characters='"\\')
texts = st.lists(st.one_of(characters, st.just('\\"'), st.just("\\\\")), max_size=6).map("".join)
# Where any token is read, any such text, keywords and numbers included.
any_names = st.one_of(identifiers, texts, st.sampled_from(["node", "kbps", "123", "-1.5", ""]))
int32 = st.integers(-(2**31), 2**31 - 1)
doubles = st.one_of(
    st.floats(allow_nan=False, allow_infinity=False).filter(lambda x: x == 0 or abs(x) >= 2.2250738585072014e-308),
    st.sampled_from([0.0, -0.0, 0.30000000000000004, 1e-300, 19.2, 1e22]))


def optional(strategy):
    return st.one_of(st.none(), strategy)


@st.composite
def bitrates(draw):
    kind = draw(st.sampled_from(["automatic", "select", "fixed"]))
    return {
        "type": kind,
        "min_br": draw(optional(doubles)) if kind == "automatic" else None,
        "max_br": draw(optional(doubles)) if kind == "automatic" else None,
        "rates": draw(st.lists(doubles, min_size=1, max_size=4)) if kind == "select" else [],
        "fixed_rate": draw(doubles) if kind == "fixed" else None,
    }


@st.composite
def init_values(draw):
    if draw(st.booleans()):
        return {"is_array": True, "scalar": 0, "array_values": draw(st.lists(int32, min_size=1, max_size=4))}
    return {"is_array": False, "scalar": draw(int32), "array_values": []}


@st.composite
def encoding_values(draw):
    kind = draw(st.sampled_from(["logical", "physical", "bcd", "ascii"]))
    logical = {"signal_value": draw(int32), "text_info": draw(optional(texts))} if kind == "logical" else None
    physical = None
    if kind == "physical":
        physical = {"min_value": draw(int32), "max_value": draw(int32), "scale": draw(doubles),
                    "offset_val": draw(doubles), "text_info": draw(optional(texts))}
    return {"type": kind, "logical_value": logical, "physical_range": physical}


@st.composite
def diagnostics(draw):
    range_form = draw(st.booleans())
    return {
        "nad_lhs": draw(int32),
        "nad_rhs": draw(optional(int32)) if range_form else None,
        "nad_list": [] if range_form else draw(st.lists(int32, max_size=3)),
        "diagnostic_class": draw(optional(int32)),
        "p2_min": draw(optional(doubles)), "st_min": draw(optional(doubles)),
        "n_as_timeout": draw(optional(doubles)), "n_cr_timeout": draw(optional(doubles)),
        "support_sids": draw(st.lists(int32, max_size=3)),
        "max_message_length": draw(optional(int32)),
    }


def ranges(draw):
    if draw(st.booleans()):
        return draw(doubles), draw(doubles)
    return None, None


@st.composite
def nodes(draw):
    volt = ranges(draw)
    temp = ranges(draw)
    general = {
        "protocol_version": draw(texts), "supplier_id": draw(int32), "function_id": draw(int32),
        "variant_id": draw(int32), "bitrate": draw(bitrates()), "sends_wake_up_signal": draw(optional(st.booleans())),
        "volt_from": volt[0], "volt_to": volt[1], "temp_from": temp[0], "temp_to": temp[1],
        "conformance": draw(optional(texts)),
    }
    signal = st.fixed_dictionaries({"name": identifiers, "properties": st.fixed_dictionaries({
        "init_value": init_values(), "size": int32, "offset": int32, "encoding_name": optional(identifiers)})})
    frame = st.fixed_dictionaries({
        "kind": st.sampled_from(["publish", "subscribe"]), "name": any_names,
        "properties": st.fixed_dictionaries({"length": int32, "min_period": optional(int32),
                                             "max_period": optional(int32),
                                             "event_triggered_frame": optional(any_names)}),
        "signals": st.lists(signal, max_size=3)})
    encoding = st.fixed_dictionaries({"name": identifiers, "values": st.lists(encoding_values(), max_size=3)})
    return {
        "name": draw(any_names), "general": general, "diagnostic": draw(diagnostics()),
        "frames": draw(st.lists(frame, max_size=3)), "encodings": draw(st.lists(encoding, max_size=2)),
        "status": {"response_error": draw(any_names), "fault_state_signals": draw(st.lists(any_names, max_size=3))},
        "free_text": draw(optional(texts)),
    }


files = st.builds(lambda version, nodes_: {"filename": "t.ncf", "language_version": version, "nodes": nodes_},
                  texts, st.lists(nodes(), max_size=2))


def same(a, b):
    """Equal, with -0.0 told from 0.0."""
    if isinstance(a, float) and isinstance(b, float):
        return a == b and math.copysign(1, a) == math.copysign(1, b)
    if isinstance(a, dict) and isinstance(b, dict):
        return sorted(a) == sorted(b) and all(same(a[k], b[k]) for k in a)
    if isinstance(a, list) and isinstance(b, list):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    return type(a) is type(b) and a == b


@LAW_SETTINGS
@given(files)
def test_a_generated_tree_reads_back_as_itself(plain):
    text = tolvane.dumps(plain)
    ncf_file, diagnostics = parse(text)
    assert diagnostics == []
    back = tolvane.to_dict(ncf_file)
    back["filename"] = plain["filename"]
    assert same(back, plain)
    assert tolvane.dumps(ncf_file) == text
