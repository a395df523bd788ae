"""The benchmark input generator: its files are valid, shaped as promised and
reproducible. The benchmarks only mean something if their inputs parse
without a diagnostic and have the structure the figures are quoted for."""

import importlib.util
import re

import pytest

import tolvane
from conftest import ROOT

_spec = importlib.util.spec_from_file_location("gen_ncf", ROOT / "bench" / "gen_ncf.py")
gen_ncf = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(gen_ncf)

# Tokens as the lexer sees them, comments excluded; good enough for the
# generator's own output, which holds no malformed token.
TOKEN = re.compile(
    r'"(?:\\.|[^"\\])*"|//[^\n]*|/\*.*?\*/|0[xX][0-9A-Fa-f]+'
    r"|[+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?|[A-Za-z_]\w*|\S",
    re.S,
)


def parse_generated(shape, size, seed=gen_ncf.DEFAULT_SEED):
    generated = gen_ncf.generate(shape, size, seed)
    parser = tolvane.NcfParser(f"{shape}.ncf", generated.text)
    ncf = parser.parse()
    return generated, ncf, parser.get_diagnostics()


@pytest.mark.parametrize(
    "shape, size, nodes, frames_of_full_nodes",
    [
        ("multi", 100, 1, None),  # below one minimal node
        ("multi", 2 << 10, 1, None),  # one node, shrunk to fit
        ("multi", 30 << 10, 4, 8),
        ("multi", 200 << 10, 25, 8),
        ("single", 2 << 10, 1, None),
        ("single", 30 << 10, 1, None),
        ("single", 200 << 10, 1, None),
    ],
)
def test_generated_file_parses_without_diagnostics_into_the_announced_shape(shape, size, nodes, frames_of_full_nodes):
    generated, ncf, diagnostics = parse_generated(shape, size)
    assert [(d.line, d.column, d.message) for d in diagnostics] == []
    assert [node.name for node in ncf.nodes] == generated.node_names
    assert [len(node.frames) for node in ncf.nodes] == generated.frames_per_node
    assert [len(node.encodings) for node in ncf.nodes] == generated.encodings_per_node
    assert all(len(frame.signals) == gen_ncf.SIGNALS_PER_FRAME for node in ncf.nodes for frame in node.frames)
    if frames_of_full_nodes is None:
        assert len(ncf.nodes) == nodes
    else:
        # Every node but the last, which holds what still fits, is full.
        assert len(ncf.nodes) >= nodes
        assert set(generated.frames_per_node[:-1]) == {frames_of_full_nodes}
        assert set(generated.encodings_per_node[:-1]) == {gen_ncf.ENCODINGS_PER_NODE}
        assert 1 <= generated.frames_per_node[-1] <= frames_of_full_nodes


def test_extreme_sizes():
    generated = gen_ncf.generate("single", 1 << 20)  # thousands of frames in one node
    assert (len(generated.node_names), generated.encodings_per_node) == (1, [gen_ncf.ENCODINGS_PER_NODE])
    assert generated.frame_count > 1000
    assert gen_ncf.generate("multi", 100).frames_per_node == [1]  # below one minimal node


@pytest.mark.parametrize("shape", gen_ncf.SHAPES)
def test_every_optional_statement_and_every_kind_of_token_is_present(shape):
    generated, ncf, _ = parse_generated(shape, 30 << 10)
    for node in ncf.nodes:
        general, diagnostic = node.general, node.diagnostic
        assert None not in (general.sends_wake_up_signal, general.volt_from, general.volt_to,
                            general.temp_from, general.temp_to, general.conformance, node.free_text)
        assert None not in (diagnostic.diagnostic_class, diagnostic.p2_min, diagnostic.st_min,
                            diagnostic.n_as_timeout, diagnostic.n_cr_timeout, diagnostic.max_message_length)
        assert diagnostic.support_sids and len(node.status.fault_state_signals) == 3
        for frame in node.frames:
            properties = frame.properties
            assert None not in (properties.min_period, properties.max_period, properties.event_triggered_frame)
            assert any(s.properties.encoding_name is not None for s in frame.signals)
            assert any(s.properties.init_value.is_array for s in frame.signals)
        for entry in node.encodings:
            assert {"logical", "physical"} <= {value.type for value in entry.values}
    text = generated.text
    assert "//" in text and "/*" in text
    assert re.search(r"\b0x[0-9A-F]+\b", text) and re.search(r"\b\d+\.\d+\b", text)
    assert re.search(r'"[^"]+ [^"]+"', text)


@pytest.mark.parametrize("shape", gen_ncf.SHAPES)
@pytest.mark.parametrize("size", [2 << 10, 10 << 10, 100 << 10, 1 << 20])
def test_size_is_close_to_the_request_and_density_that_of_typical_files(shape, size):
    text = gen_ncf.generate(shape, size).text
    assert size - 3000 <= len(text) <= size  # short of one more frame at most
    if size >= 100 << 10:
        # About 180 000 tokens and 25 000 lines per megabyte.
        megabytes = len(text) / (1 << 20)
        tokens = sum(1 for m in TOKEN.finditer(text) if not m.group().startswith(("//", "/*")))
        assert 150_000 <= tokens / megabytes <= 210_000
        assert 20_000 <= text.count("\n") / megabytes <= 30_000


@pytest.mark.parametrize("shape", gen_ncf.SHAPES)
def test_output_depends_only_on_shape_size_and_seed(shape):
    first = gen_ncf.generate(shape, 20 << 10).text
    assert gen_ncf.generate(shape, 20 << 10).text == first
    assert gen_ncf.generate(shape, 20 << 10, seed=gen_ncf.DEFAULT_SEED + 1).text != first


def test_a_larger_multi_file_begins_with_the_nodes_of_a_smaller_one():
    small = gen_ncf.generate("multi", 40 << 10)
    large = gen_ncf.generate("multi", 80 << 10)
    assert large.node_names[: len(small.node_names) - 1] == small.node_names[:-1]
    assert large.text.startswith(small.text[: small.text.index(f"// {small.node_names[-1]}:")])


@pytest.mark.parametrize(
    "text, size",
    [("2K", 2048), ("1M", 1 << 20), ("10M", 10 << 20), ("1500", 1500), ("1.5K", 1536), ("64kb", 64 << 10),
     ("0", None), ("-1K", None), ("K", None), ("two", None)],
)
def test_parse_size(text, size):
    if size is None:
        with pytest.raises(ValueError):
            gen_ncf.parse_size(text)
    else:
        assert gen_ncf.parse_size(text) == size


def test_command_line_writes_the_same_bytes_as_generate(tmp_path):
    output = tmp_path / "sub" / "single-4K.ncf"
    assert gen_ncf.main(["--shape", "single", "--size", "4K", "-o", str(output)]) == 0
    assert output.read_bytes() == gen_ncf.generate("single", 4096).text.encode("ascii")
    assert [p.name for p in output.parent.iterdir()] == ["single-4K.ncf"]  # no temporary left
    with pytest.raises(ValueError, match="unknown shape"):
        gen_ncf.generate("double", 4096)


@pytest.mark.parametrize("shape", gen_ncf.SHAPES)
@pytest.mark.parametrize("size", [2 << 10, 200 << 10])
def test_generated_files_break_no_lin_rule(shape, size):
    # The figures for validation time the rules, not the wording of findings.
    generated = gen_ncf.generate(shape, size)
    ncf, diagnostics = tolvane.check(f"{shape}.ncf", generated.text)
    last_node = ncf.nodes[-1]
    assert {(d.code, d.line >= last_node.line) for d in diagnostics} <= {("unused-encoding", True)}
    if generated.frames_per_node[-1] >= len(last_node.encodings):
        assert diagnostics == []
