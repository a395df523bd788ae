"""The encoding section, and the signals that name an encoding."""

import pytest

from rules_cases import E, W, assert_findings, encodings_of, frames_of, node, node_file, published, signal

ERROR_BIT = signal("error_bit", 1, 0)


def encoded(*entries, signals=(("position", 8, 8, "0", "enc"),)):
    """A node whose publish frame carries `signals` (name, size, offset, init,
    encoding name) after the error bit, and whose encodings are `entries`."""
    lines = "".join(signal(*fields) for fields in signals)
    return node_file(frames=frames_of(published("status", ERROR_BIT + lines, length=8)),
                     encoding=encodings_of(*entries))


@pytest.mark.parametrize(("text", "expected"), [
    (encoded("enc { logical_value, 0, \"off\"; }", "»enc { logical_value, 1, \"on\"; }"), [
        E("duplicate-encoding", "Encoding 'enc' is defined twice in node 'door'")]),
    (encoded("enc { logical_value, 0; }", "»other { logical_value, 0; }"), [
        W("unused-encoding", "Encoding 'other' is not used by any signal of node 'door'")]),
    (encoded("»enc { }"), [W("empty-encoding", "Encoding 'enc' has no values")]),
    (encoded("»»spare { }", "enc { logical_value, 0; }"), [
        W("unused-encoding", "Encoding 'spare' is not used by any signal of node 'door'"),
        W("empty-encoding", "Encoding 'spare' has no values")]),
], ids=["duplicate", "unused", "empty", "unused-and-empty"])
def test_encoding_names(text, expected):
    assert_findings(text, expected)


def test_an_encoding_the_node_does_not_define():
    text = encoded("enc { logical_value, 0; }", signals=[("position", 8, 8, "0", "»missing"), ("p2", 8, 16, "0", "enc")])
    assert_findings(text, [
        E("unknown-encoding", "Signal 'position' refers to encoding 'missing', which node 'door' does not define")])


def test_an_encoding_another_node_defines_is_named():
    window = node("window", encoding=encodings_of("missing { logical_value, 0; }")).replace(
        "position_encoding;", "missing;")
    door = node("door", encoding="").replace("position_encoding;", "»missing;")
    assert_findings(node_file(door, window), [E(
        "unknown-encoding",
        "Signal 'position' refers to encoding 'missing', which node 'door' does not define; node 'window' defines it")])


def physical(line):
    return encoded(f"enc {{ {line} }}")


@pytest.mark.parametrize(("text", "expected"), [
    (physical("physical_value, 0, 255, 1, 0;"), []),
    (physical("physical_value, 5, 5, 1, 0;"), []),
    (physical("»physical_value, 6, 5, 1, 0;"), [
        E("physical-range", "Encoding 'enc': physical range 6..5 is reversed")]),
    (physical("»physical_value, 0, 10, 0, 3;"), [
        W("physical-range", "Encoding 'enc': physical range 0..10 has scale 0")]),
    (physical("»physical_value, 0, 10, -0.0, 3;"), [
        W("physical-range", "Encoding 'enc': physical range 0..10 has scale 0")]),
    (physical("physical_value, 0, 10, 1e-300, 3;"), []),
    (physical("»»physical_value, 10, 0, 0, 0;"), [
        E("physical-range", "Encoding 'enc': physical range 10..0 is reversed"),
        W("physical-range", "Encoding 'enc': physical range 10..0 has scale 0")]),
], ids=lambda value: "" if isinstance(value, list) else None)
def test_physical_ranges(text, expected):
    assert_findings(text, expected)


@pytest.mark.parametrize(("text", "expected"), [
    (encoded("enc { logical_value, 0; logical_value, 255; }"), []),
    (encoded("enc { »logical_value, -1; }"), [E("encoding-value-range", "Encoding 'enc': raw value -1 is negative")]),
    (encoded("enc { »logical_value, 256; }"), [
        W("encoding-value-range", "Encoding 'enc': raw value 256 does not fit signal 'position' (8 bits)")]),
    (encoded("enc { »»physical_value, -2, 300, 1, 0; }"), [
        E("encoding-value-range", "Encoding 'enc': raw value -2 is negative"),
        W("encoding-value-range", "Encoding 'enc': raw value 300 does not fit signal 'position' (8 bits)")]),
    # Checked against the narrowest signal using the encoding.
    (encoded("enc { »logical_value, 16; }",
             signals=[("wide", 8, 8, "0", "enc"), ("narrow", 4, 16, "0", "enc"), ("narrow2", 4, 20, "0", "enc")]), [
        W("encoding-value-range", "Encoding 'enc': raw value 16 does not fit signal 'narrow' (4 bits)")]),
    (encoded("enc { logical_value, 15; }", signals=[("narrow", 4, 16, "0", "enc")]), []),
    (encoded("enc { logical_value, 2147483647; }", signals=[("array", 32, 8, "{ 0, 0, 0, 0 }", "enc")]), []),
], ids=lambda value: "" if isinstance(value, list) else None)
def test_raw_values(text, expected):
    assert_findings(text, expected)


@pytest.mark.parametrize(("lines", "expected"), [
    ("logical_value, 0; logical_value, 1;", []),
    ("logical_value, 0; »logical_value, 0;", [W("encoding-overlap", "Encoding 'enc': raw value 0 is covered twice")]),
    ("physical_value, 0, 10, 1, 0; physical_value, 11, 20, 1, 0;", []),
    ("physical_value, 0, 10, 1, 0; »physical_value, 10, 20, 1, 0;", [
        W("encoding-overlap", "Encoding 'enc': raw value 10 is covered twice")]),
    # At the later line, naming the smallest shared value, whichever line
    # starts lower.
    ("physical_value, 5, 20, 1, 0; »physical_value, 0, 10, 1, 0;", [
        W("encoding-overlap", "Encoding 'enc': raw value 5 is covered twice")]),
    ("physical_value, 1, 254, 1, 0; logical_value, 0; logical_value, 255;", []),
    ("physical_value, 0, 200, 1, 0; »logical_value, 200;", [
        W("encoding-overlap", "Encoding 'enc': raw value 200 is covered twice")]),
    # One finding per pair of lines, and one of each text at one place.
    ("logical_value, 3; »logical_value, 3; »logical_value, 3;", [
        W("encoding-overlap", "Encoding 'enc': raw value 3 is covered twice")] * 2),
    ("physical_value, 0, 10, 1, 0; »logical_value, 3; »logical_value, 4;", [
        W("encoding-overlap", "Encoding 'enc': raw value 3 is covered twice"),
        W("encoding-overlap", "Encoding 'enc': raw value 4 is covered twice")]),
    ("physical_value, 0, 10, 1, 0; »physical_value, 2, 3, 1, 0; »logical_value, 3;", [
        W("encoding-overlap", "Encoding 'enc': raw value 2 is covered twice"),
        W("encoding-overlap", "Encoding 'enc': raw value 3 is covered twice")]),
    # A reversed range covers nothing.
    ("»physical_value, 10, 0, 1, 0; logical_value, 5;", [
        E("physical-range", "Encoding 'enc': physical range 10..0 is reversed")]),
], ids=lambda value: "" if isinstance(value, list) else None)
def test_coverage(lines, expected):
    assert_findings(encoded(f"enc {{ {lines} }}"), expected)


def array_signal(encoding="enc"):
    return [("array", 16, 8, "{ 0, 0 }", encoding)]


@pytest.mark.parametrize(("text", "expected"), [
    (encoded("enc { bcd_value; }", signals=array_signal()), []),
    (encoded("enc { ascii_value; }", signals=array_signal()), []),
    (encoded("enc { logical_value, 0; »bcd_value; }", signals=array_signal()), [
        W("encoding-mix", "Encoding 'enc' mixes bcd_value with other values")]),
    (encoded("enc { »ascii_value; physical_value, 0, 10, 1, 0; }", signals=array_signal()), [
        W("encoding-mix", "Encoding 'enc' mixes ascii_value with other values")]),
    (encoded("enc { »bcd_value; ascii_value; }", signals=array_signal()), [
        W("encoding-mix", "Encoding 'enc' mixes bcd_value with other values")]),
    (encoded("enc { bcd_value; bcd_value; }", signals=array_signal()), []),
    (encoded("enc { ascii_value; }", signals=[("scalar", 8, 8, "0", "»enc")]), [
        W("encoding-mix", "Encoding 'enc' (ascii_value) is used by scalar signal 'scalar'")]),
], ids=lambda value: "" if isinstance(value, list) else None)
def test_text_encodings(text, expected):
    assert_findings(text, expected)
