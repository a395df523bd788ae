"""`tolvane generate-c`: C code for a node's firmware, from its frames."""

from __future__ import annotations

import os

import tolvane
from tolvane_cli.commandline import Argument, Command
from tolvane_cli.shared import (
    EXIT_CLEAN,
    EXIT_DIAGNOSTICS,
    complain,
    format_diagnostic,
    lenient_argument,
    lenient_of,
    make_parser,
    read_source,
    settings_arguments,
    settings_of,
    syntax_errors,
    write_output,
)

TYPE_CHECKING = False
if TYPE_CHECKING:
    from tolvane_cli.commandline import Parsed


def chosen_node(ncf_file: tolvane.NcfFile, name: str | None) -> tolvane.NcfNodeDef | str:
    """The node to generate, or why there is none."""
    if name is not None:
        found = [node for node in ncf_file.nodes if node.name == name]
        return found[0] if found else f"no node {name!r}"
    if len(ncf_file.nodes) == 1:
        return ncf_file.nodes[0]
    names = ", ".join(repr(node.name) for node in ncf_file.nodes) or "none"
    return f"{len(ncf_file.nodes)} nodes ({names}): choose one with --node"


def run_generate_c(args: Parsed) -> int:
    lenient = lenient_of(args, settings_of(args))
    name, content = read_source(args.file)
    parser = make_parser(name, content, lenient)
    ncf_file = parser.parse()
    errors = syntax_errors(parser)
    if errors:  # code from a tree the file does not say would be wrong code
        for error in errors:
            complain(format_diagnostic(error))
        complain(f"tolvane: {name}: no code generated: it has syntax errors")
        return EXIT_DIAGNOSTICS
    node = chosen_node(ncf_file, args.node)
    if isinstance(node, str):
        complain(f"tolvane: {name}: {node}")
        return EXIT_DIAGNOSTICS
    try:
        header_name, header, source_name, source = tolvane.generate_c(
            node, args.prefix, floating_point=not args.no_floating_point, unused_bits=args.unused_bits,
            source=os.path.basename(name))
    except ValueError as error:  # CodecError is a ValueError too
        complain(f"tolvane: {name}: node {node.name}: {error}")
        return EXIT_DIAGNOSTICS
    os.makedirs(args.output, exist_ok=True)
    for file_name, text in ((header_name, header), (source_name, source)):
        write_output(os.path.join(args.output, file_name), text.encode("utf-8"))
    return EXIT_CLEAN


COMMANDS = (
    Command(
        "generate-c",
        help="write C code that packs and unpacks a node's frames",
        description="Write DIR/P.h and DIR/P.c for one node of FILE (the only one, or --node): for each "
        "frame its length, a struct of its signals' raw values, and P_F_pack, P_F_unpack and P_F_init, which "
        "agree with tolvane.pack() and unpack(); for each scalar signal P_F_S_is_in_range, and with a "
        "physical encoding P_F_S_decode and P_F_S_encode (a value no physical line takes encodes to the "
        "initial value); for each logical value #define P_F_S_TEXT_CHOICE. C99, no dynamic memory, no global "
        "state; <math.h> only for the physical conversions (link with -lm there). A frame the codec refuses "
        "is an error, and nothing is written.",
        epilog="Exit status: 0 written, 1 the file has syntax errors, the node cannot be chosen or a frame "
        "is refused, 2 usage error, wrong settings or a file that cannot be read.",
        arguments=[
            Argument("file", metavar="FILE", help='an NCF file, or "-" for standard input'),
            Argument("--node", metavar="NAME", help="the node (needed when the file has more than one)"),
            Argument("--prefix", metavar="P", help="the start of every name, and the files' name (default: "
                     "the node's name)"),
            Argument("-o", "--output", metavar="DIR", default=".", help="the folder to write to (default: .)"),
            Argument("--no-floating-point", action="store_true",
                     help="leave out the physical conversions, which use double"),
            Argument("--unused-bits", type=int, choices=(0, 1), default=0,
                     help="the value of the bits no signal uses (default: 0)"),
            lenient_argument(),
            *settings_arguments(),
        ],
        run=run_generate_c,
    ),
)
