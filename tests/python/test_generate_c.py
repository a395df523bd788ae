"""generate_c and tolvane generate-c: the generated C compiles without a
warning under gcc, clang and g++, and agrees with the codec: pack, unpack
and init on random layouts and values, decode and encode on physical
encodings."""

import ctypes
import math
import os
import random
import shutil
import subprocess

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import tolvane
from conftest import CORPUS, EXAMPLES
from test_dump import frames
from tolvane_cli import main

STRICT_C = ["-std=c99", "-Wall", "-Wextra", "-Wpedantic", "-Wconversion", "-Wsign-conversion", "-Werror"]
COMPILERS = [("gcc", STRICT_C), ("clang", STRICT_C), ("g++", ["-std=c++17", "-x", "c++", "-Wall", "-Wextra", "-Werror"])]


def written(tmp_path, node, **options):
    header_name, header, source_name, source = tolvane.generate_c(node, **options)
    (tmp_path / header_name).write_text(header)
    (tmp_path / source_name).write_text(source)
    return tmp_path / source_name


# The compilers run as they are, even when the tests run under a sanitizer.
PLAIN = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD" and not k.endswith("SAN_OPTIONS")}


def compile_warning_free(source):
    for compiler, flags in COMPILERS:
        if shutil.which(compiler) is None:
            pytest.skip(f"{compiler} is not installed")
        result = subprocess.run([compiler, *flags, "-c", str(source), "-o", str(source.with_suffix(".o"))],
                                capture_output=True, text=True, env=PLAIN)
        assert result.returncode == 0, f"{compiler}:\n{result.stderr}"


def library(source):
    shared = source.with_suffix(".so")
    subprocess.run(["gcc", "-std=c99", "-O2", "-shared", "-fPIC", str(source), "-o", str(shared), "-lm"], check=True,
                   env=PLAIN)
    return ctypes.CDLL(str(shared))


def struct_of(frame):
    fields = []
    for signal in frame.signals:
        size = signal.properties.size
        if signal.properties.init_value.is_array:
            fields.append((signal.name, ctypes.c_uint8 * (size // 8)))
        else:
            fields.append((signal.name, ctypes.c_uint8 if size <= 8 else ctypes.c_uint16))
    return type("Frame", (ctypes.Structure,), {"_fields_": fields or [("no_signals_", ctypes.c_uint8)]})


def random_raw(rng, signal):
    size = signal.properties.size
    if signal.properties.init_value.is_array:
        return bytes(rng.randrange(256) for _ in range(size // 8))
    return rng.randrange(1 << size)


class Generated:
    """The compiled code of a node's frame, called through ctypes."""

    def __init__(self, lib, prefix, frame):
        self.frame, self.struct = frame, struct_of(frame)
        self.pack_function = getattr(lib, f"{prefix}_{frame.name}_pack")
        self.unpack_function = getattr(lib, f"{prefix}_{frame.name}_unpack")
        self.init_function = getattr(lib, f"{prefix}_{frame.name}_init")

    def pack(self, values):
        message = self.struct()
        for name, value in values.items():
            setattr(message, name, (ctypes.c_uint8 * len(value))(*value) if isinstance(value, bytes) else value)
        out = (ctypes.c_uint8 * 8)()
        assert self.pack_function(out, ctypes.byref(message), ctypes.c_size_t(8)) == self.frame.properties.length
        assert self.pack_function(out, ctypes.byref(message), ctypes.c_size_t(self.frame.properties.length - 1)) < 0
        return bytes(out[: self.frame.properties.length])

    def unpack(self, data):
        message = self.struct()
        buffer = (ctypes.c_uint8 * len(data))(*data)
        assert self.unpack_function(ctypes.byref(message), buffer, ctypes.c_size_t(len(data))) == 0
        return {name: bytes(getattr(message, name)) if isinstance(value, bytes) else getattr(message, name)
                for name, value in tolvane.unpack(self.frame, data).items()}

    def initial(self):
        message = self.struct()
        assert self.init_function(ctypes.byref(message)) == 0
        out = (ctypes.c_uint8 * 8)()
        self.pack_function(out, ctypes.byref(message), ctypes.c_size_t(8))
        return bytes(out[: self.frame.properties.length])


def check_frames_agree_with_the_codec(lib, prefix, node, unused_bits, seed):
    rng = random.Random(seed)
    for frame in node.frames:
        generated = Generated(lib, prefix, frame)
        assert generated.initial() == tolvane.pack(frame, unused_bits=unused_bits)
        for _ in range(20):
            values = {signal.name: random_raw(rng, signal) for signal in frame.signals}
            data = generated.pack(values)
            assert data == tolvane.pack(frame, values, unused_bits=unused_bits)
            assert generated.unpack(data) == tolvane.unpack(frame, data)


@settings(max_examples=20, deadline=None)
@given(frames(), st.sampled_from([0, 1]), st.integers(0, 2**32))
def test_pack_unpack_and_init_agree_with_the_codec_on_random_layouts(tmp_path_factory, text, unused_bits, seed):
    node = tolvane.NcfParser("f.ncf", text).parse().nodes[0]
    source = written(tmp_path_factory.mktemp("c"), node, unused_bits=unused_bits)
    compile_warning_free(source)
    check_frames_agree_with_the_codec(library(source), "n", node, unused_bits, seed)


def usable_nodes():
    """The nodes of the example and the corpus whose every frame the codec takes."""
    paths = [EXAMPLES / "door_module.ncf"]
    if CORPUS.is_dir():
        paths += sorted(p for p in CORPUS.iterdir() if p.suffix in (".ncf", ".nfc"))
    for path in paths:
        for node in tolvane.NcfParser(str(path), lenient=True).parse().nodes:
            try:
                tolvane.generate_c(node)
            except ValueError:
                continue
            yield pytest.param(node, id=f"{path.name[:30]}:{node.name}")


@pytest.mark.parametrize("node", list(usable_nodes()))
def test_every_usable_node_compiles_without_a_warning_and_agrees_with_the_codec(tmp_path, node):
    source = written(tmp_path, node)
    compile_warning_free(source)
    prefix = tolvane.generate_c(node)[0].removesuffix(".h")
    check_frames_agree_with_the_codec(library(source), prefix, node, 0, 7)


def test_decode_and_encode_agree_with_the_codec(tmp_path):
    node = tolvane.NcfParser(str(EXAMPLES / "door_module.ncf")).parse().nodes[0]
    lib = library(written(tmp_path, node))
    frame = node.frames[0]
    decode = lib.door_module_door_status_window_position_decode
    encode = lib.door_module_door_status_window_position_encode
    decode.restype, decode.argtypes = ctypes.c_double, [ctypes.c_uint8]
    encode.restype, encode.argtypes = ctypes.c_uint8, [ctypes.c_double]
    for raw in range(256):
        data = tolvane.pack(frame, {"window_position": raw})
        decoded = tolvane.decode(node, frame, data)["window_position"]
        assert decode(raw) == (decoded.value if decoded.kind == "physical" else raw)
    rng = random.Random(3)
    for value in [rng.uniform(-20, 120) for _ in range(500)] + [0.25, 0.75, 99.75, 100.0, 100.25, math.nan]:
        try:
            data = tolvane.encode(node, frame, {"window_position": value})
        except tolvane.CodecError:
            assert encode(value) == frame.signals[1].properties.init_value.scalar
            continue
        raw = tolvane.unpack(frame, data)["window_position"]
        assert encode(value) == raw


@pytest.mark.parametrize("lines", ["physical_value, 0, 255, 1, 0; bcd_value;", "bcd_value; physical_value, 0, 255, 1, 0;",
                                   "logical_value, 300, \"never\";"])
def test_encodings_that_cover_everything_or_nothing_compile_without_a_warning(tmp_path, lines):
    text = (EXAMPLES / "door_module.ncf").read_text(encoding="latin-1")
    text = text.replace('physical_value, 0, 200, 0.5, 0, "percent";', lines).replace('logical_value, 255, "unknown";', "")
    node = tolvane.NcfParser("d.ncf", text).parse().nodes[0]
    compile_warning_free(written(tmp_path, node, source="a */ b.ncf"))


def test_names_become_c_identifiers_and_two_that_become_one_are_refused():
    text = (EXAMPLES / "door_module.ncf").read_text(encoding="latin-1")
    node = tolvane.NcfParser("d.ncf", text.replace("door_open", "int")).parse().nodes[0]
    header = tolvane.generate_c(node, "front door")[1]
    assert "    uint8_t int_;\n" in header and "int front_door_door_status_pack(" in header
    clash = text.replace("door_open", "int").replace("comm_error", "int_")
    with pytest.raises(ValueError, match="two signals of frame 'door_status' become the C name int_"):
        tolvane.generate_c(tolvane.NcfParser("d.ncf", clash).parse().nodes[0])


def test_the_command_writes_the_two_files_or_nothing(tmp_path, capsys):
    assert main(["generate-c", str(EXAMPLES / "door_module.ncf"), "--prefix", "door", "-o", str(tmp_path)]) == 0
    assert sorted(p.name for p in tmp_path.iterdir()) == ["door.c", "door.h"]
    assert (tmp_path / "door.h").read_text().startswith("/* Generated by tolvane ")
    refused = tmp_path / "refused"
    if not CORPUS.is_dir():
        pytest.skip("the shared corpus is not beside the checkout")
    status = main(["generate-c", str(CORPUS / "PersonalTransport__LIN__examples__CEM.ncf"), "-o", str(refused)])
    assert status == 1 and not refused.exists()
    assert "Frame 'Node_Status_Event' cannot be packed" in capsys.readouterr().err
