#!/usr/bin/env python3
"""Runs the queue benchmark and prints CQueue throughput over the baseline's.

Every case runs in a process of its own (so that no case inherits another's heap
or threads), several rounds, the cases in a new random order each round so that a
change in machine load hits all of them alike. Medians of messages per second are
compared; the spread (coefficient of variation) of each case is shown as well.

Usage: compare_queue.py [path/to/queue_bench] [--repetitions N] [--min-time SECONDS]
"""
import argparse
import json
import pathlib
import random
import statistics
import subprocess
import sys

CASES = ("OneThread", "TwoThreads")
QUEUES = ("CQueue", "MutexDeque")


def run_case(binary, case, queue, min_time):
    """Messages per second of one run of one benchmark."""
    command = [
        str(binary),
        f"--benchmark_filter=^{case}/{queue}(/|$)",
        "--benchmark_format=json",
        f"--benchmark_min_time={min_time}",
    ]
    result = subprocess.run(command, check=True, capture_output=True, text=True)
    runs = json.loads(result.stdout)["benchmarks"]
    if len(runs) != 1 or "error_message" in runs[0]:
        sys.exit(f"{case}/{queue}: unexpected benchmark output {runs}")
    return runs[0]["items_per_second"]


def main():
    default_binary = pathlib.Path(__file__).resolve().parent.parent / "out/bench/bench/queue_bench"
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("binary", nargs="?", default=default_binary, type=pathlib.Path)
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--min-time", type=float, default=0.5)
    args = parser.parse_args()

    samples = {(case, queue): [] for case in CASES for queue in QUEUES}
    for _ in range(args.repetitions):
        order = list(samples)
        random.shuffle(order)
        for case, queue in order:
            samples[(case, queue)].append(run_case(args.binary, case, queue, args.min_time))

    def median(key):
        return statistics.median(samples[key])

    def spread(key):
        values = samples[key]
        return statistics.pstdev(values) / statistics.mean(values)

    print(f"1 KiB messages, median of {args.repetitions} runs, messages per second")
    print(f"{'case':<12}{'CQueue':>14}{'(cv)':>7}{'mutex+deque':>14}{'(cv)':>7}{'ratio':>8}")
    for case in CASES:
        ours, baseline = (case, "CQueue"), (case, "MutexDeque")
        print(f"{case:<12}{median(ours):>14,.0f}{spread(ours):>7.0%}"
              f"{median(baseline):>14,.0f}{spread(baseline):>7.0%}"
              f"{median(ours) / median(baseline):>8.2f}")


if __name__ == "__main__":
    main()
