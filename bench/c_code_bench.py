#!/usr/bin/env python3
"""The generated C against hand-written C: ns per pack and per unpack of a
frame of 8 data bytes and 8 signals (1, 3, 4, 8, 12, 16, 4 and 16 bits, five
of them across a byte boundary), both compiled with gcc -O2 into one
program that packs and unpacks values that change on every call.

    PYTHONPATH=BUILD python3.14 bench/c_code_bench.py [--calls N]
    PYTHONPATH=BUILD python3.14 bench/c_code_bench.py --smoke

--smoke runs a few calls and exits non-zero when the two disagree; its
figures mean nothing.
"""

import argparse
import pathlib
import subprocess
import sys
import tempfile

import tolvane

SIZES = (1, 3, 4, 8, 12, 16, 4, 16)

HAND = """
/* What a careful engineer writes by hand for the same layout. */
static void hand_pack(uint8_t *d, const struct b_f_t *s)
{
    d[0] = (uint8_t)((s->s0 & 1u) | ((s->s1 & 7u) << 1) | ((s->s2 & 15u) << 4));
    d[1] = s->s3;
    d[2] = (uint8_t)(s->s4 & 0xFFu);
    d[3] = (uint8_t)(((s->s4 >> 8) & 15u) | ((unsigned)(s->s5 & 15u) << 4));
    d[4] = (uint8_t)((s->s5 >> 4) & 0xFFu);
    d[5] = (uint8_t)(((s->s5 >> 12) & 15u) | ((unsigned)(s->s6 & 15u) << 4));
    d[6] = (uint8_t)(s->s7 & 0xFFu);
    d[7] = (uint8_t)(s->s7 >> 8);
}

static void hand_unpack(struct b_f_t *s, const uint8_t *d)
{
    s->s0 = (uint8_t)(d[0] & 1u);
    s->s1 = (uint8_t)((d[0] >> 1) & 7u);
    s->s2 = (uint8_t)(d[0] >> 4);
    s->s3 = d[1];
    s->s4 = (uint16_t)(d[2] | ((unsigned)(d[3] & 15u) << 8));
    s->s5 = (uint16_t)((d[3] >> 4) | ((unsigned)d[4] << 4) | ((unsigned)(d[5] & 15u) << 12));
    s->s6 = (uint8_t)(d[5] >> 4);
    s->s7 = (uint16_t)(d[6] | ((unsigned)d[7] << 8));
}
"""

MAIN = """
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec * 1e9 + (double)t.tv_nsec;
}

static void vary(struct b_f_t *s, unsigned i)
{
    s->s0 = (uint8_t)(i & 1u); s->s1 = (uint8_t)(i & 7u); s->s2 = (uint8_t)((i >> 3) & 15u);
    s->s3 = (uint8_t)i; s->s4 = (uint16_t)(i & 0xFFFu); s->s5 = (uint16_t)(i * 7u);
    s->s6 = (uint8_t)((i >> 5) & 15u); s->s7 = (uint16_t)(i * 13u);
}

int main(int argc, char **argv)
{
    unsigned calls = (unsigned)strtoul(argv[1], NULL, 10), i;
    struct b_f_t s, back;
    uint8_t data[8], hand[8];
    volatile uint8_t sink = 0;
    double start;
    (void)argc;
    for (i = 0; i < 1000u; ++i) { /* the two agree */
        vary(&s, i * 2654435761u);
        b_f_pack(data, &s, 8);
        hand_pack(hand, &s);
        if (memcmp(data, hand, 8) != 0) { return 2; }
        b_f_unpack(&back, data, 8);
        hand_unpack(&s, data);
        if (back.s0 != s.s0 || back.s1 != s.s1 || back.s2 != s.s2 || back.s3 != s.s3 || back.s4 != s.s4 ||
            back.s5 != s.s5 || back.s6 != s.s6 || back.s7 != s.s7) { return 3; }
    }
    start = now();
    for (i = 0; i < calls; ++i) { vary(&s, i); b_f_pack(data, &s, 8); sink ^= data[i & 7u]; }
    printf("generated pack %.2f\\n", (now() - start) / calls);
    start = now();
    for (i = 0; i < calls; ++i) { vary(&s, i); hand_pack(data, &s); sink ^= data[i & 7u]; }
    printf("hand pack %.2f\\n", (now() - start) / calls);
    start = now();
    for (i = 0; i < calls; ++i) { data[i & 7u] = (uint8_t)i; b_f_unpack(&s, data, 8); sink ^= s.s3; }
    printf("generated unpack %.2f\\n", (now() - start) / calls);
    start = now();
    for (i = 0; i < calls; ++i) { data[i & 7u] = (uint8_t)i; hand_unpack(&s, data); sink ^= s.s3; }
    printf("hand unpack %.2f\\n", (now() - start) / calls);
    return sink == 255 ? 0 : 0;
}
"""


def node_text() -> str:
    signals, offset = [], 0
    for index, size in enumerate(SIZES):
        signals.append(f"s{index} {{ size = {size}; init_value = 0; offset = {offset}; }}")
        offset += size
    return ('node_capability_file; LIN_language_version = "2.2"; node b { general { LIN_protocol_version = "2.2"; '
            "supplier = 1; function = 2; variant = 0; bitrate = 19.2 kbps; } diagnostic { NAD = 1; } "
            f"frames {{ publish f {{ length = 8; signals {{ {' '.join(signals)} }} }} }} "
            "status_management { response_error = s0; } }")


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--calls", type=int, default=100_000_000)
    parser.add_argument("--smoke", action="store_true")
    args = parser.parse_args(argv)
    node = tolvane.NcfParser("b.ncf", node_text()).parse().nodes[0]
    header_name, header, source_name, source = tolvane.generate_c(node)
    with tempfile.TemporaryDirectory() as folder:
        work = pathlib.Path(folder)
        (work / header_name).write_text(header)
        (work / "bench.c").write_text(source + HAND + MAIN)
        program = work / "bench"
        subprocess.run(["gcc", "-std=gnu99", "-O2", "-o", str(program), str(work / "bench.c")], check=True)
        result = subprocess.run([str(program), str(1000 if args.smoke else args.calls)], capture_output=True,
                                text=True)
    if result.returncode != 0:
        print(f"c_code_bench: the generated code and the hand code disagree ({result.returncode})", file=sys.stderr)
        return 1
    figures = dict(line.rsplit(" ", 1) for line in result.stdout.splitlines())
    print(f"ns per call, {args.calls if not args.smoke else 1000} calls, gcc -O2")
    print("| call | generated | by hand | generated / by hand |")
    print("|---|---:|---:|---:|")
    for call in ("pack", "unpack"):
        generated, hand = float(figures[f"generated {call}"]), float(figures[f"hand {call}"])
        print(f"| {call} | {generated:.2f} | {hand:.2f} | {generated / max(hand, 1e-9):.2f} |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
