# SPDX-License-Identifier: MIT
# Whole commands timed in turn, so that a drifting machine moves them alike;
# the first round only warms the caches. Prints each median, then any ratio
# or difference of medians asked for.
#   python3 paired.py RUNS NAME COMMAND [NAME COMMAND ...]
#       [--ratio NAME NAME] [--difference NAME NAME]
import shlex
import statistics
import subprocess
import sys
import time


def main(argv):
    runs = int(argv[0])
    words = argv[1:]
    comparisons = []
    while len(words) >= 3 and words[-3] in ("--ratio", "--difference"):
        comparisons.insert(0, tuple(words[-3:]))
        words = words[:-3]
    commands = dict(zip(words[0::2], (shlex.split(command) for command in words[1::2])))
    times = {name: [] for name in commands}
    for run in range(runs + 1):
        for name, command in commands.items():
            start = time.perf_counter()
            done = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL, check=False)
            # 1 is a finished count that met characters without one.
            if done.returncode not in (0, 1):
                sys.exit(f"{name}: status {done.returncode}")
            if run > 0:
                times[name].append((time.perf_counter() - start) * 1000)
    medians = {name: statistics.median(values) for name, values in times.items()}
    for name, values in times.items():
        print(f"{name:26s} median {medians[name]:7.1f} ms  "
              f"(min {min(values):.1f}, max {max(values):.1f}, {len(values)} runs)")
    for kind, first, second in comparisons:
        if kind == "--ratio":
            print(f"{first} / {second}: {medians[first] / medians[second]:.2f} times")
        else:
            print(f"{first} - {second}: {medians[first] - medians[second]:.1f} ms")


main(sys.argv[1:])
