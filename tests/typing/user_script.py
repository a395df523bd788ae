"""A user's script over the whole tolvane API, type-checked by mypy --strict
against the stub package (tools/check-package) and runnable as it is:

    python3.14 tests/typing/user_script.py [FILE.ncf]

assert_type() pins the exact type the stub gives each value, and the
`type: ignore` lines in misuses() must stay errors: with --strict an ignore
that no longer suppresses anything is itself an error."""

import sys
from typing import assert_type

import pathlib

import tolvane
import tolvane_cli


def describe_general(general: tolvane.NcfGeneralDef) -> str:
    assert_type(general.protocol_version, str)
    assert_type((general.supplier_id, general.function_id, general.variant_id), tuple[int, int, int])
    assert_type(general.sends_wake_up_signal, bool | None)
    assert_type((general.volt_from, general.volt_to), tuple[float | None, float | None])
    assert_type((general.temp_from, general.temp_to), tuple[float | None, float | None])
    assert_type(general.conformance, str | None)
    bitrate = general.bitrate
    assert_type(bitrate.type, str)
    assert_type((bitrate.min_br, bitrate.max_br), tuple[float | None, float | None])
    assert_type(bitrate.rates, list[float])
    assert_type(bitrate.fixed_rate, float | None)
    rate = " ".join(f"{r:g}" for r in bitrate.rates) if bitrate.type == "select" else bitrate.fixed_rate
    conformance = general.conformance.upper() if general.conformance is not None else None
    return (f"protocol {general.protocol_version}, supplier 0x{general.supplier_id:04X}, "
            f"function 0x{general.function_id:04X}, variant {general.variant_id}, {bitrate.type} {rate} kbps, "
            f"{general.volt_from}..{general.volt_to} V, {general.temp_from}..{general.temp_to} degrees, "
            f"wake-up {general.sends_wake_up_signal}, conformance {conformance}")


def describe_diagnostic(diagnostic: tolvane.NcfDiagnosticDef) -> str:
    assert_type(diagnostic.nad_lhs, int)
    assert_type(diagnostic.nad_rhs, int | None)
    assert_type(diagnostic.nad_list, list[int])
    assert_type(diagnostic.diagnostic_class, int | None)
    assert_type((diagnostic.p2_min, diagnostic.st_min), tuple[float | None, float | None])
    assert_type((diagnostic.n_as_timeout, diagnostic.n_cr_timeout), tuple[float | None, float | None])
    assert_type(diagnostic.support_sids, list[int])
    assert_type(diagnostic.max_message_length, int | None)
    nads = [diagnostic.nad_lhs, *diagnostic.nad_list]
    if diagnostic.nad_rhs is not None:
        nads = list(range(diagnostic.nad_lhs, diagnostic.nad_rhs + 1))
    timings = [diagnostic.p2_min, diagnostic.st_min, diagnostic.n_as_timeout, diagnostic.n_cr_timeout]
    sids = " ".join(f"0x{sid:02X}" for sid in diagnostic.support_sids)
    return (f"NADs {nads}, class {diagnostic.diagnostic_class}, {sum(t is not None for t in timings)} timings, "
            f"services [{sids}], longest message {diagnostic.max_message_length}")


def describe_frame(frame: tolvane.NcfSingleFrame) -> list[str]:
    assert_type((frame.kind, frame.name), tuple[str, str])
    frame_properties = frame.properties
    assert_type(frame_properties, tolvane.NcfFrameProperties)
    assert_type(frame_properties.length, int)
    assert_type((frame_properties.min_period, frame_properties.max_period), tuple[int | None, int | None])
    assert_type(frame_properties.event_triggered_frame, str | None)
    assert_type(frame.signals, list[tolvane.NcfSignalDef])
    lines = [f"{frame.kind} {frame.name}: {frame_properties.length} bytes, "
             f"{frame_properties.min_period}..{frame_properties.max_period} ms, "
             f"event-triggered by {frame_properties.event_triggered_frame}"]
    for signal in frame.signals:
        assert_type(signal.name, str)
        properties = signal.properties
        assert_type(properties, tolvane.NcfSignalProperties)
        assert_type((properties.size, properties.offset), tuple[int, int])
        assert_type(properties.encoding_name, str | None)
        init = properties.init_value
        assert_type(init, tolvane.NcfInitValue)
        assert_type(init.is_array, bool)
        assert_type(init.scalar, int)
        assert_type(init.array_values, list[int])
        start: int | list[int] = init.array_values if init.is_array else init.scalar
        lines.append(f"  {signal.name}: {properties.size} bits at {properties.offset}, starts {start}, "
                     + (properties.encoding_name or "raw"))
    return lines


def describe_encoding(entry: tolvane.NcfEncodingEntry) -> list[str]:
    assert_type(entry.name, str)
    assert_type(entry.values, list[tolvane.NcfEncodingValue])
    lines = [entry.name]
    for value in entry.values:
        assert_type(value.type, str)
        logical = value.logical_value
        physical = value.physical_range
        assert_type(logical, tolvane.NcfLogicalValue | None)
        assert_type(physical, tolvane.NcfPhysicalRange | None)
        if logical is not None:
            assert_type(logical.signal_value, int)
            assert_type(logical.text_info, str | None)
            lines.append(f"  {logical.signal_value} means {logical.text_info!r}")
        elif physical is not None:
            assert_type((physical.min_value, physical.max_value), tuple[int, int])
            assert_type((physical.scale, physical.offset_val), tuple[float, float])
            assert_type(physical.text_info, str | None)
            low = physical.min_value * physical.scale + physical.offset_val
            high = physical.max_value * physical.scale + physical.offset_val
            lines.append(f"  {physical.min_value}..{physical.max_value} is {low:g}..{high:g} {physical.text_info}")
        else:
            lines.append(f"  {value.type}")
    return lines


def describe_node(node: tolvane.NcfNodeDef) -> list[str]:
    assert_type(node.name, str)
    assert_type(node.general, tolvane.NcfGeneralDef)
    assert_type(node.diagnostic, tolvane.NcfDiagnosticDef)
    assert_type(node.frames, list[tolvane.NcfSingleFrame])
    assert_type(node.encodings, list[tolvane.NcfEncodingEntry])
    assert_type(node.status, tolvane.NcfStatusManagement)
    assert_type(node.free_text, str | None)
    status = node.status
    assert_type(status.response_error, str)
    assert_type(status.fault_state_signals, list[str])
    lines = [f"node {node.name}", describe_general(node.general), describe_diagnostic(node.diagnostic)]
    for frame in node.frames:
        lines += describe_frame(frame)
    for entry in node.encodings:
        lines += describe_encoding(entry)
    lines.append(f"response error in {status.response_error}, fault states {status.fault_state_signals}")
    return lines + ([node.free_text] if node.free_text is not None else [])


def report(diagnostics: list[tolvane.Diagnostic]) -> list[str]:
    lines = []
    for diagnostic in diagnostics:
        assert_type(diagnostic.severity, tolvane.Diagnostic.Severity)
        assert_type(diagnostic.file, str)
        assert_type((diagnostic.line, diagnostic.column), tuple[int, int])
        assert_type(diagnostic.message, str)
        assert_type(diagnostic.code, str)
        severity = diagnostic.severity
        assert severity == tolvane.Diagnostic.Error == tolvane.Diagnostic.Severity.Error
        assert severity != tolvane.Diagnostic.Warning and severity != tolvane.Diagnostic.Severity.Info
        assert_type(severity.name, str)
        assert_type(severity.value, int)
        assert int(severity) == severity.value == [0, 1, 2][severity]
        lines.append(f"{diagnostic.file}:{diagnostic.line}:{diagnostic.column}: {severity.name.lower()}: {diagnostic.message}")
    return lines


def parse_all(path: str) -> list[str]:
    parser = tolvane.NcfParser(path)
    ncf = parser.parse()
    assert_type(ncf, tolvane.NcfFile)
    assert_type((ncf.filename, ncf.language_version), tuple[str, str])
    assert_type(ncf.nodes, list[tolvane.NcfNodeDef])
    lines = [f"{ncf.filename}: LIN {ncf.language_version}"]
    for node in ncf.nodes:
        lines += describe_node(node)
    lines += report(parser.get_diagnostics())

    # Text instead of a file, as str, bytes or bytearray, by position or keyword.
    text = b'node_capability_file; LIN_language_version = "2.1";'
    for parser in (
        tolvane.NcfParser("memory.ncf", text.decode()),
        tolvane.NcfParser(b"memory.ncf", text),
        tolvane.NcfParser(filename=bytearray(b"memory.ncf"), content=bytearray(text)),
        tolvane.NcfParser(content=text),
    ):
        parser.set_trace(False)
        assert parser.get_diagnostics() == []
        assert parser.parse().nodes == []
    broken = tolvane.NcfParser("broken.ncf", "node_capability_file")
    assert_type(broken.parse(), tolvane.NcfFile)
    lines += report(broken.get_diagnostics())

    lines += positions_of(ncf)

    members = tolvane.Diagnostic.Severity.__members__
    assert_type(members, dict[str, tolvane.Diagnostic.Severity])
    assert tolvane.Diagnostic.Severity(2) == tolvane.Diagnostic.Info
    return lines + [repr({name: member.value for name, member in members.items()})]


def positions_of(ncf: tolvane.NcfFile) -> list[str]:
    """Where things stand in the text, and the tree as plain data."""
    lines = []
    for node in ncf.nodes:
        assert_type((node.line, node.column), tuple[int, int])
        nad = node.diagnostic.position_of("nad_lhs")
        assert_type(nad, tuple[int, int] | None)
        lines.append(f"node {node.name} at {node.line}:{node.column}, NAD at {nad}")
        for frame in node.frames:
            match frame:
                case tolvane.NcfSingleFrame(kind, name):
                    lines.append(f"{kind} {name} at {frame.position_of('name', None)}")
    plain = tolvane.to_dict(ncf, positions=True)
    assert_type(plain, "dict[str, tolvane._Plain]")  # the stub's alias, unknown at run time
    assert isinstance(plain["nodes"], list)
    assert_type(tolvane.NcfFile.__match_args__, tuple[str, str, str])
    node = ncf.nodes[0]
    decoded = tolvane.decode(node, "door_status", bytes(5))
    assert_type(decoded, dict[str, tolvane.DecodedSignal])
    for name, signal in decoded.items():
        raw, value, unit, kind = signal
        assert_type(signal.unit, str | None)
        lines.append(f"{name} = {value!r} {unit or ''} ({kind}, raw {raw!r})")
    data = tolvane.encode(node, node.frames[0], {"door_open": "open", "window_position": 20.5})
    assert_type(tolvane.unpack(node.frames[0], data), dict[str, int | bytes])
    return lines


def command_line_helpers(path: str) -> list[str]:
    """The command-line tool's functions are typed as well, and the parser
    takes a path object and reads leniently on request."""
    parser = tolvane.NcfParser(pathlib.Path(path), lenient=True)
    parser.parse()
    lines = [tolvane_cli.format_diagnostic(d) for d in parser.get_diagnostics()]
    assert_type(lines, list[str])
    assert_type(tolvane_cli.to_dict(parser.parse()), "dict[str, tolvane._Plain]")
    assert_type(tolvane.__version__, str)
    return lines


def misuses(ncf: tolvane.NcfFile, parser: tolvane.NcfParser) -> None:
    """Never called: each line is an error that the stub must keep catching."""
    ncf.filename = "other.ncf"  # type: ignore[misc]
    parser.set_trace(arg0=True)  # type: ignore[call-arg]
    parser.set_trace(on=True)  # type: ignore[call-arg]
    tolvane.NcfParser(filename=42)  # type: ignore[arg-type]
    tolvane.NcfParser("a.ncf", "text", "extra")  # type: ignore[call-arg, arg-type]
    ncf.nodes[0].general.bitrate.rates.append("fast")  # type: ignore[arg-type]
    ncf.nodes[0].free_text.upper()  # type: ignore[union-attr]
    tolvane.parse("a.ncf")  # type: ignore[attr-defined]
    tolvane.to_dict("not a record")  # type: ignore[arg-type]
    tolvane.to_dict(ncf, True)  # type: ignore[call-arg]
    ncf.position_of(0)  # type: ignore[arg-type]
    tolvane.decode(ncf.nodes[0], 1, b"")  # type: ignore[arg-type]
    tolvane.decode(ncf.nodes[0], "f", b"").raw  # type: ignore[attr-defined]
    tolvane.encode(ncf.nodes[0], "f", {"s": None})  # type: ignore[dict-item]
    tolvane.NcfParser("a.ncf", "text", True)  # type: ignore[call-arg]
    tolvane_cli.format_diagnostic("not a diagnostic")  # type: ignore[arg-type]


if __name__ == "__main__":
    file_name = sys.argv[1] if len(sys.argv) > 1 else "examples/door_module.ncf"
    print("\n".join(parse_all(file_name) + command_line_helpers(file_name)))
