"""The LIN language and protocol versions a file may name."""

import pytest

from rules_cases import GENERAL, HEADER, MARK, W, assert_findings, node_file


def with_language(version):
    return node_file(header=HEADER.replace('"2.2"', version))


def with_protocol(version):
    return node_file(general=GENERAL.replace('LIN_protocol_version = "2.2"', f"LIN_protocol_version = {version}"))


@pytest.mark.parametrize("version", ["2.0", "2.1", "2.2", "ISO17987:2015", "J2602_3_1.0", "J2602_3_10.25"])
def test_known_language_versions(version):
    assert_findings(with_language(f'"{version}"'), [])


@pytest.mark.parametrize("version", [
    "2.1+", "1.3", "2.3", "", "ISO17987:", "ISO17987:15", "ISO17987:20155", "ISO17987:2O15", "J2602_3_1",
    "J2602_3_.0", "J2602_3_1.", "J2602_1_1.0", "j2602_3_1.0", "2.2 ",
])
def test_unknown_language_versions(version):
    assert_findings(with_language(f'»"{version}"'), [
        W("language-version", f"Unknown LIN language version '{version}'")])


@pytest.mark.parametrize("version", ["1.3", "2.0", "2.1", "2.2", "ISO17987:2016"])
def test_known_protocol_versions(version):
    assert_findings(with_protocol(f'"{version}"'), [])


@pytest.mark.parametrize("version", ["1.0", "1.2", "2.1+", "ISO17987", "3.0"])
def test_unknown_protocol_versions_name_the_node(version):
    assert_findings(with_protocol(f'»"{version}"'), [
        W("protocol-version", f"Unknown LIN protocol version '{version}' in node 'door'")])


# A J2602 node's response error field has 3 bits: the clean node's 1-bit
# signal says the family was recognised, even from an unknown J2602 version.
@pytest.mark.parametrize(("version", "known"), [("J2602_1_1.0", True), ("J2602_3_1.0", False), ("J2602_1_1", False)])
def test_j2602_versions(version, known):
    text = with_protocol(f'»"{version}"').replace("response_error = error_bit", "response_error = »error_bit")
    unknown = [W("protocol-version", f"Unknown LIN protocol version '{version}' in node 'door'")]
    if known:
        text = text.replace(MARK, "", 1)
    assert_findings(text, ([] if known else unknown) + [
        W("response-error-size", "Response error signal 'error_bit' has size 1, expected 3")])


def test_a_broken_header_skips_the_language_version_only():
    text = node_file(header='node_capability_file\n»LIN_language_version = "9.9";\n',
                     general=GENERAL.replace("variant = 1;", "variant = »256;"))
    assert_findings(text, [
        ("Error", "syntax", "Expected ;, found 'LIN_language_version'"),
        ("Error", "variant-id", "Variant ID 256 does not fit 8 bits"),
    ])
