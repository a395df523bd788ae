"""format_text: the canonical text with every comment of the text in place.
The laws carry the weight (same tree, same comments in the same order, a
fixed point, dumps() without comments); a short table pins the placements."""

import re

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import tolvane
from conftest import CORPUS, DATA
from test_writer import MINIMAL


def comments_of(text, lenient=False):
    return [written(c.text) for c in tolvane.NcfParser("c.ncf", text, lenient=lenient).get_comments()]


def written(comment):
    """A comment as the canonical text writes it."""
    if comment.startswith("/*"):
        return comment
    comment = comment.rstrip(" \t\r")
    return "//" + comment[1:] if comment.startswith("#") else comment


def tree_of(text, lenient=False):
    parser = tolvane.NcfParser("c.ncf", text, lenient=lenient)
    tree = tolvane.to_dict(parser.parse())
    assert not [d for d in parser.get_diagnostics() if d.severity == tolvane.Diagnostic.Error]
    return tree


def assert_laws(text, lenient=False, same_order=True):
    out = tolvane.format_text(text, lenient=lenient)
    assert tree_of(out) == tree_of(text, lenient)
    before, after = comments_of(text, lenient), comments_of(out)
    assert after == before if same_order else sorted(after) == sorted(before)
    assert tolvane.format_text(out) == out
    return out


# (what the text says, where the canonical text of MINIMAL puts it)
PLACEMENTS = [
    ("// license\n// header\n\n" + MINIMAL, "// license\n// header\n\n" + MINIMAL),
    (MINIMAL.replace("    frames {", "    // the frames\n\n    frames {"),
     MINIMAL.replace("    frames {", "    // the frames\n\n    frames {")),
    (MINIMAL.replace("variant = 0;", "variant = 0;   // trailing   "),
     MINIMAL.replace("variant = 0;", "variant = 0; // trailing")),
    (MINIMAL.replace("size = 16;", "size = /* inside */ 16;"),
     MINIMAL.replace("size = 16;", "size = 16; /* inside */")),
    (MINIMAL.replace("size = 16;", "size = // inside\n 16 /* after */;"),
     MINIMAL.replace("                    size = 16;",
                     "                    // inside\n                    /* after */\n                    size = 16;")),
    (MINIMAL.replace("size = 16;", "size = /* two\n  lines */ 16;"),
     MINIMAL.replace("                    size = 16;", "                    /* two\n  lines */\n                    size = 16;")),
    (MINIMAL.replace("support_sid { 0xB7, 0xB2 };", "support_sid { 0xB7, 0xB2 };\n// last in its block"),
     MINIMAL.replace("support_sid { 0xB7, 0xB2 };\n", "support_sid { 0xB7, 0xB2 };\n    // last in its block\n")),
    (MINIMAL.replace("response_error = s;", "/* a */ /* b */\nresponse_error = s;"),
     MINIMAL.replace("        response_error = s;", "        /* a */\n        /* b */\n        response_error = s;")),
    (MINIMAL.replace("publish f {", "publish f { // node { looks; like: code }"),
     MINIMAL.replace("publish f {", "publish f { // node { looks; like: code }")),
    (MINIMAL + "\n\n/* the end */   \n", MINIMAL + "\n/* the end */\n"),
    (MINIMAL.replace('"2.1";', '"2.1 // no /* comment";', 1), MINIMAL.replace('"2.1";', '"2.1 // no /* comment";', 1)),
]


@pytest.mark.parametrize(("text", "expected"), PLACEMENTS)
def test_each_comment_goes_where_its_reader_expects_it(text, expected):
    assert tolvane.format_text(text).decode() == expected
    assert_laws(text)


def test_a_lenient_hash_line_becomes_a_line_comment():
    text = "# made by hand\t\n" + MINIMAL.replace("bitrate = select { 19.2 kbps, 9.6 kbps }", "bitrate = 19200")
    out = tolvane.format_text(text, lenient=True).decode()
    assert out.startswith("// made by hand\nnode_capability_file;\n")
    assert_laws(text, lenient=True)


def test_a_text_with_syntax_errors_is_not_formatted():
    with pytest.raises(ValueError, match=r"syntax errors, the first at line 3, column 1: Expected"):
        tolvane.format_text("node_capability_file;\n// c\n")


def test_the_parser_gives_every_comment_with_its_place():
    text = '// a\nnode_capability_file; /* b */\nLIN_language_version = "// not a comment";\n# c\n'
    parser = tolvane.NcfParser("c.ncf", text)
    assert [(c.line, c.column, c.text) for c in parser.get_comments()] == [(1, 1, "// a"), (2, 23, "/* b */")]
    assert repr(parser.get_comments()[1]) == "Comment(line=2, column=23, text='/* b */')"
    assert [c.text for c in tolvane.NcfParser("c.ncf", text, lenient=True).get_comments()][-1] == "# c"


# --- the laws on real files ---------------------------------------------------------


def real_files():
    if not CORPUS.is_dir():
        return []
    return sorted(p for p in CORPUS.iterdir() if p.suffix in (".ncf", ".nfc"))


def readable(path):
    """The file's text and how it reads without errors (strict, else lenient), or None."""
    text = path.read_bytes()
    for lenient in (False, True):
        parser = tolvane.NcfParser(path.name, text, lenient=lenient)
        parser.parse()
        if not [d for d in parser.get_diagnostics() if d.severity == tolvane.Diagnostic.Error]:
            return text, lenient
    return None


CLEAN = [(path, *found) for path in real_files() if (found := readable(path))]


@pytest.mark.parametrize(("path", "text", "lenient"), CLEAN, ids=[p.name[:40] for p, *_ in CLEAN])
def test_every_clean_real_file_keeps_all_its_comments(path, text, lenient):
    # Real files put statements in their own order, which the canonical text
    # does not keep: the comments go with them.
    assert_laws(text, lenient, same_order=False)


def test_the_real_files_with_comments_are_there():
    assert sum(bool(comments_of(text, lenient)) for _, text, lenient in CLEAN) >= 7 or not CLEAN


GOLDEN = [("PersonalTransport__SpeedometerNode__Speedometer.nfc", False),
          ("sebastianwilczek__CANoe-Configurations__LIN__LINTestSAEJ2602__LINdb__J2602_VectorExample.ncf", True)]


@pytest.mark.parametrize(("name", "lenient"), GOLDEN)
def test_pinned_real_files(name, lenient):
    source = CORPUS / name
    if not source.is_file():
        pytest.skip("the shared corpus is not beside the checkout")
    golden = DATA / "format" / name
    assert tolvane.format_text(source.read_bytes(), lenient=lenient) == golden.read_bytes()


# --- the laws on generated texts: canonical corpus texts with comments put between tokens


def canonical_texts():
    return [tolvane.dumps(tolvane.NcfParser(p.name, text, lenient=lenient).parse()) for p, text, lenient in CLEAN]


CANONICAL = canonical_texts()
# Token boundaries of a canonical text outside its string literals: before
# each blank, ";" or ",", and after each blank.
_STRING = re.compile(rb'"(?:\\.|[^"\\])*"')
COMMENTS = [b"// c%d", b"/* c%d */", b"/* c%d\n  spans lines */", b"/* node c%d { x; } */", b"// c%d \"quoted\"; }  "]


def boundaries(text):
    inside = set()
    for match in _STRING.finditer(text):
        inside.update(range(match.start() + 1, match.end()))
    return [i for i in range(1, len(text)) if i not in inside and
            (text[i:i + 1] in b" \n;," or text[i - 1:i] in b" \n")]


@st.composite
def commented_texts(draw):
    text = draw(st.sampled_from(CANONICAL))
    places = boundaries(text)
    chosen = draw(st.lists(st.tuples(st.sampled_from(places), st.sampled_from(COMMENTS)), max_size=12))
    out, last = [], 0
    for number, (place, comment) in enumerate(sorted(chosen, key=lambda item: item[0])):
        out += [text[last:place], b" ", comment.replace(b"%d", str(number).encode())]
        out.append(b"\n" if comment.startswith(b"//") else b" ")
        last = place
    return b"".join(out) + text[last:]


@pytest.mark.skipif(not CANONICAL, reason="the shared corpus is not beside the checkout")
@settings(max_examples=200, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(commented_texts())
def test_the_laws_hold_on_commented_canonical_texts(text):
    assert_laws(text)


@pytest.mark.parametrize("text", CANONICAL[:6])
def test_a_text_without_comments_formats_as_dumps_writes_its_tree(text):
    sloppy = re.sub(rb"^ +", b"", text, flags=re.M)
    assert tolvane.format_text(sloppy) == text == tolvane.dumps(tolvane.NcfParser("c", sloppy).parse())
