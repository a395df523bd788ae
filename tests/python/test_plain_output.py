"""The plain forms of a tree made for speed: the JSON document `tolvane
json` prints, written by the module from the records (the same bytes as
json.dumps(indent=2) of the to_dict() form), and to_dict() itself."""

import gc
import json

import pytest

import tolvane
from conftest import EXAMPLES, HEADER


def reference(parser, ncf_file, positions):
    document = {"ncf_file": tolvane.to_dict(ncf_file, positions=positions),
                "diagnostics": [tolvane.to_dict(d) for d in parser.get_diagnostics()]}
    return json.dumps(document, indent=2).encode()


def assert_same_document(name, content):
    parser = tolvane.NcfParser(name, content)
    ncf_file = parser.parse()
    for positions in (False, True):
        chunks = []
        tolvane._write_json_document(chunks.append, ncf_file, parser.get_diagnostics(), positions=positions)
        assert b"".join(chunks) == reference(parser, ncf_file, positions)


@pytest.mark.parametrize("path", sorted(EXAMPLES.glob("*.ncf")), ids=lambda p: p.name)
def test_the_examples(path):
    assert_same_document(str(path), path.read_bytes())


def test_the_real_files(corpus_files):
    for path in corpus_files:
        assert_same_document(path.name, path.read_bytes())


TEXTS = {
    # Escapes of every kind, non-ASCII text (ISO 8859-1 in the file), a
    # stray byte outside a string, characters above U+FFFF in the name.
    "escapes": HEADER.encode() + b'node n { general { supplier = 1; } free_text { "tab\\t \\"q\\" \\\\ \xe9\xb0" } }',
    "stray byte": HEADER.encode() + b"node \xff { }",
    "floats": HEADER.encode() + b'node n { general { LIN_protocol_version = "2.2"; supplier = 1; function = 2; '
                                b'variant = 3; bitrate = 1e-7 kbps; sends_wake_up_signal = "no"; '
                                b'volt_range = 1e300, -0.0; temp_range = 0.1, 1e16; } }',
    "empty": b"",
    "control": b'node_capability_file;\nLIN_language_version = "\x01\x1f\x7f";',
}


@pytest.mark.parametrize("content", TEXTS.values(), ids=TEXTS.keys())
def test_texts_that_exercise_the_encoder(content):
    assert_same_document("f\U0001F600\x00.ncf" if content else "", content or b"\xef\xbb\xbf")


def test_a_large_document_comes_in_chunks_that_join_to_the_whole():
    text = (EXAMPLES / "door_module.ncf").read_bytes()
    node = text[text.index(b"node door_module"):]
    content = text[:text.index(b"node door_module")] + b"".join(
        node.replace(b"node door_module", b"node door_%d" % i) for i in range(400))
    parser = tolvane.NcfParser("big.ncf", content)
    ncf_file = parser.parse()
    chunks = []
    tolvane._write_json_document(chunks.append, ncf_file, parser.get_diagnostics())
    assert len(chunks) > 1 and all(len(chunk) < 2 << 20 for chunk in chunks)
    assert b"".join(chunks) == reference(parser, ncf_file, False)


def test_an_error_of_write_comes_through():
    parser = tolvane.NcfParser("x.ncf", (EXAMPLES / "door_module.ncf").read_bytes())
    ncf_file = parser.parse()

    def refuse(chunk):
        raise OSError(28, "No space left on device")

    with pytest.raises(OSError, match="No space left"):
        tolvane._write_json_document(refuse, ncf_file, [])


@pytest.mark.parametrize("enabled", [True, False])
def test_to_dict_leaves_the_garbage_collector_as_it_found_it(enabled):
    ncf_file = tolvane.NcfParser("x.ncf", (EXAMPLES / "door_module.ncf").read_bytes()).parse()
    was = gc.isenabled()
    try:
        gc.enable() if enabled else gc.disable()
        assert tolvane.to_dict(ncf_file)["nodes"][0]["name"] == "door_module"
        assert gc.isenabled() == enabled
        with pytest.raises(TypeError):
            tolvane.to_dict(42)
        assert gc.isenabled() == enabled
    finally:
        gc.enable() if was else gc.disable()
