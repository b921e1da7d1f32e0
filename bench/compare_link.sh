#!/usr/bin/env bash
# Runs the link benchmarks and prints the link's message rate against a plain UDP
# ping-pong of the same datagrams, then the CPU time an idle link uses.
#
# Each case runs in a process of its own, several rounds, the cases in a new random
# order each round so that a change in machine load hits all of them alike; medians
# are compared and the spread (coefficient of variation) of each case is shown.
#
# Usage: compare_link.sh [BENCH_DIR] [--repetitions N] [--min-time SECONDS]
#   BENCH_DIR holds link_bench and link_idle_cpu (default: out/bench/bench).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bench_dir="$root/out/bench/bench"
repetitions=5
min_time=1
while [ $# -gt 0 ]; do
  case $1 in
    --repetitions) repetitions=$2; shift 2 ;;
    --min-time) min_time=$2; shift 2 ;;
    -h | --help) sed -n '2,11p' "$0"; exit 0 ;;
    *) bench_dir=$1; shift ;;
  esac
done
for program in link_bench link_idle_cpu; do
  [ -x "$bench_dir/$program" ] || { echo "compare_link.sh: no $bench_dir/$program" >&2; exit 2; }
done

python3 - "$bench_dir/link_bench" "$repetitions" "$min_time" <<'EOF'
import json, random, statistics, subprocess, sys

binary, repetitions, min_time = sys.argv[1], int(sys.argv[2]), sys.argv[3]
sizes = (64, 1024)
kinds = ("Link", "PingPong", "PingPongRaised")
cases = [(kind, size) for kind in kinds for size in sizes]
samples = {case: [] for case in cases}

def run(kind, size):
    result = subprocess.run(
        [binary, f"--benchmark_filter=^{kind}/{size}/", "--benchmark_format=json",
         f"--benchmark_min_time={min_time}"],
        check=True, capture_output=True, text=True)
    runs = json.loads(result.stdout)["benchmarks"]
    if len(runs) != 1 or "error_message" in runs[0]:
        sys.exit(f"{kind}/{size}: unexpected benchmark output {runs}")
    return runs[0]["items_per_second"]

for _ in range(repetitions):
    order = list(cases)
    random.shuffle(order)
    for case in order:
        samples[case].append(run(*case))

median = lambda case: statistics.median(samples[case])
spread = lambda case: statistics.pstdev(samples[case]) / statistics.mean(samples[case])

print(f"Messages per second over loopback, median of {repetitions} runs; ratio = link / "
      "ping-pong (raised: the ping-pong's sender at the link threads' priority)")
print(f"{'payload':<9}{'link':>10}{'(cv)':>6}{'ping-pong':>11}{'(cv)':>6}{'ratio':>7}"
      f"{'raised':>10}{'(cv)':>6}{'ratio':>7}")
for size in sizes:
    link, pong, raised = (("Link", size), ("PingPong", size), ("PingPongRaised", size))
    print(f"{str(size) + ' B':<9}{median(link):>10,.0f}{spread(link):>6.0%}"
          f"{median(pong):>11,.0f}{spread(pong):>6.0%}{median(link) / median(pong):>7.2f}"
          f"{median(raised):>10,.0f}{spread(raised):>6.0%}{median(link) / median(raised):>7.2f}")
EOF

echo
echo "Idle link, 10 s:"
"$bench_dir/link_idle_cpu"
