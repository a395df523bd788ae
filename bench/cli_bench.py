#!/usr/bin/env python3
"""Wall time of `tolvane check` runs against the interpreter's own start-up,
and the cost of each further file of a run over many.

- python -c pass:     the floor, `python3.14 -c pass`;
- import re, sys:     what the launcher pip writes for a console script
                      imports before tolvane: its own cost;
- console script:     what an installed `tolvane` script runs (it imports
                      re and sys, then tolvane_cli.main), checking one 2.2 KB
                      file (examples/door_module.ncf);
- python -m:          `python3.14 -m tolvane_cli check FILE`;
- with settings:      python -m in a folder whose pyproject.toml has a
                      [tool.tolvane] table (reading it imports tomllib);
- per extra file:     (check of 2 000 copies of the file in one call − check
                      of one) / 1 999, with --jobs 1 and --jobs 2, the copies
                      named one by one and as their folder;
- check() in-process: tolvane.check(name, content) of the same file, the
                      contents already read, per call;
- check_files():      tolvane.check_files() of the 2 000 copies in-process,
                      with jobs=1 and jobs=2, per file: the part of a run
                      that the threads share.

    PYTHONPATH=BUILD:python python3.14 bench/cli_bench.py [--runs N]
    PYTHONPATH=BUILD:python python3.14 bench/cli_bench.py --smoke

Every command runs in a folder of its own without settings, but for "with
settings". Each figure is the median wall time over the runs, the commands
of one run interleaved so that a busy moment of the machine spreads over
all of them. --smoke runs each command once with two copies and exits
non-zero when one fails; its figures mean nothing.
"""

import argparse
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

import tolvane

HERE = pathlib.Path(__file__).resolve().parent
EXAMPLE = HERE.parent / "examples" / "door_module.ncf"
CONSOLE_SCRIPT = "import re, sys\nfrom tolvane_cli import main\nsys.exit(main())\n"
SETTINGS = '[project]\nname = "cluster"\n\n[tool.tolvane]\nselect = ["syntax", "nad"]\nlenient = false\n'


def wall_time(command, cwd):
    start = time.perf_counter()
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, cwd=cwd)
    elapsed = time.perf_counter() - start
    if result.returncode != 0:
        raise SystemExit(f"cli_bench: {command[:4]} failed: {result.stderr.decode()}")
    return elapsed


def in_process_check(paths, rounds):
    """The best of `rounds` of tolvane.check(name, content) over `paths`, per call."""
    contents = [(path, pathlib.Path(path).read_bytes()) for path in paths]
    best = float("inf")
    for _ in range(rounds):
        start = time.perf_counter()
        for path, content in contents:
            tolvane.check(path, content)
        best = min(best, (time.perf_counter() - start) / len(contents))
    return best


def in_process_batch(paths, jobs, rounds):
    """The best of `rounds` of tolvane.check_files(paths, jobs=jobs), per file."""
    best = float("inf")
    for _ in range(rounds):
        start = time.perf_counter()
        tolvane.check_files(paths, jobs=jobs)
        best = min(best, (time.perf_counter() - start) / len(paths))
    return best


def main():
    options = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    options.add_argument("--runs", type=int, default=40)
    options.add_argument("--smoke", action="store_true")
    args = options.parse_args()
    runs = 1 if args.smoke else args.runs
    python = sys.executable
    env_python = [python, "-c", CONSOLE_SCRIPT]
    with tempfile.TemporaryDirectory() as folder:
        plain = pathlib.Path(folder, "plain")
        configured = pathlib.Path(folder, "configured")
        copies = pathlib.Path(folder, "copies")
        for made in (plain, configured, copies):
            made.mkdir()
        (configured / "pyproject.toml").write_text(SETTINGS)
        many = []
        for index in range(2 if args.smoke else 2000):
            copy = copies / f"node{index:04}.ncf"
            shutil.copyfile(EXAMPLE, copy)
            many.append(str(copy))
        commands = {
            "python -c pass": ([python, "-c", "pass"], plain),
            "import re, sys": ([python, "-c", "import re, sys"], plain),
            "console script": ([*env_python, "check", str(EXAMPLE)], plain),
            "python -m": ([python, "-m", "tolvane_cli", "check", str(EXAMPLE)], plain),
            "with settings": ([python, "-m", "tolvane_cli", "check", str(EXAMPLE)], configured),
            "one, --jobs 1": ([*env_python, "check", "--jobs", "1", str(EXAMPLE)], plain),
            "one, --jobs 2": ([*env_python, "check", "--jobs", "2", str(EXAMPLE)], plain),
            "files, --jobs 1": ([*env_python, "check", "--jobs", "1", *many], plain),
            "files, --jobs 2": ([*env_python, "check", "--jobs", "2", *many], plain),
            "folder, --jobs 1": ([*env_python, "check", "--jobs", "1", str(copies)], plain),
            "folder, --jobs 2": ([*env_python, "check", "--jobs", "2", str(copies)], plain),
        }
        times = {name: [] for name in commands}
        for _ in range(runs):
            for name, (command, cwd) in commands.items():
                times[name].append(wall_time(command, cwd))
        check_call = in_process_check(many, 1 if args.smoke else 5)
        batch = {jobs: in_process_batch(many, jobs, 1 if args.smoke else 5) for jobs in (1, 2)}
    median = {name: statistics.median(samples) for name, samples in times.items()}
    floor = median["python -c pass"]
    print(f"{'run':<16} {'ms':>8} {'× python -c pass':>17}")
    for name in ("python -c pass", "import re, sys", "console script", "python -m", "with settings"):
        print(f"{name:<16} {median[name] * 1000:>8.1f} {median[name] / floor:>17.2f}")
    print(f"\n{'per extra file':<24} {'µs':>8} {'× check()':>10}")
    per_file = {}
    for many_name, jobs in (("files", 1), ("files", 2), ("folder", 1), ("folder", 2)):
        name = f"{many_name}, --jobs {jobs}"
        per_file[name] = (median[name] - median[f"one, --jobs {jobs}"]) / (len(many) - 1)
        print(f"{name:<24} {per_file[name] * 1e6:>8.1f} {per_file[name] / check_call:>10.2f}")
    print(f"{'check() in-process':<24} {check_call * 1e6:>8.1f} {1:>10.2f}")
    for jobs, cost in batch.items():
        print(f"{f'check_files(), jobs={jobs}':<24} {cost * 1e6:>8.1f} {cost / check_call:>10.2f}")
    for many_name in ("files", "folder"):
        speedup = per_file[f"{many_name}, --jobs 1"] / per_file[f"{many_name}, --jobs 2"]
        print(f"{many_name}: --jobs 2 is {speedup:.2f} × as fast as --jobs 1 per file")
    print(f"check_files(): jobs=2 is {batch[1] / batch[2]:.2f} × as fast as jobs=1")


if __name__ == "__main__":
    main()
