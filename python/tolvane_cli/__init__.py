"""The tolvane command: check, show, export, trace and format NCF files; draw, decode and encode frames.

    tolvane check PATH...   parse and validate files, and every *.ncf below
                            folders; diagnostics as
                            FILE:LINE:COLUMN: SEVERITY: MESSAGE [CODE]
                            (--select, --ignore, --werror, --syntax-only,
                            --format text|json|sarif|github, --statistics,
                            --jobs; settings from [tool.tolvane] in
                            pyproject.toml or from tolvane.toml)
    tolvane show FILE       the parsed tree, every field, indented
    tolvane json FILE       the parsed tree and the diagnostics as JSON
    tolvane trace FILE      the parser's trace of grammar rules, then the diagnostics
    tolvane fmt PATH...     the canonical NCF text (--in-place, --check, --from-json)
    tolvane dump FILE       each frame's layout drawn: which bits each signal takes
    tolvane html FILE...    each file's datasheet as a self-contained web page (-o DIR)
    tolvane generate-c FILE C code that packs and unpacks a node's frames (-o DIR)
    tolvane decode FILE FRAME HEX...        a frame's data bytes, signal by signal
    tolvane encode FILE FRAME NAME=VALUE... signal values to a frame's data bytes

A FILE of "-" reads standard input. Also runs as `python3.14 -m tolvane_cli`.
Each command lives in a module of its own (check, tree, fmt, dump, html, generate_c, codec), which
declares its arguments; commandline builds the command line from them.
to_dict() here is tolvane.to_dict(), kept under this name for callers that
import it from here.
"""

from __future__ import annotations

import tolvane
from tolvane_cli.commandline import main
from tolvane_cli.shared import format_diagnostic

__all__ = ["format_diagnostic", "main", "to_dict"]

to_dict = tolvane.to_dict
