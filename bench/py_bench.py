#!/usr/bin/env python3
"""Timing and memory of the tolvane module over generated inputs.

For each input (shapes multi and single, sizes 2K, 1M and 10M by default: the
same bytes as the C++ benchmark's inputs, from the same generator and seed):

- parse:     tolvane.NcfParser(content=text).parse(), the tree dropped at once
             (the work of the C++ benchmark's full parse, plus the binding);
- traverse:  every property of every record read once, on a parsed tree,
             and the same traversal of a copy of the tree made of plain
             Python objects with slots (the floor of any record view);
- repr:      repr() of the NcfFile;
- repr all:  repr() of every record in the tree.

Then the time per megabyte of the parse at 1M, 10M and 100M (linearity); the
peak resident memory of reading a 10M and a 100M input as bytes and parsing
it, above the baseline of the same fresh process with tolvane imported
(ru_maxrss, checked against Linux's VmHWM), with the CPU time of that first
parse; the cost of one property read by kind of property; and the module's
import time (median over fresh processes); then the whole jobs of
bench/py_jobs.py (to_dict, to_dict + json.dumps, a `tolvane json` process),
each against the parse of the same run.

    PYTHONPATH=BUILD:python python3.14 bench/py_bench.py [--cpp-json FILE] [--json OUT]
    PYTHONPATH=BUILD:python python3.14 bench/py_bench.py --smoke

Times are the CPU time of the thread, as Google Benchmark reports by default,
with the cyclic garbage collector off, median of the repeats. With --cpp-json
(the C++ benchmark's --benchmark_out in JSON) the table adds the C++ figures
and the ratios the targets are stated in. --smoke runs everything once on
tiny inputs, in seconds, and exits non-zero on any error; its figures mean
nothing.
"""

import argparse
import gc
import importlib.util
import json
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time

import tolvane

HERE = pathlib.Path(__file__).resolve().parent
_spec = importlib.util.spec_from_file_location("gen_ncf", HERE / "gen_ncf.py")
gen_ncf = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(gen_ncf)
_spec = importlib.util.spec_from_file_location("py_jobs", HERE / "py_jobs.py")
py_jobs = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(py_jobs)

MB = 1 << 20

# The names of every property of every record class, read from the classes
# themselves, so that a property added to the module is traversed too.
RECORD_PROPERTIES = {
    cls: tuple(name for name, member in vars(cls).items() if isinstance(member, property))
    for cls in vars(tolvane).values()
    if isinstance(cls, type) and cls.__name__.startswith("Ncf") and cls is not tolvane.NcfParser
}


# --- the measured operations ------------------------------------------------


def parse_and_drop(text):
    tolvane.NcfParser(content=text).parse()


def traverse(record):
    """Reads every property of `record` and of every record below it; returns
    the number of property reads."""
    reads = 0
    for name in RECORD_PROPERTIES[type(record)]:
        value = getattr(record, name)
        reads += 1
        if type(value) in RECORD_PROPERTIES:
            reads += traverse(value)
        elif type(value) is list:
            for item in value:
                if type(item) in RECORD_PROPERTIES:
                    reads += traverse(item)
    return reads


# For each record class, a plain class with one slot per property; the
# traversal reads both kinds alike.
PLAIN_CLASSES = {cls: type("Plain" + cls.__name__, (), {"__slots__": names})
                 for cls, names in RECORD_PROPERTIES.items()}
RECORD_PROPERTIES.update({plain: RECORD_PROPERTIES[cls] for cls, plain in PLAIN_CLASSES.items()})


def plain_copy(value):
    """The tree rebuilt from plain Python objects with slots: what the same
    traversal costs when every read is a plain attribute, the floor of any
    record view."""
    cls = type(value)
    if cls is list:
        return [plain_copy(item) for item in value]
    if cls not in PLAIN_CLASSES:
        return value
    copy = PLAIN_CLASSES[cls].__new__(PLAIN_CLASSES[cls])
    for name in RECORD_PROPERTIES[cls]:
        setattr(copy, name, plain_copy(getattr(value, name)))
    return copy


def records_of(record):
    """Every record of the tree below `record`, itself included."""
    found = [record]
    for name in RECORD_PROPERTIES[type(record)]:
        value = getattr(record, name)
        if type(value) in RECORD_PROPERTIES:
            found += records_of(value)
        elif type(value) is list:
            for item in value:
                if type(item) in RECORD_PROPERTIES:
                    found += records_of(item)
    return found


def repr_every_record(records):
    for record in records:
        repr(record)


# --- timing -----------------------------------------------------------------


# CPU time of this thread, as Google Benchmark measures by default: on a
# shared machine the wall clock also counts the time spent waiting for the
# core. It includes the kernel's work for this thread (page faults).
clock = time.thread_time


def timed(function, *args, repeats, min_seconds):
    """Median seconds per call over `repeats` samples. Each sample runs the
    call as often as it takes to last `min_seconds`; the calls that find that
    count are a warm-up and are not counted (so a large input is parsed once
    before it is timed, and its memory is already the process's own)."""
    loops = 1
    while True:
        start = clock()
        for _ in range(loops):
            function(*args)
        elapsed = clock() - start
        if elapsed >= min_seconds or loops >= 1 << 20:
            break
        loops *= 2 if elapsed == 0 else max(2, min(10, int(min_seconds / elapsed) + 1))
    samples = []
    for _ in range(repeats):
        start = clock()
        for _ in range(loops):
            function(*args)
        samples.append((clock() - start) / loops)
    return statistics.median(samples)


def without_gc(function):
    def wrapper(*args, **kwargs):
        enabled = gc.isenabled()
        gc.disable()
        try:
            return function(*args, **kwargs)
        finally:
            if enabled:
                gc.enable()

    return wrapper


@without_gc
def measure_input(shape, size_text, repeats, min_seconds):
    generated = gen_ncf.generate(shape, gen_ncf.parse_size(size_text))
    text = generated.text
    parser = tolvane.NcfParser(f"{shape}-{size_text}.ncf", text)
    ncf = parser.parse()
    diagnostics = parser.get_diagnostics()
    if diagnostics:
        raise SystemExit(f"{shape}-{size_text}: the input gives {len(diagnostics)} diagnostics: {diagnostics[0]}")
    if len(ncf.nodes) != len(generated.node_names):
        raise SystemExit(f"{shape}-{size_text}: {len(ncf.nodes)} nodes parsed, {len(generated.node_names)} written")
    records = records_of(ncf)
    return {
        "shape": shape,
        "size": size_text,
        "bytes": len(text),
        "records": len(records),
        "property_reads": traverse(ncf),
        "parse_s": timed(parse_and_drop, text, repeats=repeats, min_seconds=min_seconds),
        "traverse_s": timed(traverse, ncf, repeats=repeats, min_seconds=min_seconds),
        "plain_traverse_s": timed(traverse, plain_copy(ncf), repeats=repeats, min_seconds=min_seconds),
        "repr_file_s": timed(repr, ncf, repeats=repeats, min_seconds=min_seconds),
        "repr_all_s": timed(repr_every_record, records, repeats=repeats, min_seconds=min_seconds),
    }


# --- the cost of one property read, by kind ----------------------------------


class PlainRecord:
    """The baseline: an attribute of a plain Python object, already made."""

    __slots__ = ("value",)

    def __init__(self, value):
        self.value = value


def read_many(record, name, reads=1000):
    for _ in range(reads):
        getattr(record, name)


@without_gc
def measure_property_kinds(repeats, min_seconds):
    """ns per read of one property of each kind, on a small parsed file."""
    ncf = tolvane.NcfParser(content=gen_ncf.generate("multi", 16 << 10).text).parse()
    node = ncf.nodes[0]
    frame = node.frames[0]
    signal = frame.signals[0]
    cases = [
        ("plain Python attribute (baseline)", PlainRecord("x"), "value"),
        ("int", signal.properties, "size"),
        ("optional float", node.general, "volt_from"),
        ("text", signal, "name"),
        ("optional text", frame.properties, "event_triggered_frame"),
        ("record (a view)", signal, "properties"),
        ("list of 5 int", node.diagnostic, "support_sids"),
        ("list of 3 text", node.status, "fault_state_signals"),
        (f"list of {len(frame.signals)} records (views)", frame, "signals"),
    ]
    return [{"kind": label, "ns": timed(read_many, record, name, repeats=repeats, min_seconds=min_seconds) / 1000 * 1e9}
            for label, record, name in cases]


# --- fresh processes: memory and import time --------------------------------

# Prints the maximum resident set size (KiB) after the import and after the
# parse, by getrusage and, where Linux offers it, by the process's own
# high-water mark; then the CPU seconds of that first parse in a fresh
# process (the memory it touches is new to the process).
MEMORY_PROBE = r"""
import pathlib, resource, sys, time
import tolvane

def peaks():
    hwm = 0
    status = pathlib.Path("/proc/self/status")
    if status.exists():
        hwm = next((int(line.split()[1]) for line in status.read_text().splitlines()
                    if line.startswith("VmHWM:")), 0)
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss, hwm

baseline = peaks()
data = pathlib.Path(sys.argv[1]).read_bytes()
start = time.thread_time()
ncf = tolvane.NcfParser(content=data).parse()
seconds = time.thread_time() - start
peak = peaks()
print(*baseline, *peak, seconds)
"""

IMPORT_PROBE = r"""
import time
start = time.perf_counter()
import tolvane
print(time.perf_counter() - start)
"""


def run_probe(code, *args):
    # Through a shell that forks: Linux carries a parent's maximum resident
    # size over into a child that it execs directly (ru_maxrss would start
    # at this process's size), but not into a grandchild of a small shell.
    command = ["/bin/sh", "-c", '"$0" "$@"; exit $?', sys.executable, "-c", code, *args]
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0:
        raise SystemExit(f"probe failed ({result.returncode}):\n{result.stderr}")
    return result.stdout.split()


def measure_memory(shape, size_text, directory):
    """Peak resident memory of reading the input as bytes and parsing it,
    above the baseline of the same fresh interpreter with tolvane imported.

    The input is written by a separate process, so this one stays small."""
    path = pathlib.Path(directory) / f"{shape}-{size_text}.ncf"
    subprocess.run([sys.executable, str(HERE / "gen_ncf.py"), "--shape", shape, "--size", size_text,
                    "-o", str(path)], check=True)
    try:
        *kib, seconds = run_probe(MEMORY_PROBE, str(path))
        base_rss, base_hwm, peak_rss, peak_hwm = map(int, kib)
        return {"shape": shape, "size": size_text, "bytes": path.stat().st_size,
                "baseline_bytes": base_rss * 1024, "above_baseline_bytes": (peak_rss - base_rss) * 1024,
                "above_baseline_hwm_bytes": (peak_hwm - base_hwm) * 1024 if peak_hwm else None,
                "cold_parse_s": float(seconds)}
    finally:
        path.unlink()


@without_gc
def measure_large_parse(shape, size_text, repeats):
    """Seconds per parse of a large input, for the linearity figure."""
    text = gen_ncf.generate(shape, gen_ncf.parse_size(size_text)).text
    return {"shape": shape, "size": size_text, "bytes": len(text),
            "parse_s": timed(parse_and_drop, text, repeats=repeats, min_seconds=0.0)}


def measure_jobs(shape, size_text, directory, repeats):
    """The whole jobs of bench/py_jobs.py (to_dict, with json.dumps, a
    `tolvane json` process), with the parse they are judged against."""
    text = gen_ncf.generate(shape, gen_ncf.parse_size(size_text)).text.encode()
    path = pathlib.Path(directory) / f"{shape}-{size_text}.ncf"
    path.write_bytes(text)
    try:
        return {"shape": shape, "size": size_text, **py_jobs.measure(path, text, repeats)}
    finally:
        path.unlink()


def measure_import(runs):
    return statistics.median(float(run_probe(IMPORT_PROBE)[0]) for _ in range(runs))


# --- the C++ figures ------------------------------------------------------------


def cpp_figures(path):
    """{(stage, shape, size): seconds per iteration} from Google Benchmark's
    JSON; the median aggregate when there were repetitions."""
    units = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    figures, medians = {}, {}
    for entry in json.loads(pathlib.Path(path).read_text())["benchmarks"]:
        if entry.get("error_occurred"):
            continue
        stage, shape, size = entry["run_name"].split("/")[:3]
        seconds = entry["cpu_time"] * units[entry["time_unit"]]
        if entry.get("aggregate_name") == "median":
            medians[(stage, shape, size)] = seconds
        elif entry.get("run_type", "iteration") == "iteration":
            figures.setdefault((stage, shape, size), []).append(seconds)
    result = {key: statistics.median(values) for key, values in figures.items()}
    result.update(medians)
    return result


# --- the report -----------------------------------------------------------------


def rate(size_bytes, seconds):
    return size_bytes / MB / seconds


def print_report(results, cpp):
    print("\nPython (median of repeats; MB = 2**20 bytes)\n")
    header = ["input", "MB", "parse ms", "parse MB/s", "traverse ms", "reads", "ns/read",
              "(parse+traverse)/parse", "plain-object traverse/parse", "repr(file) ms", "repr all ms"]
    if cpp:
        header += ["C++ parse ms", "Py/C++", "floor MB/s", "C++ parse/floor"]
    rows = []
    for r in results["inputs"]:
        row = [f"{r['shape']}-{r['size']}", f"{r['bytes'] / MB:.3f}", f"{r['parse_s'] * 1e3:.3f}",
               f"{rate(r['bytes'], r['parse_s']):.0f}", f"{r['traverse_s'] * 1e3:.3f}", str(r["property_reads"]),
               f"{r['traverse_s'] / r['property_reads'] * 1e9:.0f}",
               f"{(r['parse_s'] + r['traverse_s']) / r['parse_s']:.2f}",
               f"{r['plain_traverse_s'] / r['parse_s']:.2f}", f"{r['repr_file_s'] * 1e3:.4f}",
               f"{r['repr_all_s'] * 1e3:.3f}"]
        if cpp:
            key = (r["shape"], r["size"])
            parse, floor = cpp.get(("parse", *key)), cpp.get(("floor", *key))
            row += [f"{parse * 1e3:.3f}" if parse else "-",
                    f"{r['parse_s'] / parse:.2f}" if parse else "-",
                    f"{rate(r['bytes'], floor):.0f}" if floor else "-",
                    f"{floor / parse:.0%}" if parse and floor else "-"]
        rows.append(row)
    print_table(header, rows)

    if results["linearity"]:
        print("\nLinearity of the Python parse: time per MB relative to the 1M input\n")
        per_mb = {}
        for r in results["inputs"] + results["linearity"]:
            per_mb[(r["shape"], r["size"])] = r["parse_s"] / (r["bytes"] / MB)
        rows = []
        for (shape, size), value in per_mb.items():
            base = per_mb.get((shape, "1M"))
            if gen_ncf.parse_size(size) >= MB and base:
                rows.append([f"{shape}-{size}", f"{value * 1e3:.3f}", f"{value / base:.2f}"])
        print_table(["input", "ms per MB", "vs 1M"], rows)

    if results["memory"]:
        print("\nPeak resident memory of read + parse above the baseline (fresh process)\n")
        rows = [[f"{m['shape']}-{m['size']}", f"{m['bytes'] / MB:.1f}", f"{m['baseline_bytes'] / MB:.1f}",
                 f"{m['above_baseline_bytes'] / MB:.1f}", f"{m['above_baseline_bytes'] / m['bytes']:.2f}",
                 "-" if m["above_baseline_hwm_bytes"] is None else f"{m['above_baseline_hwm_bytes'] / MB:.1f}",
                 f"{m['cold_parse_s'] * 1e3 / (m['bytes'] / MB):.2f}"]
                for m in results["memory"]]
        print_table(["input", "MB", "baseline MB", "above baseline MB", "x input", "VmHWM check MB",
                     "first parse ms/MB"], rows)

    if results["kinds"]:
        print("\nOne property read, by kind (ns, median; a loop of getattr calls)\n")
        print_table(["kind", "ns/read"], [[k["kind"], f"{k['ns']:.0f}"] for k in results["kinds"]])

    if results["jobs"]:
        print("\nWhole jobs, each x the parse of the same run (bench/py_jobs.py; garbage collector on)\n")
        rows = [[f"{j['shape']}-{j['size']}", f"{j['parse'] * 1e3:.1f}", f"{j['to_dict'] / j['parse']:.2f}",
                 f"{j['to_dict + dumps'] / j['parse']:.2f}", f"{j['tolvane json'] / j['parse']:.2f}"]
                for j in results["jobs"]]
        print_table(["input", "parse ms", "to_dict", "to_dict + dumps", "tolvane json"], rows)

    print(f"\nImport of tolvane (median of {results['import_runs']} fresh processes): "
          f"{results['import_s'] * 1e3:.1f} ms")


def print_table(header, rows):
    widths = [max(len(str(cell)) for cell in column) for column in zip(header, *rows)]
    print("| " + " | ".join(h.ljust(w) for h, w in zip(header, widths)) + " |")
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for row in rows:
        print("| " + " | ".join(c.rjust(w) for c, w in zip(row, widths)) + " |")


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--smoke", action="store_true", help="tiny inputs, one repeat: checks that it all runs")
    parser.add_argument("--sizes", default="2K,1M,10M", help="inputs to time (default 2K,1M,10M)")
    parser.add_argument("--linearity-sizes", default="100M", help="extra sizes timed for linearity only")
    parser.add_argument("--memory-sizes", default="10M,100M", help="inputs whose peak memory is measured")
    parser.add_argument("--job-sizes", default="1M,10M", help="inputs of the whole-job table")
    parser.add_argument("--repeats", type=int, default=5)
    parser.add_argument("--min-seconds", type=float, default=0.2, help="minimum length of one sample")
    parser.add_argument("--import-runs", type=int, default=21)
    parser.add_argument("--cpp-json", type=pathlib.Path, help="the C++ benchmark's JSON output")
    parser.add_argument("--json", type=pathlib.Path, help="write the figures here")
    args = parser.parse_args(argv)
    if args.smoke:
        args.sizes, args.linearity_sizes, args.memory_sizes, args.job_sizes = "2K", "", "64K", "2K"
        args.repeats, args.min_seconds, args.import_runs = 1, 0.0, 3

    def split(sizes):
        return [s for s in sizes.split(",") if s]

    # The fresh processes first, before this one holds any large input.
    results = {"inputs": [], "linearity": [], "memory": [], "kinds": [], "jobs": []}
    with tempfile.TemporaryDirectory(prefix="tolvane-bench-") as directory:
        for size in split(args.memory_sizes):
            for shape in gen_ncf.SHAPES:
                results["memory"].append(measure_memory(shape, size, directory))
        for size in split(args.job_sizes):
            for shape in gen_ncf.SHAPES:
                results["jobs"].append(measure_jobs(shape, size, directory, args.repeats))
    results["import_runs"] = args.import_runs
    results["import_s"] = measure_import(args.import_runs)

    for size in split(args.sizes):
        for shape in gen_ncf.SHAPES:
            results["inputs"].append(measure_input(shape, size, args.repeats, args.min_seconds))
    for size in split(args.linearity_sizes):
        for shape in gen_ncf.SHAPES:
            results["linearity"].append(measure_large_parse(shape, size, min(args.repeats, 3)))
    results["kinds"] = measure_property_kinds(args.repeats, 0.0 if args.smoke else 0.05)

    cpp = cpp_figures(args.cpp_json) if args.cpp_json else {}
    print_report(results, cpp)
    if args.json:
        args.json.write_text(json.dumps(results, indent=2) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
