#!/usr/bin/env python3
"""Benchmark, run by hand: the program against the write-call floor.

Builds a Release binary and bench/floor.cpp, which replays the program's own
finished listing with one write call per line to each stream (the floor),
or with the program's stream calls and nothing else (the stream floor).
Runs the three in turn at N = 50, 55 and 60 (standard output to /dev/null,
the result file on the local disk under build-bench/) and prints median
wall times and their ratios to the floor; then user-space instructions per
partition at N = 40 under callgrind, and the program's peak memory at
N = 20 and 60.
"""
import os
import re
import shutil
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build-bench")
WORK = os.path.join(BUILD, "run", "work")  # result file: build-bench/run/
PROGRAM = os.path.join(BUILD, "partitions")
FLOOR = os.path.join(BUILD, "floor")
RUNS = int(os.environ.get("RUNS", "11"))


def build():
    quiet = {"stdout": subprocess.DEVNULL}
    subprocess.run(["cmake", "-S", ROOT, "-B", BUILD, "-DBUILD_TESTING=OFF",
                    "-DCMAKE_BUILD_TYPE=Release"], check=True, **quiet)
    subprocess.run(["cmake", "--build", BUILD], check=True, **quiet)
    subprocess.run(["c++", "-O2", "-std=c++17", "-o", FLOOR,
                    os.path.join(ROOT, "bench", "floor.cpp")], check=True)
    os.makedirs(WORK, exist_ok=True)


def run(argv, n, **options):
    """Runs argv fed N, standard output to /dev/null; returns the wall
    seconds and the finished process."""
    with open(os.path.join(WORK, "input"), "w") as f:
        f.write("%d\n" % n)
    with open(os.path.join(WORK, "input")) as stdin:
        start = time.perf_counter()
        proc = subprocess.run(argv, cwd=WORK, stdin=stdin,
                              stdout=subprocess.DEVNULL, **options)
        wall = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit("%s failed" % argv[0])
    return wall, proc


def listing(n):
    """Runs the program once and keeps its result file for the floor."""
    run([PROGRAM], n)
    kept = os.path.join(BUILD, "run", "listing-%d.txt" % n)
    shutil.copyfile(os.path.join(BUILD, "run", "yorv-.txt"), kept)
    with open(kept, "rb") as f:
        return kept, f.read().count(b"\n") - 1


def wall_times():
    print("median of %d runs    program     floor  streams   program/floor"
          "  streams/floor" % RUNS)
    for n in (50, 55, 60):
        kept, count = listing(n)
        commands = [[PROGRAM], [FLOOR, kept], [FLOOR, "--streams", kept]]
        times = [[], [], []]
        for _ in range(RUNS):
            for command, samples in zip(commands, times):
                samples.append(run(command, n)[0])
        program, floor, streams = (statistics.median(t) * 1e3 for t in times)
        print("N=%d (%7d lines) %6.1f ms %6.1f ms %6.1f ms  %.3f  %.3f"
              % (n, count, program, floor, streams, program / floor,
                 streams / floor))


def instructions(n=40):
    kept, count = listing(n)
    for name, command in (("program", [PROGRAM]),
                          ("stream floor", [FLOOR, "--streams", kept])):
        out = run(["valgrind", "--tool=callgrind",
                   "--callgrind-out-file=/dev/null"] + command, n,
                  stderr=subprocess.PIPE)[1].stderr
        total = int(re.search(rb"Collected : (\d+)", out).group(1))
        print("N=%d, %s: %d instructions, %.0f per partition (start-up "
              "included)" % (n, name, total, total / count))


def memory():
    """Peak resident set from GNU time: a child forked from Python would
    report Python's own peak, which Linux keeps across exec."""
    peaks = {}
    for n in (20, 60):
        err = run(["/usr/bin/time", "-f", "%M", PROGRAM], n,
                  stderr=subprocess.PIPE)[1].stderr
        peaks[n] = int(err.split()[-1])
    print("peak memory: N=20 %d KiB, N=60 %d KiB" % (peaks[20], peaks[60]))


if __name__ == "__main__":
    build()
    wall_times()
    instructions()
    memory()
