"""`tolvane html`: a node's datasheet as a web page, one self-contained page
per file: inline CSS and SVG, no scripts, nothing fetched."""

from __future__ import annotations

import os
import sys
import re
from html import escape as escape_html

import tolvane
from tolvane_cli.commandline import Argument, Command
from tolvane_cli.shared import (
    EXIT_CLEAN,
    EXIT_DIAGNOSTICS,
    UsageError,
    lenient_argument,
    lenient_of,
    make_parser,
    position,
    read_source,
    recovery_argument,
    settings_arguments,
    settings_of,
    write_output,
)

TYPE_CHECKING = False
if TYPE_CHECKING:
    from collections.abc import Iterator

    from tolvane_cli.commandline import Parsed

# The control characters HTML does not allow in text (line feeds, tabs and
# carriage returns it does).
_CONTROL = re.compile(r"[\x00-\x08\x0b\x0c\x0e-\x1f\x7f-\x9f]")


def escape(text: str) -> str:
    """A text of the file as the page shows it: HTML's special characters
    escaped, control characters as \\xNN."""
    return escape_html(_CONTROL.sub(lambda match: f"\\x{ord(match[0]):02X}", text))


CELL_WIDTH, CELL_HEIGHT, LEFT, TOP = 64, 30, 64, 24
# Signal colours: light enough for dark text, told apart side by side.
COLOURS = ("#fbb4ae", "#b3cde3", "#ccebc5", "#decbe4", "#fed9a6", "#ffffcc", "#e5d8bd", "#fddaec",
           "#b3e2cd", "#fdcdac", "#cbd5e8", "#f4cae4")

STYLE = """
body { font: 15px/1.45 system-ui, sans-serif; margin: 2em auto; max-width: 62em; padding: 0 1em; color: #222; }
h1 { font-size: 1.6em; } h2 { border-bottom: 1px solid #ccc; margin-top: 2em; } h3 { margin-top: 1.6em; }
table { border-collapse: collapse; margin: 0.6em 0; }
th, td { border: 1px solid #ccc; padding: 0.2em 0.6em; text-align: left; vertical-align: top; }
th { background: #f3f3f3; }
.diagnostics li { margin: 0.2em 0; } .error { color: #a00; } .warning { color: #850; } .info { color: #555; }
svg text { font-family: system-ui, sans-serif; font-size: 12px; fill: #222; }
svg .bit-number, svg .byte-number { fill: #666; }
svg .cell { fill: #fff; stroke: #999; } svg .identifier { fill: #ddd; }
svg .span { stroke: #444; } svg .overlap { fill: none; stroke: #d00; stroke-width: 3; }
code { font-size: 0.95em; }
"""


class Page:
    """The HTML of one file: its nodes, frames, signals, encodings and
    diagnostics. Every id is made by the page (n0, n0-f1, n0-f1-s2, ...), so
    no text of the file ever lands in an attribute unescaped."""

    def __init__(self, name: str, ncf_file: tolvane.NcfFile, diagnostics: list[tolvane.Diagnostic]) -> None:
        self.name = name
        self.file = ncf_file
        self.diagnostics = sorted(diagnostics, key=position)

    def html(self) -> str:
        title = escape(os.path.basename(self.name) or self.name)
        parts = [
            "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n",
            f"<title>{title}</title>\n<style>{STYLE}</style>\n</head>\n<body>\n",
            f"<h1>{title}</h1>\n",
            f"<p>LIN language version {escape(self.file.language_version)}; "
            f"{len(self.file.nodes)} node{'s' if len(self.file.nodes) != 1 else ''}.</p>\n",
            *self.diagnostics_section(),
        ]
        for index, node in enumerate(self.file.nodes):
            parts += self.node_section(index, node)
        parts.append("</body>\n</html>\n")
        return "".join(parts)

    # --- diagnostics -----------------------------------------------------------------

    def anchor_of(self, diagnostic: tolvane.Diagnostic) -> str | None:
        """The id of the signal, frame or node the diagnostic lies in: the
        latest that begins at or before it."""
        found = None
        place = (diagnostic.line, diagnostic.column)
        for n, node in enumerate(self.file.nodes):
            if (node.line, node.column) <= place:
                found = f"n{n}"
                for f, frame in enumerate(node.frames):
                    if (frame.line, frame.column) <= place:
                        found = f"n{n}-f{f}"
                        for s, signal in enumerate(frame.signals):
                            if (signal.line, signal.column) <= place:
                                found = f"n{n}-f{f}-s{s}"
        return found

    def diagnostics_section(self) -> Iterator[str]:
        yield "<section class=\"diagnostics\">\n<h2>Diagnostics</h2>\n"
        if not self.diagnostics:
            yield "<p>No problems: the file reads without a diagnostic and breaks no LIN rule.</p>\n</section>\n"
            return
        yield "<ul>\n"
        for diagnostic in self.diagnostics:
            severity = diagnostic.severity.name.lower()
            where = f"{diagnostic.line}:{diagnostic.column}"
            anchor = self.anchor_of(diagnostic)
            link = f"<a href=\"#{anchor}\">{where}</a>" if anchor else where
            code = f" <code>[{escape(diagnostic.code)}]</code>" if diagnostic.code else ""
            yield f"<li class=\"{severity}\">{link} {severity}: {escape(diagnostic.message)}{code}</li>\n"
        yield "</ul>\n</section>\n"

    # --- nodes -----------------------------------------------------------------------

    @staticmethod
    def rows(pairs: list[tuple[str, str]]) -> str:
        return "".join(f"<tr><th>{escape(key)}</th><td>{escape(value)}</td></tr>\n" for key, value in pairs)

    @staticmethod
    def summary(node: tolvane.NcfNodeDef) -> list[tuple[str, str]]:
        general, diagnostic = node.general, node.diagnostic
        bitrate = general.bitrate
        if bitrate.type == "fixed":
            rate = f"{bitrate.fixed_rate:g} kbps"
        elif bitrate.type == "select":
            rate = "one of " + ", ".join(f"{r:g}" for r in bitrate.rates) + " kbps"
        else:
            bounds = [f"min {bitrate.min_br:g} kbps" if bitrate.min_br is not None else "",
                      f"max {bitrate.max_br:g} kbps" if bitrate.max_br is not None else ""]
            rate = " ".join(["automatic", *filter(None, bounds)])
        if diagnostic.nad_rhs is not None:
            nads = f"0x{diagnostic.nad_lhs:02X} to 0x{diagnostic.nad_rhs:02X}"
        else:
            nads = ", ".join(f"0x{nad:02X}" for nad in [diagnostic.nad_lhs, *diagnostic.nad_list])
        pairs = [
            ("LIN protocol version", general.protocol_version),
            ("supplier", f"0x{general.supplier_id:04X}"), ("function", f"0x{general.function_id:04X}"),
            ("variant", str(general.variant_id)), ("bit rate", rate), ("NAD", nads),
        ]
        optional = [
            ("diagnostic class", diagnostic.diagnostic_class, "{}"), ("P2_min", diagnostic.p2_min, "{:g} ms"),
            ("ST_min", diagnostic.st_min, "{:g} ms"), ("N_As_timeout", diagnostic.n_as_timeout, "{:g} ms"),
            ("N_Cr_timeout", diagnostic.n_cr_timeout, "{:g} ms"),
            ("max message length", diagnostic.max_message_length, "{}"),
        ]
        pairs += [(key, form.format(value)) for key, value, form in optional if value is not None]
        if diagnostic.support_sids:
            pairs.append(("service ids", ", ".join(f"0x{sid:02X}" for sid in diagnostic.support_sids)))
        if general.sends_wake_up_signal is not None:
            pairs.append(("sends wake-up signal", "yes" if general.sends_wake_up_signal else "no"))
        pairs.append(("response error", node.status.response_error))
        return pairs

    def node_section(self, index: int, node: tolvane.NcfNodeDef) -> Iterator[str]:
        yield f"<section id=\"n{index}\">\n<h2>Node {escape(node.name)}</h2>\n"
        yield f"<table class=\"summary\">\n{self.rows(self.summary(node))}</table>\n"
        if node.free_text:
            yield f"<p>{escape(node.free_text)}</p>\n"
        for f, frame in enumerate(node.frames):
            yield from self.frame_section(f"n{index}-f{f}", node, frame)
        for e, entry in enumerate(node.encodings):
            yield from self.encoding_section(f"n{index}-e{e}", entry)
        yield "</section>\n"

    # --- frames ----------------------------------------------------------------------

    def frame_section(self, anchor: str, node: tolvane.NcfNodeDef, frame: tolvane.NcfSingleFrame) -> Iterator[str]:
        length = frame.properties.length
        yield (f"<section id=\"{anchor}\" class=\"frame\">\n<h3>{escape(frame.kind)} {escape(frame.name)} "
               f"<small>({length} byte{'s' if length != 1 else ''})</small></h3>\n")
        if frame.properties.event_triggered_frame is not None:
            yield (f"<p>Byte 0 holds the protected identifier of event-triggered frame "
                   f"{escape(frame.properties.event_triggered_frame)}.</p>\n")
        yield from frame_svg(frame)
        encodings = {entry.name: e for e, entry in enumerate(node.encodings)}
        yield ("<table class=\"signals\">\n<tr><th>signal</th><th>offset</th><th>size</th>"
               "<th>initial value</th><th>encoding</th></tr>\n")
        for s, signal in enumerate(frame.signals):
            properties = signal.properties
            init = properties.init_value
            value = ("{" + ", ".join(f"0x{b:02X}" for b in init.array_values) + "}") if init.is_array else str(init.scalar)
            encoding = properties.encoding_name or ""
            if encoding in encodings:
                encoding = f"<a href=\"#{anchor.split('-')[0]}-e{encodings[encoding]}\">{escape(encoding)}</a>"
            else:
                encoding = escape(encoding)
            colour = COLOURS[s % len(COLOURS)]
            yield (f"<tr id=\"{anchor}-s{s}\"><td><span style=\"background:{colour}\">&#160;&#160;</span> "
                   f"{escape(signal.name)}</td><td>{properties.offset}</td><td>{properties.size}</td>"
                   f"<td>{escape(value)}</td><td>{encoding}</td></tr>\n")
        yield "</table>\n</section>\n"

    @staticmethod
    def encoding_section(anchor: str, entry: tolvane.NcfEncodingEntry) -> Iterator[str]:
        yield (f"<section id=\"{anchor}\" class=\"encoding\">\n<h3>Encoding {escape(entry.name)}</h3>\n"
               "<table>\n<tr><th>raw</th><th>meaning</th></tr>\n")
        for value in entry.values:
            if value.logical_value is not None:
                logical = value.logical_value
                raw, meaning = str(logical.signal_value), logical.text_info or ""
            elif value.physical_range is not None:
                r = value.physical_range
                raw = f"{r.min_value}..{r.max_value}"
                meaning = f"raw × {r.scale:g} + {r.offset_val:g}" + (f" {r.text_info}" if r.text_info else "")
            else:
                raw, meaning = "any", "BCD" if value.type == "bcd" else "ASCII"
            yield f"<tr><td>{escape(raw)}</td><td>{escape(meaning)}</td></tr>\n"
        yield "</table>\n</section>\n"


def segments(first: int, last: int, drawn: int) -> Iterator[tuple[int, int, int]]:
    """The runs of bits first..last inside the bits drawn, one per byte:
    (byte, lowest bit, highest bit) with bits counted within the byte."""
    bit = max(first, 0)
    while bit <= min(last, drawn - 1):
        byte = bit // 8
        top = min(last, byte * 8 + 7)
        yield byte, bit % 8, top % 8
        bit = top + 1


def frame_svg(frame: tolvane.NcfSingleFrame) -> Iterator[str]:
    """The layout as an SVG grid: one cell per data bit (bit 7 at the left),
    each signal a coloured span over its bits, labelled with its name."""
    rows = max(0, min(frame.properties.length, 8))
    if rows == 0:
        yield "<p>No data bytes.</p>\n"
        return
    width, height = LEFT + 8 * CELL_WIDTH + 64, TOP + rows * CELL_HEIGHT + 8
    yield (f"<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"layout\" width=\"{width}\" height=\"{height}\" "
           f"viewBox=\"0 0 {width} {height}\" role=\"img\">\n<title>{escape(frame.name)}</title>\n")
    for column in range(8):
        x = LEFT + column * CELL_WIDTH + CELL_WIDTH // 2
        yield f"<text class=\"bit-number\" x=\"{x}\" y=\"{TOP - 8}\" text-anchor=\"middle\">{7 - column}</text>\n"
    identifier = frame.properties.event_triggered_frame is not None
    for byte in range(rows):
        y = TOP + byte * CELL_HEIGHT
        yield (f"<text class=\"byte-number\" x=\"{LEFT - 10}\" y=\"{y + CELL_HEIGHT // 2 + 4}\" "
               f"text-anchor=\"end\">byte {byte}</text>\n")
        for column in range(8):
            kind = "cell identifier" if identifier and byte == 0 else "cell"
            yield (f"<rect class=\"{kind}\" data-bit=\"{byte * 8 + 7 - column}\" x=\"{LEFT + column * CELL_WIDTH}\" "
                   f"y=\"{y}\" width=\"{CELL_WIDTH}\" height=\"{CELL_HEIGHT}\"/>\n")
    taken: dict[int, int] = {}
    for s, signal in enumerate(frame.signals):
        first = signal.properties.offset
        last = first + signal.properties.size - 1
        runs = list(segments(first, last, rows * 8))
        for byte, low, high in runs:
            for bit in range(low, high + 1):
                taken[byte * 8 + bit] = taken.get(byte * 8 + bit, 0) + 1
        if not runs:
            continue
        colour = COLOURS[s % len(COLOURS)]
        widest = max(runs, key=lambda run: run[2] - run[1])
        for byte, low, high in runs:
            x = LEFT + (7 - high) * CELL_WIDTH + 3
            y = TOP + byte * CELL_HEIGHT + 3
            span_width = (high - low + 1) * CELL_WIDTH - 6
            yield (f"<rect class=\"span\" data-signal=\"{s}\" x=\"{x}\" y=\"{y}\" width=\"{span_width}\" "
                   f"height=\"{CELL_HEIGHT - 6}\" rx=\"4\" fill=\"{colour}\"/>\n")
            if (byte, low, high) == widest:
                # A name shrinks to fit a narrow span (down to a size that
                # still reads), centred on it but never past the edges.
                size = max(7.0, min(12.0, (span_width - 4) / (0.6 * max(len(signal.name), 1))))
                half = 0.3 * size * len(signal.name) + 2
                centre = min(max(x + span_width / 2, half), width - half)
                yield (f"<text class=\"label\" data-signal=\"{s}\" x=\"{centre:g}\" "
                       f"y=\"{y + CELL_HEIGHT / 2 + 1:g}\" text-anchor=\"middle\" "
                       f"style=\"font-size:{size:.1f}px\">{escape(signal.name)}</text>\n")
    if identifier and not any(bit < 8 for bit in taken):
        yield (f"<text class=\"bit-number\" x=\"{LEFT + 4 * CELL_WIDTH}\" y=\"{TOP + CELL_HEIGHT // 2 + 4}\" "
               f"text-anchor=\"middle\">protected identifier</text>\n")
    for bit, count in sorted(taken.items()):
        if count > 1 or (identifier and bit < 8):
            column = 7 - bit % 8
            yield (f"<rect class=\"overlap\" x=\"{LEFT + column * CELL_WIDTH}\" y=\"{TOP + bit // 8 * CELL_HEIGHT}\" "
                   f"width=\"{CELL_WIDTH}\" height=\"{CELL_HEIGHT}\"/>\n")
    yield "</svg>\n"


def page_of(path: str, lenient: bool, recover: bool) -> tuple[str, bool]:
    """The page of one file, and whether the file has errors."""
    name, content = read_source(path)
    parser = make_parser(name, content, lenient, recover)
    ncf_file = parser.parse()
    syntax = parser.get_diagnostics()
    diagnostics = syntax + tolvane.validate(ncf_file, syntax)
    errors = any(d.severity == tolvane.Diagnostic.Error for d in diagnostics)
    return Page(name, ncf_file, diagnostics).html(), errors


def run_html(args: Parsed) -> int:
    lenient = lenient_of(args, settings_of(args))
    to_stdout = args.output in (None, "-")
    if to_stdout and len(args.files) != 1:
        raise UsageError("tolvane: html: one FILE to write to standard output (or -o DIR)")
    errors = False
    for path in args.files:
        page, has_errors = page_of(path, lenient, not args.no_recovery)
        errors = errors or has_errors
        if to_stdout:
            sys.stdout.flush()
            sys.stdout.buffer.write(page.encode("utf-8"))
        else:
            os.makedirs(args.output, exist_ok=True)
            stem = os.path.splitext(os.path.basename(path))[0] or "stdin"
            write_output(os.path.join(args.output, stem + ".html"), page.encode("utf-8"))
    return EXIT_DIAGNOSTICS if errors else EXIT_CLEAN


COMMANDS = (
    Command(
        "html",
        help="write each file's datasheet as a self-contained web page",
        description="Write a web page for each FILE: its diagnostics (syntax and rules) at the top, each "
        "linking to the signal, frame or node it concerns; each node's identity, bit rate, NADs and "
        "diagnostic settings; each frame's layout as a grid of its bits with the signals as coloured, "
        "labelled spans, and a table of its signals; the encodings as tables. One file of HTML with inline "
        "CSS and SVG: no scripts, nothing fetched. With -o DIR, DIR/NAME.html for each FILE; otherwise the "
        "page of the one FILE goes to standard output.",
        epilog="Exit status: 0 written, 1 written but a file has errors, 2 usage error, wrong settings or a "
        "file that cannot be read.",
        arguments=[
            Argument("files", nargs="+", metavar="FILE", help='an NCF file, or "-" for standard input'),
            Argument("-o", "--output", metavar="DIR", help='the folder to write the pages to ("-": standard output)'),
            lenient_argument(),
            recovery_argument(),
            *settings_arguments(),
        ],
        run=run_html,
    ),
)
