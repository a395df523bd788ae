"""Parse NCF files and print every field of the parsed tree, then the
diagnostics as file:line:column: error: message."""

import sys

import tolvane


def record_fields(record):
    """The names of a record's properties, in field order."""
    return [name for name, value in vars(type(record)).items() if isinstance(value, property)]


def is_record(value):
    return type(value).__module__ == "tolvane" and not isinstance(value, tolvane.Diagnostic.Severity)


def show(value, indent=0, label=""):
    pad = "  " * indent
    if is_record(value):
        print(f"{pad}{label}{type(value).__name__}")
        for name in record_fields(value):
            show(getattr(value, name), indent + 1, f"{name}: ")
    elif isinstance(value, list) and any(is_record(item) for item in value):
        print(f"{pad}{label}[{len(value)}]")
        for item in value:
            show(item, indent + 1, "- ")
    else:
        print(f"{pad}{label}{value!r}")


def main(paths):
    for path in paths:
        parser = tolvane.NcfParser(path)
        show(parser.parse())
        for d in parser.get_diagnostics():
            print(f"{d.file}:{d.line}:{d.column}: error: {d.message}")
        print()


if __name__ == "__main__":
    main(sys.argv[1:])
