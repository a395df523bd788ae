#!/usr/bin/env python3
"""Formatting with comments against formatting without: format_text() of a
canonical text of about 10 MB (bench/gen_ncf.py, multi shape, through
dumps()), and of the same text with a comment on every line (every other
line a short "//" comment at its end, the others a short "/* */" comment on
a line of its own before it), by the call and by the megabyte.

    PYTHONPATH=BUILD python3.14 bench/format_bench.py [--size 10M] [--repeats N]
    PYTHONPATH=BUILD python3.14 bench/format_bench.py --smoke

Each figure is the median over the repeats of the thread's CPU time of one
format_text() call. --smoke formats a small text once and exits non-zero
when a comment is lost; its figures mean nothing.
"""

import argparse
import pathlib
import statistics
import sys
import time

import tolvane

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from gen_ncf import generate, parse_size  # noqa: E402


def with_a_comment_on_every_line(text: bytes) -> bytes:
    lines = text.split(b"\n")
    out = []
    for number, line in enumerate(lines[:-1]):
        if number % 2:
            out.append(line + b" // n%d" % number)
        else:
            indent = line[: len(line) - len(line.lstrip(b" "))]
            out.append(indent + b"/* n%d */" % number)
            out.append(line)
    return b"\n".join(out) + b"\n"


def cpu_time(run) -> float:
    start = time.thread_time()
    run()
    return time.thread_time() - start


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--size", type=parse_size, default=parse_size("10M"))
    parser.add_argument("--repeats", type=int, default=7)
    parser.add_argument("--smoke", action="store_true")
    args = parser.parse_args(argv)
    size, repeats = (parse_size("2K"), 1) if args.smoke else (args.size, args.repeats)
    plain = tolvane.dumps(tolvane.NcfParser("bench.ncf", generate("multi", size).text).parse())
    commented = with_a_comment_on_every_line(plain)
    lines = plain.count(b"\n")
    formatted = tolvane.format_text(commented)
    kept = formatted.count(b"/* n") + formatted.count(b"// n")
    if kept != lines or tolvane.format_text(plain) != plain:
        print(f"format_bench: {lines} comments given, {kept} kept", file=sys.stderr)
        return 1
    figures = {}
    for name, text in (("without comments", plain), ("with a comment on every line", commented)):
        figures[name] = statistics.median(cpu_time(lambda: tolvane.format_text(text)) for _ in range(repeats))
    base = figures["without comments"]
    print(f"{len(plain) / 2**20:.1f} MB canonical text, {lines} lines; median of {repeats} (thread CPU time)")
    print("| format_text() of | MB | ms | × without | ms per MB | × without |")
    print("|---|---:|---:|---:|---:|---:|")
    for (name, seconds), text in zip(figures.items(), (plain, commented)):
        per_mb = seconds * 1e3 / (len(text) / 2**20)
        base_per_mb = base * 1e3 / (len(plain) / 2**20)
        print(f"| {name} | {len(text) / 2**20:.1f} | {seconds * 1e3:.1f} | {seconds / base:.2f} "
              f"| {per_mb:.1f} | {per_mb / base_per_mb:.2f} |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
