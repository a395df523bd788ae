"""`tolvane lsp`: a language server for NCF files over standard input and
output. The server itself (server.py, on pygls) is imported only when the
command runs, and only when the optional extra is installed."""

from __future__ import annotations

from tolvane_cli.commandline import Argument, Command
from tolvane_cli.shared import (
    EXIT_TROUBLE,
    complain,
    lenient_argument,
    refuse_config_with_isolated,
    settings_arguments,
)

TYPE_CHECKING = False
if TYPE_CHECKING:
    from tolvane_cli.commandline import Parsed

MISSING_EXTRA = "tolvane lsp needs the extra 'lsp' (pygls): pip install 'tolvane[lsp]'"


def run_lsp(args: Parsed) -> int:
    refuse_config_with_isolated(args)  # the settings themselves are read per document
    try:
        import pygls  # noqa: F401
    except ImportError:
        complain(f"tolvane: {MISSING_EXTRA}")
        return EXIT_TROUBLE
    from tolvane_cli.lsp.server import ServerOptions, serve

    return serve(ServerOptions(lenient=args.lenient, config=args.config, isolated=args.isolated))


COMMANDS = (
    Command(
        "lsp",
        help="serve editors as a language server (stdin and stdout)",
        description="Serve the Language Server Protocol over standard input and output, for editors: "
        "diagnostics as you type (the settings of the nearest tolvane.toml or pyproject.toml above each "
        "file: select, ignore, per-file-ignores, lenient), document symbols, hover, go to definition, find "
        "references, completion, formatting and quick fixes. Needs the extra 'lsp': "
        "pip install 'tolvane[lsp]'.",
        epilog="Exit status: 0 after the client's shutdown and exit, 1 when the client exits without "
        "shutdown, 2 usage error or the extra 'lsp' is not installed.",
        arguments=[
            Argument("--stdio", action="store_true",
                     help="talk over standard input and output (the only way, accepted for the clients "
                     "that pass it)"),
            lenient_argument(),
            *settings_arguments(),
        ],
        run=run_lsp,
    ),
)
