"""A clean node to put one fault into, and the check of what the validator
says about it.

A fault's text carries a mark, », before each token a finding must point at;
the mark is taken out before parsing, so the expected line and column are
where the mark stood. Two findings at one place take two marks."""

import tolvane

MARK = "»"

HEADER = 'node_capability_file;\nLIN_language_version = "2.2";\n'
GENERAL = """\
    general {
        LIN_protocol_version = "2.2";
        supplier = 0x0042;
        function = 0x0010;
        variant = 1;
        bitrate = 19.2 kbps;
        sends_wake_up_signal = "no";
    }
"""
DIAGNOSTIC = """\
    diagnostic {
        NAD = 0x10;
        diagnostic_class = 2;
        support_sid { 0xB2, 0xB7 };
    }
"""
FRAMES = """\
    frames {
        publish status {
            length = 2;
            signals {
                error_bit { init_value = 0; size = 1; offset = 0; }
                position { init_value = 0; size = 8; offset = 8; position_encoding; }
            }
        }
    }
"""
ENCODING = """\
    encoding {
        position_encoding {
            physical_value, 0, 200, 0.5, 0, "degrees";
        }
    }
"""
STATUS = """\
    status_management {
        response_error = error_bit;
    }
"""


def node(name="door", *, general=GENERAL, diagnostic=DIAGNOSTIC, frames=FRAMES, encoding=ENCODING, status=STATUS):
    """One node whose sections are the given texts (each a clean one unless given)."""
    return f"node {name} {{\n{general}{diagnostic}{frames}{encoding}{status}}}\n"


def node_file(*nodes, header=HEADER, **sections):
    """A file of the given node texts, or of one node made of `sections`."""
    return header + "".join(nodes or [node(**sections)])


def frames_of(*frames):
    return "    frames {\n" + "".join(frames) + "    }\n"


def published(name, signals, length=2, extra=""):
    """A publish frame of `length` bytes with the given signal lines."""
    return (f"        publish {name} {{\n            length = {length};\n{extra}"
            f"            signals {{\n{signals}            }}\n        }}\n")


def signal(name, size=1, offset=0, init="0", encoding=None):
    statements = f"init_value = {init}; size = {size}; offset = {offset};"
    if encoding:
        statements += f" {encoding};"
    return f"                {name} {{ {statements} }}\n"


def encodings_of(*entries):
    return "    encoding {\n" + "".join(f"        {entry}\n" for entry in entries) + "    }\n"


def unmarked(text):
    """The text without its marks, and the (line, column) of each mark in
    order; columns count bytes, as the parser's do."""
    places = []
    lines = []
    for number, line in enumerate(text.split("\n"), start=1):
        while MARK in line:
            index = line.index(MARK)
            places.append((number, len(line[:index].encode()) + 1))
            line = line[:index] + line[index + 1 :]
        lines.append(line)
    return "\n".join(lines), places


def findings(text, filename="rules.ncf"):
    """Every diagnostic tolvane.check() gives for `text`, as
    (line, column, severity, code, message)."""
    _, diagnostics = tolvane.check(filename, text)
    return [(d.line, d.column, d.severity.name, d.code, d.message) for d in diagnostics]


def assert_findings(text, expected):
    """Checks that the marked `text` gives exactly the `expected` findings,
    (severity, code, message) each, at its marks in order. With no finding
    expected, the marks say only where a fault would be reported."""
    source, places = unmarked(text)
    assert len(places) == len(expected) or not expected, "one mark per expected finding"
    assert findings(source) == [(line, column, *finding) for (line, column), finding in zip(places, expected)]


def E(code, message):
    return ("Error", code, message)


def W(code, message):
    return ("Warning", code, message)


def I(code, message):
    return ("Info", code, message)
