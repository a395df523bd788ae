#!/usr/bin/env python3
"""Deterministic generator of realistic node capability files for benchmarks.

Two shapes:

- "multi": many nodes, each with 8 frames of 6 signals and 8 encodings with
  logical and physical values, every optional statement present.
- "single": one node with as many frames as the size asks for (thousands for
  a megabyte).

Both use comments of both kinds, hexadecimal and real numbers and string
literals, at about 180 000 tokens and 25 000 lines per megabyte, parse
without a diagnostic and break none of the LIN rules tolvane checks. The output depends only on the shape, the size and the
seed: every node and every frame draws from a random generator seeded by its
own index (never by the clock), so equal arguments give equal bytes on every
machine and every run, and a larger multi file begins with the full nodes of
a smaller one.

    python3.14 bench/gen_ncf.py --shape multi --size 1M -o /tmp/multi-1M.ncf

Sizes take the suffixes K, M and G (powers of 1024). The file is as close to
the size as whole frames allow, and never larger unless the size is below
one minimal node (about 2 KB). Only ASCII is written.
"""

import argparse
import dataclasses
import pathlib
import random
import sys

SHAPES = ("multi", "single")
DEFAULT_SEED = 2024
FRAMES_PER_NODE = 8
SIGNALS_PER_FRAME = 6
ENCODINGS_PER_NODE = 8

# Name parts. Every generated name ends in a digit, so no name can collide
# with a keyword of the language (none of them ends in a digit).
UNITS = ["door", "seat", "mirror", "window", "wiper", "lamp", "climate", "fan", "valve", "pump",
         "motor", "roof", "trunk", "heater", "sensor", "switch_panel", "light_bar", "actuator"]
QUANTITIES = ["position", "speed", "temperature", "current", "voltage", "status", "fault", "request",
              "command", "level", "angle", "counter", "pressure", "humidity", "torque", "mode"]
FRAME_ROLES = ["status", "control", "request", "response", "feedback", "setpoint", "diag_info", "event"]
UNIT_TEXTS = ["degC", "percent", "rpm", "mA", "V", "deg", "kPa", "Nm", "steps", "lux"]
STATE_TEXTS = ["off", "on", "idle", "active", "error", "not available", "init", "open", "closed",
               "moving up", "moving down", "blocked", "no request", "locked", "unlocked", "reserved"]
BITRATES = ["automatic min 9.6 kbps max 19.2 kbps", "automatic min 10 kbps max 20 kbps",
            "select { 9.6 kbps, 10.417 kbps, 19.2 kbps }", "19.2 kbps", "10.417 kbps", "9.6 kbps"]


@dataclasses.dataclass
class GeneratedNcf:
    """The text of a generated file and what a parse of it must find."""

    text: str
    node_names: list[str]
    frames_per_node: list[int]
    encodings_per_node: list[int]

    @property
    def frame_count(self) -> int:
        return sum(self.frames_per_node)

    @property
    def signal_count(self) -> int:
        return self.frame_count * SIGNALS_PER_FRAME


def parse_size(text: str) -> int:
    """'2K' -> 2048, '1M' -> 1048576, '1500' -> 1500."""
    units = {"K": 1 << 10, "M": 1 << 20, "G": 1 << 30}
    text = text.strip().upper().removesuffix("B")
    factor = units.get(text[-1:], 1)
    number = text[:-1] if text[-1:] in units else text
    size = int(float(number) * factor)
    if size <= 0:
        raise ValueError(f"size must be positive: {text!r}")
    return size


class Writer:
    """Collects indented lines."""

    def __init__(self) -> None:
        self.lines: list[str] = []
        self.depth = 0

    def line(self, text: str = "") -> None:
        self.lines.append("  " * self.depth + text if text else "")

    def open(self, text: str) -> None:
        self.line(text + " {")
        self.depth += 1

    def close(self) -> None:
        self.depth -= 1
        self.line("}")

    def text(self) -> str:
        return "\n".join(self.lines) + "\n"


def header() -> str:
    return (
        "/* Generated for benchmarks */\n"
        "node_capability_file;\n"
        'LIN_language_version = "2.2";\n'
        "\n"
    )


def hex_value(rng: random.Random, digits: int, limit: int) -> str:
    return f"0x{rng.randrange(limit):0{digits}X}"


def general_section(w: Writer, rng: random.Random, node_index: int) -> None:
    w.open("general")
    w.line(f'LIN_protocol_version = "{rng.choice(["2.0", "2.1", "2.2"])}";')
    w.line(f"supplier = {hex_value(rng, 4, 0x7FFF)}; // supplier ID assigned by the consortium")
    w.line(f"function = {hex_value(rng, 4, 0xFFFF)};")
    w.line(f"variant = {node_index % 256};")
    w.line(f"bitrate = {rng.choice(BITRATES)};")
    w.line(f'sends_wake_up_signal = {rng.choice(["yes", "no", chr(34) + "yes" + chr(34)])};')
    w.line(f"volt_range = {rng.choice(['7.0', '8.5', '9.0'])}, {rng.choice(['16.0', '18.0', '18.5'])};")
    w.line(f"temp_range = -{rng.choice([20, 30, 40])}, {rng.choice([85, 105, 125])};")
    w.line(f'conformance = "{rng.choice(["LIN2.0", "LIN2.1", "LIN2.2", "ISO17987:2016"])}";')
    w.close()


def diagnostic_section(w: Writer, rng: random.Random) -> None:
    w.open("diagnostic")
    first = rng.randrange(1, 0x70)
    nad_forms = [f"0x{first:02X}", f"0x{first:02X} to 0x{first + 3:02X}",
                 f"{first}, {first + 1}, {first + 2}"]
    w.line(f"NAD = {nad_forms[rng.randrange(3)]};")
    w.line(f"diagnostic_class = {rng.randrange(1, 4)};")
    w.line(f"P2_min = {rng.choice(['50', '12.5', '100'])} ms;")
    w.line(f"ST_min = {rng.choice(['0', '10', '2.5'])} ms;")
    w.line("N_As_timeout = 1000 ms; N_Cr_timeout = 1000 ms;")
    w.line("support_sid { 0xB0, 0xB2, 0xB6, 0xB7, 0x22 }; // read by identifier included")
    w.line(f"max_message_length = {rng.choice([64, 255, 4095])};")
    w.close()


def signal_line(rng: random.Random, name: str, size: int, offset: int, encoding: str | None) -> str:
    if size == 16:
        init = f"{{ {hex_value(rng, 2, 256)}, {hex_value(rng, 2, 256)} }}"
    elif rng.random() < 0.5:
        init = hex_value(rng, 2, 1 << min(size, 8))
    else:
        init = str(rng.randrange(1 << min(size, 8)))
    tail = f" {encoding};" if encoding else ""
    return f"{name} {{ size = {size}; init_value = {init}; offset = {offset};{tail} }}"


def frame(w: Writer, rng: random.Random, unit: str, tag: str, index: int, encodings: list[str]) -> list[str]:
    """Writes one frame of SIGNALS_PER_FRAME signals; returns their names."""
    kind = "publish" if index % 3 != 2 else "subscribe"
    role = FRAME_ROLES[index % len(FRAME_ROLES)]
    if index % 4 == 0:
        w.line(f"/* {unit} {role}: sent every {10 * (1 + index % 5)} ms,")
        w.line("   or on change when the event-triggered frame carries it */")
    w.open(f"{kind} {unit}_{role}_{tag}_{index}")
    w.line("length = 8;")
    w.line(f"min_period = {rng.choice([5, 10, 20])} ms;")
    w.line(f"max_period = {rng.choice([50, 100, 200])} ms;")
    w.line(f"event_triggered_frame = {unit}_event_{tag}_{index};")
    w.open("signals")
    # The first data byte is left free: behind the event-triggered frame it
    # carries the protected identifier. The first signal has 8 bits and the
    # frame's own encoding, so that a node of eight frames uses every one;
    # the last, of one bit, can serve as the node's response error bit.
    sizes = rng.choice([(8, 8, 16, 8, 4, 1), (8, 16, 8, 8, 8, 1), (8, 1, 7, 16, 16, 1), (8, 8, 8, 8, 16, 1)])
    names = []
    offset = 8
    for s, size in enumerate(sizes):
        name = f"{rng.choice(QUANTITIES)}_{tag}_{index}_{s}"
        # Encodings cover raw values up to 253: only 8-bit signals use them.
        encoding = encodings[(index + s) % len(encodings)] if s % 2 == 0 and size == 8 else None
        comment = "  // motor side" if s == 3 and index % 2 == 0 else ""
        w.line(signal_line(rng, name, size, offset, encoding) + comment)
        names.append(name)
        offset += size
    w.close()
    w.close()
    return names


def encoding_entry(w: Writer, rng: random.Random, name: str, index: int) -> None:
    w.open(name)
    states = rng.sample(STATE_TEXTS, 3)
    for value, state in enumerate(states):
        w.line(f'logical_value, {value if index % 2 else f"0x{value:02X}"}, "{state}";')
    low = len(states)
    scale = rng.choice(["0.5", "0.1", "1", "1.8", "0.25", "2.5e-1"])
    offset = rng.choice(["0", "-40", "-40.0", "12.5"])
    w.line(f'physical_value, {low}, 250, {scale}, {offset}, "{rng.choice(UNIT_TEXTS)}";')
    w.line("physical_value, 251, 253, 1, 0;")
    w.close()


def seeded(seed: int, *path: object) -> random.Random:
    # A string seed is hashed with SHA-512: the same on every platform and run.
    return random.Random("/".join(map(str, (seed, *path))))


class NodeBuilder:
    """One node, assembled from a head, its frames and a tail, so that frames
    can be added one at a time until a byte budget is spent. Each frame draws
    from a generator of its own: frame k is the same whatever the budget."""

    def __init__(self, seed: int, shape: str, node_index: int, encoding_count: int) -> None:
        self.seed, self.shape, self.node_index = seed, shape, node_index
        self.unit = UNITS[node_index % len(UNITS)]
        self.tag = str(node_index)
        self.name = f"{self.unit}_node_{self.tag}"
        rng = seeded(seed, shape, node_index)
        self.encodings = [f"{q}_enc_{self.tag}_{i}" for i, q in enumerate(rng.sample(QUANTITIES, encoding_count))]
        self.head = self._head(rng)
        self.tail = self._tail(rng)

    def _head(self, rng: random.Random) -> str:
        w = Writer()
        w.line(f"// {self.name}: {self.unit} controller, {len(self.encodings)} encodings")
        w.open(f"node {self.name}")
        general_section(w, rng, self.node_index)
        diagnostic_section(w, rng)
        w.open("frames")
        return w.text()

    def _tail(self, rng: random.Random) -> str:
        # The status names the signals of the first frame, which every node has.
        first_signals = frame(Writer(), self._frame_rng(0), self.unit, self.tag, 0, self.encodings)
        w = Writer()
        w.depth = 2  # inside the node's frames section, which the tail closes
        w.close()
        w.open("encoding")
        for index, encoding in enumerate(self.encodings):
            encoding_entry(w, rng, encoding, index)
        w.close()
        w.open("status_management")
        w.line(f"response_error = {first_signals[-1]};")
        w.line(f"fault_state_signals = {', '.join(first_signals[1:4])};")
        w.close()
        w.line(f'free_text {{ "{self.unit} node {self.tag}: generated for benchmarks; values outside the '
               f'physical ranges are ignored." }}')
        w.close()
        return w.text() + "\n"

    def _frame_rng(self, index: int) -> random.Random:
        return seeded(self.seed, self.shape, self.node_index, "frame", index)

    def frame_text(self, index: int) -> str:
        w = Writer()
        w.depth = 2
        frame(w, self._frame_rng(index), self.unit, self.tag, index, self.encodings)
        return w.text()

    def build(self, budget: int, max_frames: int | None) -> tuple[str, int]:
        """The node with as many frames as fit in `budget` bytes (at least one,
        at most `max_frames`), and the number of frames."""
        parts = [self.head]
        used = len(self.head) + len(self.tail)
        count = 0
        while max_frames is None or count < max_frames:
            text = self.frame_text(count)
            if count > 0 and used + len(text) > budget:
                break
            parts.append(text)
            used += len(text)
            count += 1
        parts.append(self.tail)
        return "".join(parts), count

    def minimum_size(self) -> int:
        return len(self.head) + len(self.frame_text(0)) + len(self.tail)


def fitting_builder(seed: int, shape: str, index: int, budget: int) -> NodeBuilder:
    """A node with eight encodings, or fewer when the budget leaves no room
    for one frame and eight encodings (a tiny file, or the last node)."""
    for encodings in range(ENCODINGS_PER_NODE, 0, -1):
        builder = NodeBuilder(seed, shape, index, encodings)
        if builder.minimum_size() <= budget:
            break
    return builder


def generate_multi(size: int, seed: int) -> GeneratedNcf:
    parts = [header()]
    used = len(parts[0])
    result = GeneratedNcf("", [], [], [])
    index = 0
    while True:
        builder = fitting_builder(seed, "multi", index, size - used)
        if index > 0 and used + builder.minimum_size() > size:
            break
        text, frames = builder.build(size - used, FRAMES_PER_NODE)
        parts.append(text)
        used += len(text)
        result.node_names.append(builder.name)
        result.frames_per_node.append(frames)
        result.encodings_per_node.append(len(builder.encodings))
        index += 1
    result.text = "".join(parts)
    return result


def generate_single(size: int, seed: int) -> GeneratedNcf:
    head = header()
    builder = fitting_builder(seed, "single", 0, size - len(head))
    text, frames = builder.build(size - len(head), None)
    return GeneratedNcf(head + text, [builder.name], [frames], [len(builder.encodings)])


def generate(shape: str, size: int, seed: int = DEFAULT_SEED) -> GeneratedNcf:
    """A file of the given shape of at most `size` bytes (ASCII, so bytes = characters)."""
    if shape == "multi":
        return generate_multi(size, seed)
    if shape == "single":
        return generate_single(size, seed)
    raise ValueError(f"unknown shape {shape!r}; expected one of {SHAPES}")


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--shape", choices=SHAPES, required=True)
    parser.add_argument("--size", type=parse_size, required=True, help="target size, e.g. 2K, 1M, 10M")
    parser.add_argument("--seed", type=int, default=DEFAULT_SEED)
    parser.add_argument("-o", "--output", type=pathlib.Path, help="output file (default: standard output)")
    parser.add_argument("--stats", action="store_true", help="print bytes, lines and counts to stderr")
    args = parser.parse_args(argv)
    generated = generate(args.shape, args.size, args.seed)
    data = generated.text.encode("ascii")
    if args.output:
        args.output.parent.mkdir(parents=True, exist_ok=True)
        tmp = args.output.with_name(args.output.name + ".tmp")
        tmp.write_bytes(data)
        tmp.replace(args.output)  # never leave a half-written input behind
    else:
        sys.stdout.buffer.write(data)
    if args.stats:
        lines = data.count(b"\n")
        print(f"{args.shape} {len(data)} bytes, {lines} lines, {len(generated.node_names)} nodes, "
              f"{generated.frame_count} frames, {generated.signal_count} signals", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())
