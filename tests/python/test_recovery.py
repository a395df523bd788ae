"""The recovering reading: one error for each fault, at the fault, and the
rest of the file read as if the fault were not there."""

import random
import re

import pytest
import tolvane
from conftest import CORPUS, EXAMPLES
from tolvane_cli import main

Error = tolvane.Diagnostic.Error

# Two nodes, every kind of block: the faults below are put into this text.
BASE = """node_capability_file;
LIN_language_version = "2.1";
node door {
  general {
    LIN_protocol_version = "2.1";
    supplier = 0x1E;
    function = 0x10;
    variant = 1;
    bitrate = 19.2 kbps;
  }
  diagnostic {
    NAD = 0x10;
    P2_min = 50 ms;
    support_sid { 0xB0, 0xB2 };
  }
  frames {
    publish door_status {
      length = 3;
      min_period = 10 ms;
      signals {
        locked { size = 1; init_value = 0; offset = 0; lock_enc; }
        window { size = 16; init_value = {0, 0}; offset = 8; }
      }
    }
  }
  encoding {
    lock_enc { logical_value, 0, "open"; logical_value, 1, "locked"; }
  }
  status_management { response_error = locked; }
}
node seat {
  general {
    LIN_protocol_version = "2.1";
    supplier = 0x1E;
    function = 0x11;
    variant = 1;
    bitrate = 19.2 kbps;
  }
  diagnostic { NAD = 0x11; }
  frames {
    publish seat_status { length = 1; signals { heated { size = 1; init_value = 0; offset = 0; } } }
  }
  status_management { response_error = heated; }
}
"""

# (the text replaced once in BASE, the faulty text with "@" where the one
# error is expected, its message, whether the tree is the same as BASE's)
FAULTS = [
    # A token that is missing: taken as present, reported just past the one before.
    ("length = 3;", "length = 3@", "Expected ';' after 'length = 3'", True),
    ("NAD = 0x10;", "NAD = 0x10@", "Expected ';' after 'NAD = 0x10'", True),
    ("offset = 0; lock_enc;", "offset = 0@ lock_enc;", "Expected ';' after 'offset = 0'", True),
    ("publish door_status {", "publish door_status@", "Expected '{' after 'publish door_status'", True),
    ("signals {\n        locked", "signals@\n        locked", "Expected '{' after 'signals'", True),
    ("variant = 1;\n    bitrate", "variant@ 1;\n    bitrate", "Expected '=' after 'variant'", True),
    ("P2_min = 50 ms;", "P2_min = 50@;", "Expected 'ms' after 'P2_min = 50'", True),
    ("bitrate = 19.2 kbps;\n  }\n  diagnostic", "bitrate = 19.2@;\n  }\n  diagnostic",
     "Expected 'kbps' after 'bitrate = 19.2'", True),
    ("init_value = {0, 0};", "init_value =@ 0, 0};", "Expected '{' after 'init_value ='", True),
    ('logical_value, 0, "open";', 'logical_value, 0@ "open";', "Expected ',' after 'logical_value, 0'", True),
    # A token that does not belong: skipped.
    ("variant = 1;\n    bitrate", "variant = 1 @x;\n    bitrate", "Expected ;, found 'x'", True),
    ("    function = 0x10;", "    @x function = 0x10;", "Expected function, found 'x'", True),
    ("support_sid { 0xB0, 0xB2 };", "support_sid { 0xB0 @x, 0xB2 };", "Expected }, found 'x'", True),
    ('logical_value, 0, "open";', 'logical_value, 0 @x, "open";', "Expected ;, found 'x'", True),
    ("        window {", "        @x window {", "Unexpected token 'x'", True),
    ("  frames {\n    publish door", "  @x frames {\n    publish door", "Expected frames, found 'x'", True),
    ("offset = 0; lock_enc; }", "offset = 0; lock_enc; @size = 2; }", "Expected }, found 'size'", True),
    # A misspelt keyword: read as the keyword.
    ("supplier = 0x1E;\n    function = 0x10", "@suplier = 0x1E;\n    function = 0x10",
     "Expected supplier, found 'suplier'", True),
    ("min_period", "@min_perod", "Unknown keyword 'min_perod'; did you mean 'min_period'?", True),
    ("offset = 0; lock_enc", "@ofset = 0; lock_enc", "Unknown keyword 'ofset'; did you mean 'offset'?", True),
    ("  diagnostic {\n    NAD = 0x10", "  @diagnstic {\n    NAD = 0x10", "Expected diagnostic, found 'diagnstic'",
     True),
    ("node seat", "@nod seat", "Unknown keyword 'nod'; did you mean 'node'?", True),
    ("19.2 kbps;\n  }\n  diagnostic", "19.2 @kpbs;\n  }\n  diagnostic", "Expected kbps, found 'kpbs'", True),
    # A block that does not belong: skipped by brace balance.
    ("  frames {\n    publish door", "  @extra { a = { 1; } }\n  frames {\n    publish door",
     "Unknown section 'extra'", True),
    # A missing "}": reported where the next block shows that the block has ended.
    ("    bitrate = 19.2 kbps;\n  }\n  diagnostic {\n    NAD = 0x10",
     "    bitrate = 19.2 kbps;\n  @diagnostic {\n    NAD = 0x10", "Expected }, found 'diagnostic'", True),
    ("  status_management { response_error = locked; }\n}\nnode seat",
     "  status_management { response_error = locked; }@\nnode seat", "Expected }, found 'node'", True),
    ("support_sid { 0xB0, 0xB2 };", "support_sid { 0xB0, 0xB2 @;", "Expected }, found ';'", True),
    # Between nodes: skipped to the next node.
    ("}\nnode seat", "}\n@x = 1; { }\nnode seat", "Unexpected token at top level: 'x'", True),
    # What cannot be read is reported once and left as the default; the rest is read.
    ("length = 3;", "length = @;", "Expected integer, found ';'", False),
    ("publish door_status {", "publish @{", "Expected identifier, found '{'", False),
    ('LIN_protocol_version = "2.1";\n    supplier = 0x1E;\n    function = 0x11;',
     'LIN_protocol_version = @"2.1;\n    supplier = 0x1E;\n    function = 0x11;', "Unterminated string literal",
     False),
]


def one_fault(old, new):
    assert BASE.count(old) >= 1
    text = BASE.replace(old, new, 1)
    at = text.index("@")
    line = text.count("\n", 0, at) + 1
    column = at - (text.rfind("\n", 0, at) + 1) + 1
    return text.replace("@", "", 1), line, column


def read(text, **options):
    parser = tolvane.NcfParser("t.ncf", text, **options)
    tree = parser.parse()
    return tree, parser.get_diagnostics()


@pytest.mark.parametrize(("old", "new", "message", "kept"), FAULTS, ids=[f[2] for f in FAULTS])
def test_each_fault_gives_one_error_at_the_fault(old, new, message, kept):
    text, line, column = one_fault(old, new)
    clean, _ = read(BASE)
    _, strict = read(text)
    assert any(d.severity == Error for d in strict)  # a fault indeed
    tree, diagnostics = read(text, recover=True)
    assert [(d.line, d.column, d.message) for d in diagnostics] == [(line, column, message)]
    _, behind_a_byte_order_mark = read(b"\xef\xbb\xbf" + text.encode(), recover=True)
    assert [(d.line, d.column, d.message) for d in behind_a_byte_order_mark] == [(line, column, message)]
    # The node the fault is not in is read whole; with most faults, so is the other one.
    others = {n.name: tolvane.to_dict(n) for n in clean.nodes if n.name in ("door", "seat")}
    read_nodes = {n.name: tolvane.to_dict(n) for n in tree.nodes}
    assert sum(read_nodes.get(name) == node for name, node in others.items()) >= 1
    assert (tolvane.to_dict(tree) == tolvane.to_dict(clean)) == kept


def test_the_lenient_reading_recovers_too():
    text, line, column = one_fault("min_period", "@min_perod")
    text = text.replace("bitrate = 19.2 kbps;", "bitrate = 19200;", 1)
    _, diagnostics = read(text, lenient=True, recover=True)
    assert [(d.line, d.code) for d in diagnostics] == [(9, "dialect-bitrate-unit"), (line, "syntax")]


def inputs_without_errors():
    files = sorted(EXAMPLES.glob("*.ncf")) + sorted(CORPUS.glob("*.ncf"))
    for path in files:
        text = path.read_bytes()
        for lenient in (False, True):
            tree, diagnostics = read(text, lenient=lenient)
            if not any(d.severity == Error for d in diagnostics):
                yield pytest.param(text, lenient, id=f"{path.name}{'-lenient' if lenient else ''}")


@pytest.mark.parametrize(("text", "lenient"), list(inputs_without_errors()))
def test_input_without_errors_reads_the_same_either_way(text, lenient):
    tree, diagnostics = read(text, lenient=lenient)
    recovered, recovered_diagnostics = read(text, lenient=lenient, recover=True)
    assert tolvane.to_dict(recovered, positions=True) == tolvane.to_dict(tree, positions=True)
    by_place = sorted(diagnostics, key=lambda d: (d.line, d.column))
    assert [repr(d) for d in recovered_diagnostics] == [repr(d) for d in by_place]


# --- single faults put into real files ------------------------------------

TOKEN = re.compile(r'\s+|//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\])*"|[A-Za-z_]\w*|[-+]?\d[\w.+-]*|.', re.S)
KEYWORDS = set(tolvane.rules()) and {
    "node", "general", "supplier", "function", "variant", "bitrate", "kbps", "diagnostic", "NAD", "frames",
    "publish", "subscribe", "length", "signals", "size", "init_value", "offset", "encoding", "logical_value",
    "physical_value", "status_management", "response_error", "min_period", "max_period", "P2_min", "ST_min",
}


def faulty_versions(text, rng, count):
    """`count` copies of `text`, each with one fault: a ";", "{" or "}"
    deleted, a keyword misspelt, or a token put before another."""
    tokens = [(m.start(), m.end(), m.group()) for m in TOKEN.finditer(text) if not m.group().isspace()
              and not m.group().startswith(("//", "/*"))]
    for index in range(count):
        kind = index % 5
        if kind < 3:
            start, end, _ = rng.choice([t for t in tokens if t[2] == ";{}"[kind]])
            yield text[:start] + text[end:]
        elif kind == 3:
            start, end, word = rng.choice([t for t in tokens if t[2] in KEYWORDS])
            i = rng.randrange(len(word))
            yield text[:start] + word[:i] + word[i + 1:] + text[end:]
        else:
            start, _, _ = rng.choice(tokens)
            yield text[:start] + rng.choice(("stray ", "7 ", ", ", "= ")) + text[start:]


def test_single_faults_in_real_files_give_about_one_error_each():
    # The figures the benchmark reports over many more faults, held here on
    # a fixed sample: errors per fault, and faults with more than 3.
    rng = random.Random(2029)
    clean = [p.read_bytes().decode("latin-1") for p in sorted(CORPUS.glob("*.ncf"))]
    clean = [text for text in clean if not read(text)[1]]
    faults = errors = many = 0
    for text in clean:
        for faulty in faulty_versions(text, rng, 25):
            if not any(d.severity == Error for d in read(faulty)[1]):
                continue  # the change left the text valid
            _, diagnostics = read(faulty, recover=True)
            places = [(d.line, d.column) for d in diagnostics]
            assert places == sorted(places) and len(set(places)) == len(places)
            found = sum(d.severity == Error for d in diagnostics)
            assert found >= 1
            faults, errors, many = faults + 1, errors + found, many + (found > 3)
    assert faults >= 150
    assert errors / faults <= 1.3 and many / faults <= 0.05


# --- the command line -----------------------------------------------------

SEAT_FINDING = "  diagnostic { NAD = 0x11; }"


def test_check_prints_one_error_at_the_fault_and_every_finding_of_the_other_node(tmp_path, capsys):
    text, line, column = one_fault("length = 3;", "length = 3@")
    text = text.replace(SEAT_FINDING, "  diagnostic { NAD = 0x00; }")  # NAD 0 is reserved
    path = tmp_path / "two.ncf"
    path.write_text(text)
    assert main(["check", str(path)]) == 1
    lines = capsys.readouterr().out.splitlines()
    assert f"{path}:{line}:{column}: error: Expected ';' after 'length = 3' [syntax]" in lines
    assert sum("[syntax]" in entry for entry in lines) == 1
    assert any("[not-checked]" in entry and "'door'" in entry for entry in lines)
    seat_line = text.splitlines().index("  diagnostic { NAD = 0x00; }") + 1
    assert any(entry.startswith(f"{path}:{seat_line}:") and "[nad" in entry for entry in lines)

    assert main(["check", "--no-recovery", str(path)]) == 1
    strict_lines = capsys.readouterr().out.splitlines()
    assert f"{path}:{line + 1}:{7}: error: Expected ;, found 'min_period' [syntax]" in strict_lines
