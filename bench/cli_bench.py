#!/usr/bin/env python3
"""Wall time of short `tolvane check` runs against the interpreter's own
start-up.

- python -c pass:     the floor, `python3.14 -c pass`;
- import re, sys:     what the launcher pip writes for a console script
                      imports before tolvane: its own cost;
- console script:     what an installed `tolvane` script runs (it imports
                      re and sys, then tolvane_cli.main), checking one 2.2 KB
                      file (examples/door_module.ncf);
- python -m:          `python3.14 -m tolvane_cli check FILE`;
- per extra file:     (check of 2 000 copies of the file in one call − check
                      of one) / 1 999.

    PYTHONPATH=BUILD:python python3.14 bench/cli_bench.py [--runs N]
    PYTHONPATH=BUILD:python python3.14 bench/cli_bench.py --smoke

Each figure is the median wall time over the runs, the commands of one run
interleaved so that a busy moment of the machine spreads over all of them.
--smoke runs each command once and exits non-zero when one fails; its
figures mean nothing.
"""

import argparse
import pathlib
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = pathlib.Path(__file__).resolve().parent
EXAMPLE = HERE.parent / "examples" / "door_module.ncf"
CONSOLE_SCRIPT = "import re, sys\nfrom tolvane_cli import main\nsys.exit(main())\n"


def wall_time(command):
    start = time.perf_counter()
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if result.returncode != 0:
        raise SystemExit(f"cli_bench: {command[:4]} failed: {result.stderr.decode()}")
    return elapsed


def main():
    options = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    options.add_argument("--runs", type=int, default=40)
    options.add_argument("--smoke", action="store_true")
    args = options.parse_args()
    runs = 1 if args.smoke else args.runs
    python = sys.executable
    with tempfile.TemporaryDirectory() as folder:
        many = []
        for index in range(2 if args.smoke else 2000):
            copy = pathlib.Path(folder) / f"node{index}.ncf"
            shutil.copyfile(EXAMPLE, copy)
            many.append(str(copy))
        commands = {
            "python -c pass": [python, "-c", "pass"],
            "import re, sys": [python, "-c", "import re, sys"],
            "console script": [python, "-c", CONSOLE_SCRIPT, "check", str(EXAMPLE)],
            "python -m": [python, "-m", "tolvane_cli", "check", str(EXAMPLE)],
            "2 000 files": [python, "-c", CONSOLE_SCRIPT, "check", *many],
        }
        times = {name: [] for name in commands}
        for _ in range(runs):
            for name, command in commands.items():
                times[name].append(wall_time(command))
    median = {name: statistics.median(samples) for name, samples in times.items()}
    floor = median["python -c pass"]
    print(f"{'run':<16} {'ms':>8} {'× python -c pass':>17}")
    for name in ("python -c pass", "import re, sys", "console script", "python -m"):
        print(f"{name:<16} {median[name] * 1000:>8.1f} {median[name] / floor:>17.2f}")
    per_file = (median["2 000 files"] - median["console script"]) / (len(many) - 1)
    print(f"{'per extra file':<16} {per_file * 1e6:>8.1f} µs")


if __name__ == "__main__":
    main()
