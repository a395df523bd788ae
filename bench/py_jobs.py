#!/usr/bin/env python3
"""The whole jobs Python users run on a parsed file, each as a ratio to the
parse alone, on the inputs of the other benchmarks (bench/gen_ncf.py, same
shapes, sizes and seed):

- to_dict:         tolvane.to_dict() of the parsed file;
- to_dict + dumps: that, then json.dumps(indent=2) of it;
- tolvane json:    the CPU time (user + system) of a `tolvane json FILE`
                   process writing to /dev/null, start-up included.

    PYTHONPATH=BUILD:python python3.14 bench/py_jobs.py [--sizes 1M,10M] [--repeats N]
    PYTHONPATH=BUILD:python python3.14 bench/py_jobs.py --smoke

In-process figures are the thread's CPU time, the garbage collector on as
users have it, median of the repeats, the jobs of one input interleaved.
--smoke runs each job once on a tiny input and exits non-zero on any error.
"""

import argparse
import importlib.util
import json
import pathlib
import resource
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


def cpu(job):
    start = time.thread_time()
    job()
    return time.thread_time() - start


def child_cpu(command):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(command, stdout=subprocess.DEVNULL, check=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime


def measure(path, text, repeats):
    parse = lambda: tolvane.NcfParser(str(path), text).parse()
    tree = parse()
    jobs = {
        "parse": parse,
        "to_dict": lambda: tolvane.to_dict(tree),
        "to_dict + dumps": lambda: json.dumps(tolvane.to_dict(tree), indent=2),
    }
    times = {name: [] for name in [*jobs, "tolvane json"]}
    for _ in range(repeats):
        for name, job in jobs.items():
            times[name].append(cpu(job))
        times["tolvane json"].append(child_cpu([sys.executable, "-m", "tolvane_cli", "json", str(path)]))
    return {name: statistics.median(samples) for name, samples in times.items()}


def main():
    options = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    options.add_argument("--sizes", default="1M,10M")
    options.add_argument("--repeats", type=int, default=5)
    options.add_argument("--smoke", action="store_true")
    args = options.parse_args()
    sizes, repeats = (["2K"], 1) if args.smoke else (args.sizes.split(","), args.repeats)
    print(f"{'input':<12} {'parse ms':>9} {'to_dict':>8} {'+ dumps':>8} {'tolvane json':>13}   (× parse)")
    with tempfile.TemporaryDirectory() as folder:
        for size in sizes:
            for shape in gen_ncf.SHAPES:
                text = gen_ncf.generate(shape, gen_ncf.parse_size(size)).text.encode()
                path = pathlib.Path(folder) / f"{shape}-{size}.ncf"
                path.write_bytes(text)
                median = measure(path, text, repeats)
                parse = median["parse"]
                print(f"{shape + '-' + size:<12} {parse * 1000:>9.1f} {median['to_dict'] / parse:>8.2f} "
                      f"{median['to_dict + dumps'] / parse:>8.2f} {median['tolvane json'] / parse:>13.2f}")


if __name__ == "__main__":
    main()
