#!/usr/bin/env python3
"""Time per call of the codec from Python, on an 8-byte frame of 8
byte-sized signals: half of them through a physical encoding with a logical
line, half through a logical one with a physical line.

- pack / unpack:     raw values to the data bytes and back;
- encode / decode:   through the node's encodings (decode makes a
                     DecodedSignal per signal), the frame given as its record;
- decode by name:    the frame given by its name;
- call floor:        tolvane.protected_id(1), the cost of any call into the
                     module, for the ratios.

    PYTHONPATH=BUILD python3.14 bench/codec_bench.py [--repeats N] [--calls N]
    PYTHONPATH=BUILD python3.14 bench/codec_bench.py --smoke

Each figure is the median over the repeats of the thread's CPU time of
`calls` calls, divided by `calls`, with the cyclic garbage collector off;
the repeats of the jobs are interleaved, so that a busy moment of the
machine spreads over all of them. --smoke runs each job a few times and
exits non-zero on any error; its figures mean nothing.
"""

import argparse
import gc
import statistics
import time

import tolvane

SIGNALS = "".join(f"s{i} {{ size = 8; init_value = 0; offset = {8 * i}; e{i % 2}; }}\n" for i in range(8))
TEXT = f"""node_capability_file;
LIN_language_version = "2.2";
node bench {{
  general {{ LIN_protocol_version = "2.2"; supplier = 1; function = 1; variant = 1; bitrate = 19.2 kbps;
            sends_wake_up_signal = "no"; }}
  diagnostic {{ NAD = 1; }}
  frames {{ publish f {{ length = 8; signals {{ {SIGNALS} }} }} }}
  encoding {{
    e0 {{ physical_value, 0, 250, 0.5, -40, "C"; logical_value, 255, "error"; }}
    e1 {{ logical_value, 0, "off"; logical_value, 1, "on"; physical_value, 2, 254, 1, 0; }}
  }}
  status_management {{ response_error = s0; }}
}}
"""


def jobs():
    parser = tolvane.NcfParser("bench.ncf", TEXT)
    node = parser.parse().nodes[0]
    if parser.get_diagnostics():
        raise SystemExit(f"codec_bench: the frame does not parse cleanly: {parser.get_diagnostics()}")
    frame = node.frames[0]
    data = bytes([1, 1, 60, 0, 255, 200, 7, 254])
    raw = tolvane.unpack(frame, data)
    values = {name: signal.value for name, signal in tolvane.decode(node, frame, data).items()}
    if tolvane.encode(node, frame, values) != data or tolvane.pack(frame, raw) != data:
        raise SystemExit("codec_bench: encoding what was decoded gives other bytes")
    return {
        "call floor": lambda: tolvane.protected_id(1),
        "pack": lambda: tolvane.pack(frame, raw),
        "unpack": lambda: tolvane.unpack(frame, data),
        "encode": lambda: tolvane.encode(node, frame, values),
        "decode": lambda: tolvane.decode(node, frame, data),
        "decode by name": lambda: tolvane.decode(node, "f", data),
    }


def per_call(job, calls):
    start = time.thread_time_ns()
    for _ in range(calls):
        job()
    return (time.thread_time_ns() - start) / calls


def main():
    options = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    options.add_argument("--repeats", type=int, default=15)
    options.add_argument("--calls", type=int, default=50_000)
    options.add_argument("--smoke", action="store_true")
    args = options.parse_args()
    repeats, calls = (2, 10) if args.smoke else (args.repeats, args.calls)

    measured = jobs()
    times = {name: [] for name in measured}
    gc.disable()
    for _ in range(repeats):
        for name, job in measured.items():
            times[name].append(per_call(job, calls))
    gc.enable()

    floor = statistics.median(times["call floor"])
    print(f"{'job':<16} {'µs per call':>12} {'× call floor':>13}")
    for name, samples in times.items():
        median = statistics.median(samples)
        print(f"{name:<16} {median / 1000:>12.2f} {median / floor:>13.1f}")


if __name__ == "__main__":
    main()
