#!/usr/bin/env python3
"""How the recovering reading reports single faults, against the reading
without recovery.

The inputs are the corpus files that read without a diagnostic, and files
of two nodes made from them (every pair of their nodes, the second renamed).
Each input is given one fault at a time, chosen with a fixed seed:

- ';'   a ";" deleted;
- '{'   a "{" deleted;
- '}'   a "}" deleted;
- word  a keyword misspelt (a letter dropped, doubled or swapped with its
        neighbour, or replaced);
- stray a token put before another one: a name, a number, "," or "=".

A change that leaves the text valid is no fault and is not counted. For
each reading the figures are: the syntax errors per fault (mean, and the
share of faults with more than 3), the share of faults whose first error
is within two lines of the fault (for a deleted "}", within two lines of
the fault or of the first token after it that is not "}", where the
block's end shows), the share of faults after which every node the fault
is not in reads exactly as without the fault, and the share after which
the whole file does (the fault's own node too: nothing lost).

    PYTHONPATH=BUILD python3.14 bench/recovery_bench.py [--faults N] [--seed S]
    PYTHONPATH=BUILD python3.14 bench/recovery_bench.py --smoke

--smoke puts a few faults and exits non-zero when the recovering reading
reports a fault with no error; its figures mean nothing. --show KIND
prints each fault of that kind whose recovering reading gives more than
one error, with its errors.
"""

import argparse
import pathlib
import random
import re
import sys

import tolvane

CORPUS = pathlib.Path(__file__).resolve().parents[1].parent / "shared" / "corpus" / "real"
KINDS = (";", "{", "}", "word", "stray")
STRAYS = ("extra", "7", ",", "=")
TOKEN = re.compile(
    r"""(?P<blank>\s+)|(?P<comment>//[^\n]*|/\*.*?\*/)|(?P<string>"(?:\\.|[^"\\])*")"""
    r"""|(?P<word>[A-Za-z_][A-Za-z0-9_]*)|(?P<number>[-+]?[0-9][0-9A-Za-z_.+-]*)|(?P<punct>.)""",
    re.S,
)
KEYWORDS = {
    "node_capability_file", "LIN_language_version", "node", "general", "LIN_protocol_version", "supplier",
    "function", "variant", "bitrate", "automatic", "min", "max", "select", "kbps", "sends_wake_up_signal",
    "yes", "no", "volt_range", "temp_range", "conformance", "diagnostic", "NAD", "to", "diagnostic_class",
    "P2_min", "ST_min", "N_As_timeout", "N_Cr_timeout", "support_sid", "max_message_length", "ms", "frames",
    "publish", "subscribe", "length", "min_period", "max_period", "event_triggered_frame", "signals", "size",
    "init_value", "offset", "encoding", "logical_value", "physical_value", "bcd_value", "ascii_value",
    "status_management", "response_error", "fault_state_signals", "free_text",
}


def tokens(text):
    """(kind, start, end) of each token, blanks and comments left out."""
    found = []
    for match in TOKEN.finditer(text):
        kind = match.lastgroup
        if kind not in ("blank", "comment"):
            found.append((kind, match.start(), match.end(), match.group()))
    return found


def line_of(text, offset):
    return text.count("\n", 0, offset) + 1


def syntax_errors(text, recover):
    parser = tolvane.NcfParser("f.ncf", text, recover=recover)
    tree = parser.parse()
    errors = [d for d in parser.get_diagnostics() if d.severity == tolvane.Diagnostic.Severity.Error]
    return tree, errors


def clean_inputs():
    singles = []
    for path in sorted(CORPUS.iterdir()):
        if path.suffix not in (".ncf", ".nfc"):
            continue
        text = path.read_bytes().decode("latin-1")
        tree, errors = syntax_errors(text, recover=False)
        if not errors and tree.nodes:
            singles.append((path.name, text))
    nodes = []
    for name, text in singles:
        starts = [m.start() for m in re.finditer(r"(?m)^\s*node\s", text)]
        for i, start in enumerate(starts):
            end = starts[i + 1] if i + 1 < len(starts) else len(text)
            nodes.append((name, text[start:end].strip()))
    header = 'node_capability_file;\nLIN_language_version = "2.1";\n'
    pairs = []
    for i in range(len(nodes)):
        for j in range(i + 1, len(nodes)):
            second = re.sub(r"^(\s*node\s+)([A-Za-z_0-9]+)", r"\1\2_second", nodes[j][1], count=1)
            pairs.append((f"{nodes[i][0]} + {nodes[j][0]}", header + nodes[i][1] + "\n\n" + second + "\n"))
    return singles + pairs


def misspelt(word, rng):
    i = rng.randrange(len(word))
    way = rng.randrange(4)
    if way == 0 and len(word) > 2:
        return word[:i] + word[i + 1:]
    if way == 1:
        return word[:i] + word[i] + word[i:]
    if way == 2 and i + 1 < len(word) and word[i] != word[i + 1]:
        return word[:i] + word[i + 1] + word[i] + word[i + 2:]
    replacement = rng.choice([c for c in "abcdefghijklmnopqrstuvwxyz" if c != word[i].lower()])
    return word[:i] + replacement + word[i + 1:]


def put_fault(text, kind, rng):
    """The text with one fault of `kind`, and where the fault is, or None."""
    found = tokens(text)
    if kind in (";", "{", "}"):
        places = [t for t in found if t[3] == kind]
        if not places:
            return None
        _, start, end, _ = rng.choice(places)
        return text[:start] + text[end:], start
    if kind == "word":
        places = [t for t in found if t[0] == "word" and t[3] in KEYWORDS]
        _, start, end, word = rng.choice(places)
        return text[:start] + misspelt(word, rng) + text[end:], start
    _, start, _, _ = rng.choice(found)
    return text[:start] + " " + rng.choice(STRAYS) + " " + text[start:], start + 1


def block_end_line(text, start):
    """The line of the first token at or after `start` that is not "}"."""
    for _, offset, _, value in tokens(text[start:]):
        if value != "}":
            return line_of(text, start + offset)
    return line_of(text, len(text))


def node_dicts(tree):
    return {node.name: tolvane.to_dict(node) for node in tree.nodes}


def fault_node(clean_tree, line):
    """The name of the node whose lines hold `line`, or None (the header)."""
    owner = None
    for node in clean_tree.nodes:
        if node.line <= line:
            owner = node.name
    return owner


class Tally:
    def __init__(self):
        self.faults = 0
        self.errors = 0
        self.many = 0
        self.near = 0
        self.with_others = 0
        self.others_intact = 0
        self.whole = 0
        self.silent = 0

    def add(self, errors, fault_line, end_line, kind, others_intact, whole):
        self.faults += 1
        self.errors += len(errors)
        self.many += len(errors) > 3
        self.silent += not errors
        self.whole += whole
        if errors:
            first = errors[0].line
            self.near += abs(first - fault_line) <= 2 or (kind == "}" and abs(first - end_line) <= 2)
        if others_intact is not None:
            self.with_others += 1
            self.others_intact += others_intact

    def row(self, name):
        share = lambda n, d: f"{100 * n / d:5.1f} %" if d else "    -"
        return (f"{name:<12} {self.faults:>6} {self.errors / max(self.faults, 1):>8.2f} "
                f"{share(self.many, self.faults):>8} {share(self.near, self.faults):>9} "
                f"{share(self.others_intact, self.with_others):>9} {share(self.whole, self.faults):>9}")


def measure(inputs, count, seed, show=None):
    rng = random.Random(seed)
    tallies = {reading: {kind: Tally() for kind in KINDS} for reading in ("strict", "recovering")}
    made = 0
    attempts = 0
    while made < count and attempts < count * 20:
        attempts += 1
        name, text = rng.choice(inputs)
        kind = KINDS[made % len(KINDS)]
        faulty = put_fault(text, kind, rng)
        if faulty is None:
            continue
        faulty_text, offset = faulty
        _, strict_errors = syntax_errors(faulty_text, recover=False)
        if not strict_errors:
            continue  # the change left the text valid
        made += 1
        clean_tree, _ = syntax_errors(text, recover=False)
        fault_line = line_of(faulty_text, offset)
        end_line = block_end_line(faulty_text, offset)
        owner = fault_node(clean_tree, line_of(text, offset))
        clean_nodes = node_dicts(clean_tree)
        clean_dict = tolvane.to_dict(clean_tree)
        others = {n: d for n, d in clean_nodes.items() if n != owner}
        for reading, recover in (("strict", False), ("recovering", True)):
            tree, errors = syntax_errors(faulty_text, recover)
            intact = None
            if others:
                read = node_dicts(tree)
                intact = all(read.get(n) == d for n, d in others.items())
            whole = tolvane.to_dict(tree) == clean_dict
            tallies[reading][kind].add(errors, fault_line, end_line, kind, intact, whole)
            if recover and show == kind and len(errors) > 1:
                print(f"--- {name} line {fault_line}:")
                lines = faulty_text.splitlines()
                for n in range(max(fault_line - 2, 1), min(fault_line + 2, len(lines)) + 1):
                    print(f"  {n:4}| {lines[n - 1]}")
                for e in errors:
                    print(f"      {e.line}:{e.column}: {e.message}")
    return tallies


def total(tallies):
    whole = Tally()
    for tally in tallies.values():
        for field in vars(whole):
            setattr(whole, field, getattr(whole, field) + getattr(tally, field))
    return whole


def main():
    arguments = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    arguments.add_argument("--faults", type=int, default=1000)
    arguments.add_argument("--seed", type=int, default=29)
    arguments.add_argument("--smoke", action="store_true")
    arguments.add_argument("--show", choices=KINDS)
    options = arguments.parse_args()
    inputs = clean_inputs()
    tallies = measure(inputs, 25 if options.smoke else options.faults, options.seed, options.show)
    print(f"{len(inputs)} clean inputs; one fault each time, seed {options.seed}\n")
    print(f"{'fault':<12} {'faults':>6} {'errors':>8} {'>3':>8} {'near':>9} {'others':>9} {'all kept':>9}")
    for reading, by_kind in tallies.items():
        print(f"-- {reading}")
        for kind, tally in by_kind.items():
            print(tally.row(kind))
        print(total(by_kind).row("all"))
    whole = total(tallies["recovering"])
    if whole.silent:
        print(f"\n{whole.silent} faults without an error in the recovering reading", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
