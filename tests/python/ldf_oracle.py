"""The law of the LDF, checked by an independent reader (ldfparser): an LDF
tolvane writes reads without error and says what the node capability files
say, and decoding frame data through it gives what tolvane's decoding
through the files gives."""

import os
import random
import tempfile

import tolvane


def read_ldf(text):
    """The LDF `text` (bytes) as ldfparser reads it."""
    import ldfparser

    with tempfile.NamedTemporaryFile("wb", suffix=".ldf", delete=False) as stream:
        stream.write(text)
    try:
        return ldfparser.parse_ldf(stream.name, encoding="latin-1")
    finally:
        os.unlink(stream.name)


def cluster_frames(nodes):
    """name -> (publishing node or None, reference frame, [(node, frame) descriptions])."""
    frames = {}
    for node in nodes:
        for frame in node.frames:
            entry = frames.setdefault(frame.name, [None, None, []])
            entry[2].append((node, frame))
            if frame.kind == "publish" and entry[0] is None:
                entry[0], entry[1] = node, frame
    for entry in frames.values():
        if entry[1] is None:
            entry[1] = entry[2][0][1]
    return frames


def init_of(signal):
    value = signal.properties.init_value
    return list(value.array_values) if value.is_array else value.scalar


def converters_of(entry):
    """An NCF encoding's value lines as ldfparser's converters read back."""
    lines = []
    for value in entry.values:
        if value.logical_value is not None:
            lines.append(("logical", value.logical_value.signal_value, value.logical_value.text_info))
        elif value.physical_range is not None:
            r = value.physical_range
            lines.append(("physical", r.min_value, r.max_value, r.scale, r.offset_val, r.text_info))
        else:
            lines.append((value.type,))
    return lines


def ldf_converters(encoding_type):
    lines = []
    for converter in encoding_type.get_converters():
        kind = type(converter).__name__
        if kind == "LogicalValue":
            lines.append(("logical", converter.phy_value, converter.info))
        elif kind == "PhysicalValue":
            lines.append(("physical", converter.phy_min, converter.phy_max, converter.scale, converter.offset,
                          converter.unit))
        else:
            lines.append({"BCDValue": "bcd", "ASCIIValue": "ascii"}[kind],)
    return lines


def assert_ldf_agrees(text, files, master, rng=None, rounds=8):
    """`text`, the LDF tolvane wrote for the parsed `files` with `master`,
    read by ldfparser: every frame, signal, node attribute and encoding as
    the files say, and `rounds` random data of each frame decoded alike."""
    ldf = read_ldf(text)
    nodes = [node for ncf in files for node in ncf.nodes]
    by_name = {node.name: node for node in nodes}
    slaves = [node for node in nodes if node.name != master]
    assert ldf.get_master().name == master
    assert [slave.name for slave in ldf.slaves] == [node.name for node in slaves]

    frames = cluster_frames(nodes)
    ids = set()
    for name, (publisher, reference, descriptions) in frames.items():
        frame = ldf.get_unconditional_frame(name)
        assert frame.length == reference.properties.length, name
        assert frame.publisher.name == (publisher.name if publisher else master), name
        assert {(offset, signal.name) for offset, signal in frame.signal_map} == {
            (s.properties.offset, s.name) for s in reference.signals}, name
        assert frame.frame_id not in ids and 0 <= frame.frame_id <= 0x3B
        ids.add(frame.frame_id)
        for signal in reference.signals:
            read = ldf.get_signal(signal.name)
            assert (read.width, read.init_value) == (signal.properties.size, init_of(signal)), signal.name
            assert read.publisher.name == frame.publisher.name
            expected = {node.name for node, described in descriptions
                        if node.name != frame.publisher.name and any(s.name == signal.name for s in described.signals)}
            if publisher is not None and master not in by_name:
                expected.add(master)
            assert {subscriber.name for subscriber in read.subscribers} == expected, signal.name
            owner = publisher or descriptions[0][0]
            if signal.properties.encoding_name is None:
                assert read.encoding_type is None
            else:
                entry = next(e for e in owner.encodings if e.name == signal.properties.encoding_name)
                assert read.encoding_type.name == entry.name
                assert ldf_converters(read.encoding_type) == converters_of(entry)

    event_frames = {}
    for name, (publisher, reference, _) in frames.items():
        if reference.properties.event_triggered_frame:
            event_frames.setdefault(reference.properties.event_triggered_frame, []).append(name)
    for name, members in event_frames.items():
        event = ldf.get_event_triggered_frame(name)
        assert [frame.name for frame in event.frames] == members
        assert event.frame_id not in ids and 0 <= event.frame_id <= 0x3B
        ids.add(event.frame_id)

    nads = set()
    for node in slaves:
        slave = ldf.get_slave(node.name)
        general, diagnostic = node.general, node.diagnostic
        product = slave.product_id
        assert (product.supplier_id, product.function_id, product.variant) == (
            general.supplier_id, general.function_id, general.variant_id)
        assert slave.configured_nad not in nads
        nads.add(slave.configured_nad)
        assert slave.response_error.name == node.status.response_error
        assert [s.name for s in slave.fault_state_signals] == list(node.status.fault_state_signals)
        for field, mine in (("p2_min", diagnostic.p2_min), ("st_min", diagnostic.st_min),
                            ("n_as_timeout", diagnostic.n_as_timeout), ("n_cr_timeout", diagnostic.n_cr_timeout)):
            if mine is not None:
                assert abs(getattr(slave, field) - mine / 1000) < 1e-12, field
        assert {frame.name for frame in slave.configurable_frames.values()} == (
            {f.name for f in node.frames} | {f.properties.event_triggered_frame for f in node.frames
                                            if f.properties.event_triggered_frame})

    rng = rng or random.Random(0)
    for name, (publisher, reference, descriptions) in frames.items():
        owner = publisher or descriptions[0][0]
        frame = ldf.get_unconditional_frame(name)
        for _ in range(rounds):
            data = bytes(rng.randrange(256) for _ in range(reference.properties.length))
            assert_decoded_alike(tolvane.decode(owner, reference, data), ldf_decoded(frame, data), frame)


def ldf_decoded(frame, data):
    """ldfparser's decoding of `data`, signal by signal: a raw value that no
    value line covers is an error for ldfparser, and left out here."""
    decoded = {}
    for name, raw in frame.decode_raw(data).items():
        signal = frame._get_signal(name)
        if signal.encoding_type is None or signal.is_array():
            decoded[name] = raw
            continue
        try:
            decoded[name] = signal.encoding_type.decode(raw, signal)
        except ValueError:
            pass
    return decoded


def assert_decoded_alike(mine, theirs, frame):
    """tolvane's decoding against ldfparser's: a raw value no value line
    covers comes back raw from tolvane. Byte arrays with an encoding are
    left out: ldfparser decodes them as one big-endian number."""
    assert set(mine) == {name for name, _ in ((s.name, s) for _, s in frame.signal_map)}
    for name, decoded in mine.items():
        signal = frame._get_signal(name)
        if signal.is_array():
            if signal.encoding_type is None:
                assert list(decoded.raw) == theirs[name], name
        elif name not in theirs:
            assert decoded.kind == "raw", name
        elif signal.encoding_type is None:
            assert decoded.raw == theirs[name], name
        else:
            assert decoded.value == theirs[name], (name, decoded, theirs[name])
