#!/usr/bin/env bash
# Many boards in a row: the seconds from each board's BOOTP reply to its result, as
# the report of `program --boards` gives them, for 20 simulated boards one after
# another (each fitted a second after the one before was disconnected), against the
# floor the job sets itself (one 200 ms poll period plus three 500 ms waits = 1.700 s)
# and against one single-board `program` job measured in the same run. The goal: no
# board more than 0.300 s above the floor. Runs between two network namespaces (root),
# which are removed afterwards. Not a test.
#
# Usage: compare_boards.sh BUILD_DIR [BOARDS]   (BUILD_DIR holds ui/cli and tools/board-sim)
set -euo pipefail
# shellcheck source=bench/namespace_bench.sh
source "$(dirname "$0")/namespace_bench.sh"
use_build "${1:?usage: compare_boards.sh BUILD_DIR [BOARDS]}"
export EMCB_BENCH_BOARDS=${2:-20}
case $EMCB_BENCH_BOARDS in
  [2-9] | [1-9][0-9] | 100) ;;
  *) echo "compare_boards.sh: BOARDS takes a number from 2 to 100" >&2; exit 2 ;;
esac

results=$(bash "$root/tests/netns/netns_harness.sh" "$root/bench/boards_bench_scenario.sh" boards_bench)
echo "$results"
echo "$results" | python3 -c '
import statistics, sys
floor, goal = 1.700, 0.300
single, rows, wall = None, [], None
for line in sys.stdin:
    words = line.split()
    if line.startswith("single "):
        single = float(words[1])
    elif line.startswith("row "):
        rows.append((int(words[1]), words[2], float(words[3])))
    elif line.startswith("wall "):
        wall = float(words[1])
programmed = [s for _, outcome, s in rows if outcome == "programmed"]
if single is None or not programmed:
    sys.exit("no figures")
mean, median, worst = statistics.mean(programmed), statistics.median(programmed), max(programmed)
print()
print(f"single job:     {single:.3f} s  ({single - floor:+.3f} s over the {floor:.3f} s floor)")
print(f"{len(programmed)} of {len(rows)} boards programmed in a row:")
print(f"  mean          {mean:.3f} s  ({mean - floor:+.3f} s over the floor, {mean - single:+.3f} s against the single job)")
print(f"  median        {median:.3f} s  ({median - floor:+.3f} s over the floor)")
print(f"  max           {worst:.3f} s  ({worst - floor:+.3f} s over the floor)")
if wall is not None:
    print(f"  wall time     {wall:.1f} s for the run, {wall / len(rows):.2f} s a board (BOOTP waits and the 1 s fitting pause included)")
met = len(programmed) == len(rows) and worst - floor < goal
verdict = "met" if met else "NOT met"
print(f"goal (every board under {goal:.3f} s above the floor): {verdict}")
sys.exit(0 if met else 1)
'
