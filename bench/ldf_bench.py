#!/usr/bin/env python3
"""The LDF of a cluster of 16 slaves of 8 frames each (3 published, 5
subscribed from their neighbours; 48 frames, 4 signals each, half of them
through an encoding) against parsing the 16 files:

- parse:          NcfParser(name, text).parse() of every file;
- ldf of trees:   tolvane.ldf() of the parsed files with their diagnostics:
                  the nodes' own rules, the cluster's, the choices, the
                  schedule and the text;
- ldf of files:   tolvane.ldf() of the 16 file names: reading and parsing
                  them too.

    PYTHONPATH=BUILD python3.14 bench/ldf_bench.py [--repeats N]
    PYTHONPATH=BUILD python3.14 bench/ldf_bench.py --smoke

Each figure is the median over the repeats of the thread's CPU time of one
run over the whole cluster. --smoke runs each once and exits non-zero when
the LDF is not written; its figures mean nothing.
"""

import argparse
import pathlib
import statistics
import tempfile
import time

import tolvane

SLAVES = 16
PUBLISHED = 3
SUBSCRIBED = 5


def frame(kind, node, index):
    name = f"n{node}_f{index}"
    # The first signal of each node's first frame is its 1-bit response error signal.
    signals = " ".join(
        f"{name}_s{k} {{ size = {1 if index == 0 and k == 0 else 4}; init_value = 0; offset = {4 * k};"
        f"{f' {name}_e;' if k % 2 else ''} }}"
        for k in range(4))
    return f"    {kind} {name} {{ length = 2; max_period = 500 ms; signals {{ {signals} }} }}\n"


def encodings_of(node, index):
    return f'    n{node}_f{index}_e {{ logical_value, 0, "off"; physical_value, 1, 15, 0.5, -2, "V"; }}\n'


def node_text(node):
    frames = "".join(frame("publish", node, i) for i in range(PUBLISHED))
    encodings = "".join(encodings_of(node, i) for i in range(PUBLISHED))
    for step in range(SUBSCRIBED):
        other = (node + 1 + step // PUBLISHED) % SLAVES
        index = step % PUBLISHED
        frames += frame("subscribe", other, index)
        encodings += encodings_of(other, index)
    first = f"n{node}_f0_s0"
    return (
        'node_capability_file;\nLIN_language_version = "2.2";\n'
        f"node n{node} {{\n"
        '  general { LIN_protocol_version = "2.2"; supplier = 0x0001; function = 0x0002; variant = 1; '
        "bitrate = automatic min 10 kbps max 20 kbps; }\n"
        f"  diagnostic {{ NAD = 0x{node + 1:02X}; diagnostic_class = 2; support_sid {{ 0xB2, 0xB7 }}; }}\n"
        f"  frames {{\n{frames}  }}\n  encoding {{\n{encodings}  }}\n"
        f"  status_management {{ response_error = {first}; }}\n}}\n"
    )


def cpu_time(call):
    start = time.thread_time()
    result = call()
    return time.thread_time() - start, result


def main():
    options = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    options.add_argument("--repeats", type=int, default=30)
    options.add_argument("--smoke", action="store_true")
    args = options.parse_args()
    repeats = 1 if args.smoke else args.repeats
    texts = [node_text(node) for node in range(SLAVES)]
    settings = {"master": "Gateway"}
    with tempfile.TemporaryDirectory() as folder:
        paths = []
        for node, text in enumerate(texts):
            path = pathlib.Path(folder, f"n{node}.ncf")
            path.write_text(text)
            paths.append(str(path))

        def parse_all():
            files = []
            for node, text in enumerate(texts):
                parser = tolvane.NcfParser(f"n{node}.ncf", text)
                files.append((parser.parse(), parser.get_diagnostics()))
            return files

        files = parse_all()
        text, diagnostics = tolvane.ldf(files, settings)
        if text is None or diagnostics:
            raise SystemExit(f"ldf_bench: the cluster's LDF is not clean: {diagnostics[:3]}")
        times = {"parse": [], "ldf of trees": [], "ldf of files": []}
        for _ in range(repeats):
            times["parse"].append(cpu_time(parse_all)[0])
            times["ldf of trees"].append(cpu_time(lambda: tolvane.ldf(files, settings))[0])
            times["ldf of files"].append(cpu_time(lambda: tolvane.ldf(paths, settings))[0])
    parse = statistics.median(times["parse"])
    print(f"{'run':<14} {'ms':>8} {'× parse':>8}")
    for name, samples in times.items():
        median = statistics.median(samples)
        print(f"{name:<14} {median * 1e3:>8.3f} {median / parse:>8.2f}")
    print(f"the LDF: {len(text)} bytes, {text.count(b' delay ')} schedule slots")


if __name__ == "__main__":
    main()
