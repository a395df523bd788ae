"""validate(), check() and rules(): which nodes are checked, the order and
the file of the findings, and what validation leaves alone."""

import pytest

import tolvane
from rules_cases import GENERAL, E, I, assert_findings, findings, node, node_file

BROKEN_GENERAL = GENERAL.replace("variant = 1;", "variant = ;")  # a syntax error
FAULTY_GENERAL = GENERAL.replace("variant = 1;", "variant = 999;")


def parsed(text, filename="rules.ncf"):
    parser = tolvane.NcfParser(filename, text)
    return parser.parse(), parser.get_diagnostics()


def test_a_node_with_a_syntax_error_is_not_checked_and_says_so_at_its_name():
    # The second node has a fault the rules would find (function 0x10000),
    # and a syntax error that keeps it from being checked.
    window = node("»window", general=GENERAL.replace("variant = 1;", "variant = »;").replace(
        "function = 0x0010;", "function = 0x10000;").replace("bitrate =", "»bitrate ="))
    text = node_file(node("door", general=GENERAL.replace("variant = 1;", "variant = »999;")), window)
    assert_findings(text, [
        E("variant-id", "Variant ID 999 does not fit 8 bits"),
        I("not-checked", "Node 'window' was not checked: it has syntax errors"),
        E("syntax", "Expected integer, found ';'"),
        E("syntax", "Expected ;, found 'bitrate'"),
    ])


def test_validate_takes_the_parser_diagnostics_to_know_which_nodes_to_skip():
    ncf_file, diagnostics = parsed(node_file(general=BROKEN_GENERAL.replace("function = 0x0010;", "function = -1;")))
    assert [d.code for d in tolvane.validate(ncf_file, diagnostics)] == ["not-checked"]
    # Without them the node's tree is checked as it stands.
    assert [d.code for d in tolvane.validate(ncf_file)] == ["function-id"]
    assert [d.code for d in tolvane.validate(ncf_file, [])] == ["function-id"]


def test_a_lexer_diagnostic_counts_for_the_node_it_lies_in():
    text = node_file(node("door", general=FAULTY_GENERAL), node("window").replace('"degrees"', '"degrees'))
    ncf_file, diagnostics = parsed(text)
    lexer = [d for d in diagnostics if d.message == "Unterminated string literal"]
    assert len(lexer) == 1 and lexer[0].line > ncf_file.nodes[1].line
    assert [(d.code, d.message) for d in tolvane.validate(ncf_file, lexer)] == [
        ("variant-id", "Variant ID 999 does not fit 8 bits"),
        ("not-checked", "Node 'window' was not checked: it has syntax errors")]


def test_only_errors_keep_a_node_from_being_checked():
    general = FAULTY_GENERAL.replace("supplier = 0x0042;", "supplier = 0x7FFF;")
    ncf_file, _ = parsed(node_file(general=general))
    found = tolvane.validate(ncf_file)
    assert [(d.code, d.severity.name) for d in found] == [("supplier-id", "Warning"), ("variant-id", "Error")]
    warnings = [d for d in found if d.severity == tolvane.Diagnostic.Warning]
    assert [d.code for d in tolvane.validate(ncf_file, warnings)] == ["supplier-id", "variant-id"]
    assert [d.code for d in tolvane.validate(ncf_file, found)] == ["not-checked"]


def test_an_error_before_the_first_node_skips_only_the_language_version():
    text = node_file(header='node_capability_file;\nLIN_language_version = "7";\n', general=FAULTY_GENERAL)
    ncf_file, diagnostics = parsed(text)
    assert diagnostics == []
    assert [d.code for d in tolvane.validate(ncf_file)] == ["language-version", "variant-id"]
    header_error = parsed("node_capability_file\n")[1][:1]  # line 2, before the node's line 3
    assert (header_error[0].line, header_error[0].column) == (2, 1)
    assert [d.code for d in tolvane.validate(ncf_file, header_error)] == ["variant-id"]


@pytest.mark.parametrize(("text", "codes"), [
    ('node_capability_file;\nLIN_language_version = "7";\n', ["language-version"]),
    ('node_capability_file;\nLIN_language_version = "7";\n}', ["syntax"]),
    ("", ["syntax"] * 6),
])
def test_a_file_without_nodes(text, codes):
    assert [code for _, _, _, code, _ in findings(text)] == codes


def test_findings_report_the_file_name_and_come_in_position_order():
    text = node_file(node("a", general=FAULTY_GENERAL), node("b", general=FAULTY_GENERAL.replace(
        "supplier = 0x0042;", "supplier = -1;")))
    ncf_file, _ = parsed(text, "dir/ünïcode.ncf")
    found = tolvane.validate(ncf_file)
    assert [(d.line, d.code) for d in found] == [(8, "variant-id"), (38, "supplier-id"), (40, "variant-id")]
    assert {d.file for d in found} == {"dir/ünïcode.ncf"}
    assert all(isinstance(d, tolvane.Diagnostic) for d in found)


def test_validation_changes_neither_the_tree_nor_the_parse():
    text = node_file(general=FAULTY_GENERAL)
    ncf_file, diagnostics = parsed(text)
    before = tolvane.to_dict(ncf_file, positions=True)
    first = tolvane.validate(ncf_file, diagnostics)
    assert tolvane.to_dict(ncf_file, positions=True) == before
    assert [repr(d) for d in tolvane.validate(ncf_file, diagnostics)] == [repr(d) for d in first]
    assert first is not tolvane.validate(ncf_file, diagnostics)


def test_check_merges_syntax_and_rule_findings_by_position():
    text = node_file(node("door", general=FAULTY_GENERAL), node("window", general=BROKEN_GENERAL))
    ncf_file, diagnostics = tolvane.check("f.ncf", text)
    assert [n.name for n in ncf_file.nodes] == ["door", "window"]
    places = [(d.line, d.column) for d in diagnostics]
    assert places == sorted(places)
    assert [d.code for d in diagnostics] == ["variant-id", "not-checked", "syntax", "syntax"]
    parser = tolvane.NcfParser("f.ncf", text)
    assert tolvane.to_dict(ncf_file) == tolvane.to_dict(parser.parse())


@pytest.mark.parametrize("content", ["", b"", bytearray()])
def test_check_parses_an_empty_content_instead_of_reading_the_file(tmp_path, content):
    path = tmp_path / "node.ncf"
    path.write_text(node_file(general=FAULTY_GENERAL))
    ncf_file, diagnostics = tolvane.check(str(path), content)
    assert ncf_file.nodes == [] and diagnostics[0].message == "Expected node_capability_file, found '<EOF>'"


def test_check_reads_the_file_when_content_is_none(tmp_path):
    path = tmp_path / "node.ncf"
    path.write_bytes(node_file(general=FAULTY_GENERAL).encode())
    for name in (str(path), bytes(path)):
        ncf_file, diagnostics = tolvane.check(name)
        assert [d.code for d in diagnostics] == ["variant-id"] and ncf_file.filename == str(path)
    with pytest.raises(RuntimeError, match="^Cannot open file .*missing.ncf$"):
        tolvane.check(str(tmp_path / "missing.ncf"))


@pytest.mark.parametrize(("call", "error"), [
    (lambda: tolvane.validate("not a file"), TypeError),
    (lambda: tolvane.validate(tolvane.NcfParser(content="x").parse(), ["not a diagnostic"]), TypeError),
    (lambda: tolvane.check(None), TypeError),
    (lambda: tolvane.check("f.ncf", 42), TypeError),
])
def test_wrong_arguments(call, error):
    with pytest.raises(error):
        call()


def test_rules_lists_every_code_once_with_a_description():
    rules = tolvane.rules()
    codes = list(rules)
    assert codes[0] == "syntax" and codes[-1] == "not-checked" and len(codes) == 72
    dialect_codes = [code for code in codes if code.startswith("dialect-")]
    assert codes[1:1 + len(dialect_codes)] == dialect_codes and len(dialect_codes) == 13
    assert all(isinstance(text, str) and text for text in rules.values())
    assert rules is not tolvane.rules()


def test_every_code_the_tests_meet_is_a_listed_rule():
    import test_rules_corpus
    seen = {code for findings_of_file in test_rules_corpus.REAL_FILES.values() for _, _, _, code, _ in findings_of_file}
    assert seen <= set(tolvane.rules())
