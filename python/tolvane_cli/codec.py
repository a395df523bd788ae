"""`tolvane decode` and `encode`: a frame's data bytes through the node's
encodings, and back."""

from __future__ import annotations

import tolvane
from tolvane_cli.commandline import Argument, Command
from tolvane_cli.shared import (
    EXIT_CLEAN,
    CodecRefused,
    UsageError,
    complain,
    format_diagnostic,
    lenient_argument,
    lenient_of,
    make_parser,
    read_source,
    settings_arguments,
    settings_of,
)

TYPE_CHECKING = False
if TYPE_CHECKING:
    from collections.abc import Sequence

    from tolvane_cli.commandline import Parsed


def parsed_node(path: str, node_name: str | None, lenient: bool = False) -> tolvane.NcfNodeDef:
    """The node of FILE that --node names, or its only node. A file with
    syntax errors is refused: its tree may lack what the bytes need."""
    parser = make_parser(*read_source(path), lenient)
    ncf_file = parser.parse()
    errors = [d for d in parser.get_diagnostics() if d.severity == tolvane.Diagnostic.Error]
    if errors:
        for diagnostic in errors:
            complain(format_diagnostic(diagnostic))
        raise CodecRefused(f"tolvane: {path} has syntax errors: fix them first")
    names = [node.name for node in ncf_file.nodes]
    if node_name is None:
        if len(names) != 1:
            raise UsageError(f"tolvane: {path} has {len(names)} nodes: choose one with --node ({', '.join(names)})"
                             if names else f"tolvane: {path} has no node")
        return ncf_file.nodes[0]
    if node_name not in names:
        raise UsageError(f"tolvane: {path} has no node {node_name!r} (it has {', '.join(names) or 'none'})")
    return ncf_file.nodes[names.index(node_name)]


_HEX_SEPARATORS = r"[\s:,-]+"


def data_from_hex(words: Sequence[str]) -> bytes:
    """Data bytes written in hex: "0001282211", "00 01 28", "00:01",
    "0x00 0x01", in one argument or several."""
    import re

    tokens = re.split(_HEX_SEPARATORS, " ".join(words))
    digits = "".join(token[2:] if token[:2] in ("0x", "0X") else token for token in tokens)
    try:
        return bytes.fromhex(digits)
    except ValueError:
        raise UsageError(f"tolvane: {' '.join(words)!r} is not data bytes in hex (two digits a byte)") from None


def hex_bytes(data: bytes) -> str:
    return data.hex(" ")


def _text(value: str) -> str:
    import json

    return json.dumps(value, ensure_ascii=False)


def decoded_line(name: str, decoded: tolvane.DecodedSignal, size: int) -> str:
    """name = value unit (raw 0x..): texts in double quotes, byte arrays as
    a list of bytes, the raw value in hex."""
    value = decoded.value
    if isinstance(value, str):
        shown = _text(value)
    elif isinstance(value, bytes):
        shown = "[" + ", ".join(f"0x{byte:02x}" for byte in value) + "]"
    else:
        shown = repr(value)
    if decoded.unit:
        shown += " " + decoded.unit
    raw = decoded.raw
    raw_text = hex_bytes(raw) if isinstance(raw, bytes) else f"0x{raw:0{(size + 3) // 4}x}"
    return f"{name} = {shown} (raw {raw_text})"


def run_decode(args: Parsed) -> int:
    node = parsed_node(args.file, args.node, lenient_of(args, settings_of(args)))
    frame = args.frame
    data = data_from_hex(args.hex)
    try:
        decoded = tolvane.decode(node, frame, data)
    except tolvane.CodecError as error:
        raise CodecRefused(f"tolvane: {error}") from None
    signals = next(f for f in node.frames if f.name == frame).signals
    for signal, (name, value) in zip(signals, decoded.items()):
        print(decoded_line(name, value, signal.properties.size))
    return EXIT_CLEAN


_INT = r"[+-]?(0[xX][0-9a-fA-F]+|0[bB][01]+|\d+)"


def _int(text: str) -> int:
    """An int of _INT: 0x.. and 0b.. by their prefix, others decimal (010 is ten)."""
    prefixed = text.lstrip("+-")[:2].lower() in ("0x", "0b")
    return int(text, 0) if prefixed else int(text, 10)


def value_from_text(text: str) -> int | float | str | list[int]:
    """A value of `encode` from the command line: an int (decimal, 0x..,
    0b..), a float, a list of bytes "[0x22, 0x11]", or else a text; a text in
    double quotes is always a text ("1" is the text 1)."""
    import re

    stripped = text.strip()
    if re.fullmatch(_INT, stripped):
        return _int(stripped)
    if len(stripped) >= 2 and stripped[0] == stripped[-1] == '"':
        return stripped[1:-1]
    if stripped.startswith("[") and stripped.endswith("]"):
        items = [item for item in re.split(_HEX_SEPARATORS, stripped[1:-1]) if item]
        if all(re.fullmatch(_INT, item) for item in items):
            return [_int(item) for item in items]
    try:
        return float(stripped)
    except ValueError:
        return text


def encode_values(assignments: Sequence[str]) -> dict[str, int | float | str | list[int]]:
    values: dict[str, int | float | str | list[int]] = {}
    for assignment in assignments:
        name, equals, text = assignment.partition("=")
        if not equals or not name.strip():
            raise UsageError(f"tolvane: {assignment!r} is not NAME=VALUE")
        if name.strip() in values:
            raise UsageError(f"tolvane: signal {name.strip()!r} is given twice")
        values[name.strip()] = value_from_text(text)
    return values


def run_encode(args: Parsed) -> int:
    node = parsed_node(args.file, args.node, lenient_of(args, settings_of(args)))
    values = encode_values(args.values)
    try:
        data = tolvane.encode(node, args.frame, values, unused_bits=args.unused_bits)
    except tolvane.CodecError as error:
        raise CodecRefused(f"tolvane: {error}") from None
    print(hex_bytes(data))
    return EXIT_CLEAN


def _frame_arguments() -> list[Argument]:
    """FILE, FRAME and --node, which decode and encode share."""
    return [
        Argument("file", metavar="FILE", help='an NCF file, or "-" for standard input'),
        Argument("frame", metavar="FRAME", help="the name of one of the node's frames"),
        Argument("--node", metavar="NAME", help="the node, when FILE has several"),
        lenient_argument(),
        *settings_arguments(),
    ]


COMMANDS = (
    Command(
        "decode",
        help="decode a frame's data bytes through the node's encodings",
        description="Decode the data bytes HEX of frame FRAME of the node in FILE and print one line per "
        "signal: NAME = VALUE UNIT (raw 0x..). VALUE is a physical value, a logical text or ASCII text "
        "in double quotes, a BCD number, or the raw value when no line of the signal's encoding covers "
        "it.",
        epilog="HEX: two hex digits a byte, in one argument or several, spaces or colons between bytes "
        "allowed. Exit status: 0 decoded, 1 FILE has syntax errors or the frame cannot be decoded "
        "(unusable layout, an undefined encoding, data of another length), 2 usage error or FILE cannot "
        "be read.",
        arguments=[*_frame_arguments(), Argument("hex", nargs="+", metavar="HEX", help="the frame's data bytes in hex")],
        run=run_decode,
    ),
    Command(
        "encode",
        help="encode signal values into a frame's data bytes",
        description="Encode the values NAME=VALUE of signals of frame FRAME of the node in FILE through "
        "the node's encodings and print the data bytes in hex. A signal not given takes its initial "
        "value.",
        epilog='VALUE: an int (42, 0x2A, 0b101010), a float (20.5: a physical value), a list of bytes '
        '([0x22, 0x11]: a byte array), or a text (a logical text or ASCII; in double quotes, "1" is '
        "a text). Exit status: 0 encoded, 1 FILE has syntax errors or a value cannot be encoded, "
        "2 usage error or FILE cannot be read.",
        arguments=[
            *_frame_arguments(),
            Argument("values", nargs="*", metavar="NAME=VALUE", help="a signal's value"),
            Argument("--unused-bits", type=int, choices=(0, 1), default=0,
                     help="the value of the bits no signal uses (default 0)"),
        ],
        run=run_encode,
    ),
)
