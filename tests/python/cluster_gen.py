"""Clusters of nodes for the LDF's tests: Hypothesis strategies that draw a
consistent cluster (each frame published by one slave, the subscribers
describing it as the publisher does, every encoding a signal names defined
in the node that names it), written as one NCF text per node."""

from dataclasses import dataclass, field

from hypothesis import strategies as st


@dataclass
class Signal:
    name: str
    size: int
    offset: int
    init: int | list[int]
    encoding: str | None = None


@dataclass
class Frame:
    name: str
    length: int
    signals: list[Signal]
    max_period: int | None = None
    event_triggered: str | None = None


@dataclass
class Node:
    name: str
    supplier: int
    function: int
    variant: int
    nads: list[int]
    bitrate: str
    publishes: list[Frame] = field(default_factory=list)
    subscribes: list[Frame] = field(default_factory=list)
    encodings: dict[str, str] = field(default_factory=dict)  # name -> value lines
    response_error: str = ""


def node_text(node):
    """The NCF text of one node (a file of its own)."""
    def frame_text(kind, frame):
        lines = [f"    {kind} {frame.name} {{", f"      length = {frame.length};"]
        if frame.max_period is not None:
            lines.append(f"      max_period = {frame.max_period} ms;")
        if frame.event_triggered:
            lines.append(f"      event_triggered_frame = {frame.event_triggered};")
        lines.append("      signals {")
        for signal in frame.signals:
            init = ("{ " + ", ".join(str(byte) for byte in signal.init) + " }"
                    if isinstance(signal.init, list) else str(signal.init))
            encoding = f" {signal.encoding};" if signal.encoding else ""
            lines.append(f"        {signal.name} {{ size = {signal.size}; init_value = {init}; "
                         f"offset = {signal.offset};{encoding} }}")
        lines += ["      }", "    }"]
        return "\n".join(lines)

    nads = ", ".join(f"0x{nad:02X}" for nad in node.nads)
    frames = [frame_text("publish", f) for f in node.publishes] + [frame_text("subscribe", f) for f in node.subscribes]
    encodings = "".join(f"    {name} {{ {lines} }}\n" for name, lines in node.encodings.items())
    status = f"  status_management {{ response_error = {node.response_error}; }}\n"
    return (
        'node_capability_file;\nLIN_language_version = "2.2";\n'
        f"node {node.name} {{\n"
        f'  general {{ LIN_protocol_version = "2.2"; supplier = 0x{node.supplier:04X}; '
        f"function = 0x{node.function:04X}; variant = {node.variant}; bitrate = {node.bitrate}; }}\n"
        f"  diagnostic {{ NAD = {nads}; diagnostic_class = 2; support_sid {{ 0xB2, 0xB7 }}; }}\n"
        "  frames {\n" + "\n".join(frames) + "\n  }\n"
        + (f"  encoding {{\n{encodings}  }}\n" if encodings else "")
        + status + "}\n"
    )


@st.composite
def encodings(draw, size):
    """Value lines for a scalar signal of `size` bits."""
    top = (1 << size) - 1
    lines = []
    low = draw(st.integers(0, min(top, 3)))
    lines.append(f'logical_value, {low}, "v{low}";')
    if top > low + 1 and draw(st.booleans()):
        scale = draw(st.sampled_from([0.5, 1.0, 2.0, 0.1, 0.25, 10.0]))
        offset = draw(st.sampled_from([0.0, -40.0, 100.0, 0.5]))
        lines.append(f'physical_value, {low + 1}, {top}, {scale}, {offset}, "unit";')
    return " ".join(lines)


@st.composite
def frame_signals(draw, prefix, length, first_bit=0, error_bit=False):
    """Signals laid out in a frame of `length` bytes from `first_bit` on, in
    order, none overlapping; with `error_bit`, the first one a 1-bit signal."""
    signals = []
    bit = first_bit
    index = 0
    if error_bit:
        signals.append(Signal(f"{prefix}_err", 1, bit, 0))
        bit += 1 + draw(st.integers(0, 2))
        index += 1
    while bit < 8 * length and index < 5:
        if bit % 8 == 0 and 8 * length - bit >= 16 and draw(st.integers(0, 5)) == 0:
            size = draw(st.sampled_from([8, 16]))
            init: int | list[int] = [draw(st.integers(0, 255)) for _ in range(size // 8)]
        else:
            size = draw(st.integers(1, min(16, 8 * length - bit)))
            init = draw(st.integers(0, (1 << size) - 1))
        signals.append(Signal(f"{prefix}_s{index}", size, bit, init))
        bit += size + draw(st.integers(0, 3))
        index += 1
    return signals


@st.composite
def clusters(draw):
    """(nodes, settings): 1 to 4 slaves, the master an input node or a name of its own."""
    count = draw(st.integers(1, 4))
    nodes = []
    for n in range(count):
        name = f"N{n}"
        # A NAD of its own first, so that every slave can be given one.
        nads = [0x10 + n, *draw(st.lists(st.integers(0x20, 0x7D), max_size=2, unique=True))]
        node = Node(name, draw(st.integers(0, 0x7FFE)), draw(st.integers(0, 0xFFFE)), draw(st.integers(0, 255)),
                    nads, draw(st.sampled_from(["19.2 kbps", "select { 9.6 kbps, 19.2 kbps }",
                                                "automatic min 10 kbps max 20 kbps"])))
        for f in range(draw(st.integers(1, 3))):
            length = draw(st.integers(1, 8))
            signals = draw(frame_signals(f"{name}_f{f}", length, error_bit=f == 0))
            for signal in signals:
                if not isinstance(signal.init, list) and draw(st.integers(0, 2)) == 0:
                    signal.encoding = f"{signal.name}_e"
                    node.encodings[signal.encoding] = draw(encodings(signal.size))
            period = draw(st.sampled_from([None, None, None, None, 200, 500, 1000]))
            node.publishes.append(Frame(f"{name}_f{f}", length, signals, period))
        node.response_error = node.publishes[0].signals[0].name
        nodes.append(node)
    # The last frames of two slaves may share an event-triggered frame: one
    # length, the first byte left to the identifier.
    if count >= 2 and draw(st.booleans()):
        length = draw(st.integers(2, 8))
        for node in nodes[:2]:
            prefix = f"{node.name}_event"
            node.publishes.append(Frame(prefix, length, draw(frame_signals(prefix, length, first_bit=8)),
                                        event_triggered="Event"))
    # Subscriptions: a node takes some frames of the others, described as
    # their publisher describes them, with the encodings they name.
    for node in nodes:
        for other in nodes:
            if other is node:
                continue
            for frame in other.publishes:
                if draw(st.booleans()):
                    node.subscribes.append(frame)
                    for signal in frame.signals:
                        if signal.encoding:
                            node.encodings[signal.encoding] = other.encodings[signal.encoding]
    settings = {"master": draw(st.sampled_from(["Gateway", "N0"])) if count >= 2 else "Gateway"}
    if draw(st.booleans()):
        settings["time_base"] = draw(st.sampled_from([1.0, 2.5, 5.0, 10.0]))
    return nodes, settings
