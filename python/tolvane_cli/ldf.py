"""`tolvane ldf`: the LIN description file of a cluster, from the node
capability files of its nodes and the cluster's settings (a TOML file and
options)."""

from __future__ import annotations

import sys

import tolvane
from tolvane_cli.commandline import Argument, Command
from tolvane_cli.settings import toml_type
from tolvane_cli.shared import (
    EXIT_CLEAN,
    EXIT_DIAGNOSTICS,
    UsageError,
    complain,
    format_diagnostic,
    lenient_argument,
    lenient_of,
    make_parser,
    read_source,
    settings_arguments,
    settings_of,
    write_output,
)

TYPE_CHECKING = False
if TYPE_CHECKING:
    from tolvane_cli.commandline import Parsed

# The keys of the cluster's TOML file, table by table, with the type each
# value has: the [cluster] table's values, and two tables of names to ints.
CLUSTER_KEYS: dict[str, type | tuple[type, ...]] = {
    "master": str,
    "time_base": (int, float),
    "jitter": (int, float),
    "bitrate": (int, float),
    "protocol_version": str,
    "language_version": str,
    "channel": str,
}
TABLES = ("cluster", "frame_ids", "nads")
# The options that override the file, by the key they set.
OPTION_KEYS = {"master": "master", "time_base": "time_base", "jitter": "jitter", "bitrate": "bitrate"}


class ClusterSettingsError(UsageError):
    """A cluster file that cannot be read or holds a wrong key or value."""


def _expected(types: type | tuple[type, ...]) -> str:
    return "a string" if types is str else "a number"


def read_cluster_file(path: str) -> dict[str, object]:
    """The settings of the cluster file at `path`, as tolvane.ldf() takes them."""
    import tomllib

    try:
        with open(path, "rb") as stream:
            document = tomllib.loads(stream.read().decode("utf-8"))
    except OSError as error:
        raise ClusterSettingsError(f"tolvane: cannot read {path}: {error.strerror or error}") from None
    except (UnicodeDecodeError, tomllib.TOMLDecodeError) as error:
        raise ClusterSettingsError(f"tolvane: {path}: not valid TOML: {error}") from None
    settings: dict[str, object] = {}
    for table, value in document.items():
        if table not in TABLES:
            raise ClusterSettingsError(f"tolvane: {path}: unknown table [{table}] (the tables: "
                                       f"{', '.join(f'[{name}]' for name in TABLES)})")
        if not isinstance(value, dict):
            raise ClusterSettingsError(f"tolvane: {path}: {table}: expected a table, not {toml_type(value)}")
        if table == "cluster":
            for key, item in value.items():
                if key not in CLUSTER_KEYS:
                    raise ClusterSettingsError(f"tolvane: {path}: [cluster] unknown key {key!r} (the keys: "
                                               f"{', '.join(CLUSTER_KEYS)})")
                types = CLUSTER_KEYS[key]
                if isinstance(item, bool) or not isinstance(item, types):
                    raise ClusterSettingsError(f"tolvane: {path}: [cluster] {key}: expected {_expected(types)}, not "
                                               f"{toml_type(item)}")
                settings[key] = item
        else:
            for name, number in value.items():
                if isinstance(number, bool) or not isinstance(number, int):
                    raise ClusterSettingsError(f"tolvane: {path}: [{table}] {name}: expected an integer, not "
                                               f"{toml_type(number)}")
            settings[table] = dict(value)
    return settings


def cluster_settings(args: Parsed) -> dict[str, object]:
    """The settings of --cluster, with the options over them."""
    settings: dict[str, object] = read_cluster_file(args.cluster) if args.cluster else {}
    for option, key in OPTION_KEYS.items():
        value = getattr(args, option)
        if value is not None:
            settings[key] = value
    settings["source"] = args.cluster or "<options>"
    return settings


def run_ldf(args: Parsed) -> int:
    lenient = lenient_of(args, settings_of(args))
    settings = cluster_settings(args)
    inputs = []
    for path in args.files:
        name, content = read_source(path)
        parser = make_parser(name, content, lenient)
        inputs.append((parser.parse(), parser.get_diagnostics()))
    try:
        text, diagnostics = tolvane.ldf(inputs, settings)
    except (TypeError, ValueError) as error:
        raise UsageError(f"tolvane: {settings['source']}: {error}") from None
    for diagnostic in diagnostics:
        complain(format_diagnostic(diagnostic))
    if text is None:
        complain("tolvane: no LDF written: the errors above stop it")
        return EXIT_DIAGNOSTICS
    if args.output in (None, "-"):
        sys.stdout.flush()
        sys.stdout.buffer.write(text)
    else:
        try:
            write_output(args.output, text)
        except OSError as error:
            complain(f"tolvane: cannot write {args.output}: {error.strerror or error}")
            return EXIT_DIAGNOSTICS
    return EXIT_CLEAN


def _number(text: str) -> float:
    return float(text)


COMMANDS = (
    Command(
        "ldf",
        help="write the LIN description file of a cluster of nodes",
        description="Write the LIN description file (LDF) of the cluster whose nodes FILE... describe: every node a "
        "slave but the master. What only the cluster knows comes from --cluster, a TOML file with a [cluster] "
        "table (master, time_base, jitter, bitrate, protocol_version, language_version, channel) and the tables "
        "[frame_ids] and [nads] (names to pinned identifiers and configured NADs), and from the options, which "
        "override it. The diagnostics go to standard error: each file's own, then the cluster's rules "
        "(cluster-...), each at the place to edit.",
        epilog="An error of the cluster's rules, a syntax error, or an error of a node's own rules about what the "
        "LDF carries stops the LDF; other findings are reported and it is written. Exit status: 0 written, "
        "1 stopped by errors or cannot be written, 2 usage error, wrong settings or a file that cannot be read.",
        arguments=[
            Argument("files", nargs="+", metavar="FILE", help='an NCF file, or "-" for standard input'),
            Argument("--cluster", metavar="TOML", help="the cluster's settings"),
            Argument("--master", metavar="NAME",
                     help="the master: an input node (its frames are then the master's) or a name of its own"),
            Argument("--time-base", type=_number, metavar="MS", help="the master's time base (default 5 ms)"),
            Argument("--jitter", type=_number, metavar="MS", help="the master's jitter (default 0.1 ms)"),
            Argument("--bitrate", type=_number, metavar="KBPS",
                     help="the cluster's bit rate (default: the fastest every node takes)"),
            Argument("-o", "--output", metavar="FILE", help="write the LDF to FILE (default: standard output)"),
            lenient_argument(),
            *settings_arguments(),
        ],
        run=run_ldf,
    ),
)
