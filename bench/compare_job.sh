#!/usr/bin/env bash
# The job's time from the BOOTP reply to its result against the floor the job sets
# itself (one 200 ms poll period plus three 500 ms waits = 1700 ms), and the
# configurator's peak resident memory during a job. Runs between two network
# namespaces (root).
#
# Usage: compare_job.sh BUILD_DIR [ROUNDS]   (BUILD_DIR holds ui/cli and tools/board-sim)
set -euo pipefail
# shellcheck source=bench/namespace_bench.sh
source "$(dirname "$0")/namespace_bench.sh"
use_build "${1:?usage: compare_job.sh BUILD_DIR [ROUNDS]}"
export EMCB_BENCH_ROUNDS=${2:-5}
floor_ms=1700

results=$(bash "$root/tests/netns/netns_harness.sh" "$root/bench/job_bench_scenario.sh" job_bench)
echo "$results"
median=$(echo "$results" | awk '/^round/ { print $7 }' | sort -n |
  awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : int((v[NR / 2] + v[NR / 2 + 1]) / 2) }')
peak=$(echo "$results" | awk '/^round/ { if ($11 + 0 > p) p = $11 + 0 } END { print p }')
echo "median $median ms from the BOOTP reply to the result; floor $floor_ms ms;" \
  "over the floor $((median - floor_ms)) ms (goal <= 300)"
awk -v kib="$peak" 'BEGIN { printf "peak resident memory %.1f MiB (goal <= 16)\n", kib / 1024 }'
