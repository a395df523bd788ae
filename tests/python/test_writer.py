"""The writer's layout and the spelling of texts, names and numbers; the
dict form's errors; dump() to a file."""

import os
import stat

import pytest

import tolvane
from conftest import EXAMPLES

MINIMAL = """\
node_capability_file;
LIN_language_version = "2.1";

node n {
    general {
        LIN_protocol_version = "2.1";
        supplier = 0x0001;
        function = 0x0002;
        variant = 0;
        bitrate = select { 19.2 kbps, 9.6 kbps };
    }
    diagnostic {
        NAD = 0x04, 0x01, 0x03;
        support_sid { 0xB7, 0xB2 };
    }
    frames {
        publish f {
            length = 2;
            signals {
                s {
                    init_value = { 0x00, 0xFF };
                    size = 16;
                    offset = 0;
                }
            }
        }
    }
    status_management {
        response_error = s;
    }
}
"""


def parsed(text):
    parser = tolvane.NcfParser("w.ncf", text)
    ncf_file = parser.parse()
    assert parser.get_diagnostics() == []
    return ncf_file


def test_layout_keeps_lists_in_their_order():
    sloppy = MINIMAL.replace("    ", "\t").replace("\n", " ")  # every statement on one line
    assert tolvane.dumps(parsed(sloppy)) == MINIMAL.encode()


def test_the_example_is_a_fixed_point():
    text = tolvane.dumps(parsed((EXAMPLES / "door_module.ncf").read_bytes()))
    assert tolvane.dumps(parsed(text)) == text
    assert b"/*" not in text  # comments are not part of the tree


def with_conformance(literal):
    return MINIMAL.replace("bitrate = select { 19.2 kbps, 9.6 kbps };",
                           f"bitrate = select {{ 19.2 kbps, 9.6 kbps }};\n        conformance = {literal};")


def conformance_of(plain):
    return plain["nodes"][0]["general"]["conformance"]


# (text of the string, how it is written, or None when it cannot be)
STRINGS = [
    ("", b'""'),
    ('a\\"b', b'"a\\"b"'),  # a backslash pair is kept as it is
    ("a\\\\", b'"a\\\\"'),
    ("tab\tcr\rlf\nnul\0", b'"tab\tcr\rlf\nnul\0"'),
    ("Tür °C", b'"T\xfcr \xb0C"'),  # ISO 8859-1 bytes, read back as the same UTF-8
    ('a"b', None),  # a quote no backslash precedes
    ("a\\", None),  # the backslash would take the closing quote
    ("a\\\\\\", None),
    ("20 €", None),  # above U+00FF
]


@pytest.mark.parametrize(("text", "written"), STRINGS)
def test_string_literals(text, written):
    plain = tolvane.to_dict(parsed(with_conformance('"x"')))
    plain["nodes"][0]["general"]["conformance"] = text
    if written is None:
        with pytest.raises(ValueError, match=r"^nodes\[0\]\.general\.conformance: "):
            tolvane.dumps(plain)
        return
    output = tolvane.dumps(plain)
    assert b"conformance = " + written + b";\n" in output
    assert conformance_of(tolvane.to_dict(parsed(output))) == text


def test_absent_and_empty_optional_text_stay_apart():
    assert b"conformance" not in tolvane.dumps(parsed(MINIMAL))
    assert b'conformance = "";' in tolvane.dumps(parsed(with_conformance('""')))


@pytest.mark.parametrize(("name", "written"), [
    ("door7", b"door7"), ("node", b'"node"'), ("kbps", b'"kbps"'), ("123", b'"123"'), ("two words", b'"two words"'),
    ("", b'""'), ("Tür", b'"T\xfcr"'),
])
def test_names_any_token_can_spell(name, written):
    plain = tolvane.to_dict(parsed(MINIMAL))
    plain["nodes"][0]["name"] = name
    plain["nodes"][0]["frames"][0]["name"] = name
    output = tolvane.dumps(plain)
    assert output.startswith(b'node_capability_file;\nLIN_language_version = "2.1";\n\nnode ' + written + b" {")
    assert b"publish " + written + b" {" in output
    back = tolvane.to_dict(parsed(output))
    assert (back["nodes"][0]["name"], back["nodes"][0]["frames"][0]["name"]) == (name, name)


@pytest.mark.parametrize("name", ["node", "two words", "9lives", ""])
def test_names_only_an_identifier_can_spell(name):
    plain = tolvane.to_dict(parsed(MINIMAL))
    plain["nodes"][0]["frames"][0]["signals"][0]["name"] = name
    with pytest.raises(ValueError, match=r"^nodes\[0\]\.frames\[0\]\.signals\[0\]\.name: '.*' is not an identifier"):
        tolvane.dumps(plain)


@pytest.mark.parametrize(("value", "written"), [
    (-0.0, b"-0"), (0.0, b"0"), (1e-300, b"1e-300"), (0.30000000000000004, b"0.30000000000000004"),
    (19.2, b"19.2"), (1e22, b"1e+22"), (-40.0, b"-40"),
])
def test_doubles_in_the_shortest_form_that_reads_back(value, written):
    plain = tolvane.to_dict(parsed(MINIMAL))
    plain["nodes"][0]["general"]["volt_from"] = value
    plain["nodes"][0]["general"]["volt_to"] = value
    output = tolvane.dumps(plain)
    assert b"volt_range = " + written + b", " + written + b";" in output
    back = tolvane.to_dict(parsed(output))["nodes"][0]["general"]["volt_from"]
    assert repr(back) == repr(value)


@pytest.mark.parametrize(("value", "reason"), [
    (float("inf"), "not finite"), (float("nan"), "not finite"), (5e-324, "smallest normal double"),
])
def test_doubles_that_cannot_read_back(value, reason):
    plain = tolvane.to_dict(parsed(MINIMAL))
    plain["nodes"][0]["general"]["bitrate"]["rates"][1] = value
    with pytest.raises(ValueError, match=rf"^nodes\[0\]\.general\.bitrate\.rates\[1\]: .*{reason}"):
        tolvane.dumps(plain)


def test_integers_at_their_limits():
    plain = tolvane.to_dict(parsed(MINIMAL))
    general = plain["nodes"][0]["general"]
    general["supplier_id"], general["function_id"], general["variant_id"] = -(2**31), 2**31 - 1, -(2**31)
    output = tolvane.dumps(plain)
    assert b"supplier = -2147483648;\n" in output and b"function = 0x7FFFFFFF;\n" in output
    assert b"variant = -2147483648;\n" in output
    back = tolvane.to_dict(parsed(output))["nodes"][0]["general"]
    assert (back["supplier_id"], back["function_id"], back["variant_id"]) == (-(2**31), 2**31 - 1, -(2**31))


@pytest.mark.parametrize(("change", "message"), [
    (lambda p: p.pop("language_version"), r"^language_version: missing$"),
    (lambda p: p["nodes"][0]["frames"][0]["properties"].pop("length"), r"^nodes\[0\]\.frames\[0\]\.properties\.length: missing"),
    (lambda p: p["nodes"][0]["frames"][0]["properties"].update(length="2"), r"length: expected an int, not str"),
    (lambda p: p["nodes"][0]["frames"][0]["properties"].update(length=True), r"length: expected an int, not bool"),
    (lambda p: p["nodes"][0]["frames"][0]["properties"].update(length=2**31), r"outside the 32-bit signed range"),
    (lambda p: p["nodes"][0]["general"].update(sends_wake_up_signal=1), r"expected True or False, not int"),
    (lambda p: p["nodes"][0].update(frames={}), r"^nodes\[0\]\.frames: expected a list, not dict"),
    (lambda p: p["nodes"][0].update(extra=1), r"^nodes\[0\]\.'extra': no field of NcfNodeDef has this name"),
    (lambda p: p["nodes"][0]["general"]["bitrate"].update(type="fast"), r"bitrate\.type: the type of a bit rate"),
    (lambda p: p["nodes"][0]["general"]["bitrate"].update(rates=[]), r"bitrate\.rates: a select bit rate lists"),
    (lambda p: p["nodes"][0]["diagnostic"].update(nad_rhs=5), r"^nodes\[0\]\.diagnostic\.nad_list: a NAD statement"),
    (lambda p: p["nodes"][0]["general"].update(volt_from=1.0), r"general\.volt_to: a range needs both"),
])
def test_what_the_dict_form_cannot_describe(change, message):
    plain = tolvane.to_dict(parsed(MINIMAL), positions=True)  # line and column are accepted
    change(plain)
    with pytest.raises(ValueError, match=message):
        tolvane.dumps(plain)


@pytest.mark.parametrize("obj", [None, [], "node_capability_file;", b"x"])
def test_dumps_takes_a_file_or_a_dict(obj):
    with pytest.raises(TypeError, match="expected an NcfFile or its to_dict"):
        tolvane.dumps(obj)


def test_dump_replaces_a_file_whole_and_keeps_its_permissions(tmp_path):
    target = tmp_path / "node.ncf"
    target.write_bytes(b"old")
    target.chmod(0o640)
    tolvane.dump(parsed(MINIMAL), target)
    assert target.read_bytes() == MINIMAL.encode()
    assert stat.S_IMODE(target.stat().st_mode) == 0o640
    tolvane.dump(tolvane.to_dict(parsed(MINIMAL)), os.fsencode(tmp_path / "new.ncf"))
    assert sorted(p.name for p in tmp_path.iterdir()) == ["new.ncf", "node.ncf"]  # no temporary left


def test_dump_writes_nothing_when_the_tree_cannot_be_written(tmp_path):
    target = tmp_path / "node.ncf"
    target.write_bytes(b"old")
    plain = tolvane.to_dict(parsed(MINIMAL))
    plain["language_version"] = 'a"b'
    with pytest.raises(ValueError, match="^language_version: "):
        tolvane.dump(plain, target)
    assert target.read_bytes() == b"old" and [p.name for p in tmp_path.iterdir()] == ["node.ncf"]
    with pytest.raises(OSError):
        tolvane.dump(parsed(MINIMAL), tmp_path / "no-such-folder" / "node.ncf")
