#!/usr/bin/env python3
"""The validator from Python on trees of a million signals, against the
parse of the same text:

- clean:      125 000 frames of eight 8-bit signals each, no finding about
              a signal;
- one frame:  a million 1-bit signals in one 8-byte frame, 999 936 of
              which lie outside it (20 findings and one that counts the rest);
- pairs:      200 000 1-bit signals on the 64 bits of one frame, about 12.7
              million overlapping pairs (20 findings and one that counts
              the rest): a hostile file's cost, which stays below five
              times its parse.

    PYTHONPATH=BUILD python3.14 bench/validate_bench.py [--repeats N]
    PYTHONPATH=BUILD python3.14 bench/validate_bench.py --smoke

Each figure is the median over the repeats of the thread's CPU time of one
call, with the cyclic garbage collector off; validate/parse is the ratio of
the two medians. --smoke builds smaller trees, runs each once and exits
non-zero on any error; its figures mean nothing.
"""

import argparse
import gc
import statistics
import time

import tolvane

HEADER = """node_capability_file;
LIN_language_version = "2.2";
node n {
  general { LIN_protocol_version = "2.2"; supplier = 1; function = 1; variant = 1; bitrate = 19.2 kbps; }
  diagnostic { NAD = 1; diagnostic_class = 1; }
"""
FOOTER = "  status_management { response_error = s0; }\n}\n"


def clean(signals):
    frames = "".join(
        f"publish f{i} {{ length = 8; signals {{ "
        + " ".join(f"s{8 * i + k} {{ size = 8; offset = {8 * k}; init_value = 0; }}" for k in range(8))
        + " } }\n"
        for i in range(signals // 8)
    )
    return HEADER + "  frames {\n" + frames + "  }\n" + FOOTER


def one_frame(signals):
    body = "".join(f"s{i} {{ size = 1; offset = {i}; init_value = 0; }}\n" for i in range(signals))
    return HEADER + "  frames { publish f { length = 8; signals {\n" + body + "} } }\n" + FOOTER


def pairs(signals):
    count = signals // 5
    body = "".join(f"s{i} {{ size = 1; offset = {i % 64}; init_value = 0; }}\n" for i in range(count))
    return HEADER + "  frames { publish f { length = 8; signals {\n" + body + "} } }\n" + FOOTER


def cpu_time(call):
    start = time.thread_time()
    result = call()
    return time.thread_time() - start, result


def measure(text, repeats):
    parses, validations = [], []
    for _ in range(repeats):
        parse_time, ncf = cpu_time(lambda: tolvane.NcfParser("bench.ncf", text).parse())
        validate_time, found = cpu_time(lambda: tolvane.validate(ncf))
        parses.append(parse_time)
        validations.append(validate_time)
        del ncf, found
    return statistics.median(parses), statistics.median(validations)


def main():
    arguments = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    arguments.add_argument("--repeats", type=int, default=5)
    arguments.add_argument("--smoke", action="store_true")
    options = arguments.parse_args()
    signals, repeats = (8_000, 1) if options.smoke else (1_000_000, options.repeats)
    gc.disable()
    print(f"{'tree':<10} {'parse':>10} {'validate':>10} {'validate/parse':>15}")
    for name, make in (("clean", clean), ("one frame", one_frame), ("pairs", pairs)):
        parse, validate = measure(make(signals), repeats)
        print(f"{name:<10} {parse * 1e3:>8.1f}ms {validate * 1e3:>8.1f}ms {validate / parse:>15.2f}")


if __name__ == "__main__":
    main()
