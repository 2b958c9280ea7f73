#!/usr/bin/env python3
"""Compares two builds on the same benchmarks in one run.

    python3 bench/compare.py BEFORE_BUILD AFTER_BUILD [ROUNDS]

Each benchmark program of both builds runs in turn, ROUNDS times, so both see the same machine load;
the best time of every measurement is kept.  Prints each measurement with its ratio after / before
(below 1: the after build is faster; for rates, above 1 is faster and the ratio is still after / before).
"""
import json
import os
import re
import subprocess
import sys
import tempfile


def run_google(binary, args, work):
    out = os.path.join(work, "out.json")
    subprocess.run([binary, *args, "--benchmark_format=json", f"--benchmark_out={out}",
                    "--benchmark_out_format=json"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   check=False)
    results = {}
    try:
        with open(out) as f:
            for b in json.load(f).get("benchmarks", []):
                if b.get("run_type", "iteration") == "iteration":
                    results[b["name"]] = ("time", float(b["real_time"]))
    except (OSError, ValueError):
        pass
    return results


def run_datafile(binary, board):
    text = subprocess.run([binary, board], capture_output=True, text=True, check=False).stdout
    results = {}
    for name in ("read", "write"):
        m = re.search(rf"^\s*{name}\s+([0-9.]+) MB/s", text, re.M)
        if m:
            results[f"datafile {name} MB/s"] = ("rate", float(m.group(1)))
    return results


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    before, after = sys.argv[1], sys.argv[2]
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    with tempfile.TemporaryDirectory() as work:
        board = os.path.join(work, "board.pcb")
        subprocess.run([os.path.join(after, "gen_board"), "18600", board, "--seed", "1"],
                       stdout=subprocess.DEVNULL, check=True)
        plans = {
            "bench_datafile": lambda b: run_datafile(b, board),
            "bench_render": lambda b: run_google(b, [], work),
            "bench_gerber": lambda b: run_google(b, ["--no-peer"], work),
            "bench_zoom": lambda b: run_google(b, ["--board", board], work),
        }
        best = {}
        for name, plan in plans.items():
            for _ in range(rounds):
                for side, build in (("before", before), ("after", after)):
                    binary = os.path.join(build, name)
                    if not os.access(binary, os.X_OK):
                        continue
                    for key, (kind, value) in plan(binary).items():
                        slot = best.setdefault((name, key), {"kind": kind})
                        old = slot.get(side)
                        better = old is None or (value > old if kind == "rate" else value < old)
                        slot[side] = value if better else old
        print(f"{'benchmark':<58} {'before':>12} {'after':>12} {'ratio':>7}")
        for (name, key), slot in best.items():
            if "before" in slot and "after" in slot and slot["before"]:
                print(f"{key:<58.58} {slot['before']:12.2f} {slot['after']:12.2f} "
                      f"{slot['after'] / slot['before']:7.3f}")


if __name__ == "__main__":
    main()
