# Job benchmark for netns_harness.sh: EMCB_BENCH_ROUNDS jobs between the namespaces,
# each timed from the BOOTP reply to the job's result (both read off the log's
# timestamps) and with the configurator's peak resident memory.
# shellcheck shell=bash

# shellcheck source=tests/netns/job_scenarios.sh
source "$EMCB_SOURCE_DIR/tests/netns/job_scenarios.sh"

# Milliseconds of the day from the log's "HH:MM:SS.mmm" at the start of a line.
line_ms() {
  awk -F'[:. ]' '{ print (($1 * 60 + $2) * 60 + $3) * 1000 + $4; exit }'
}

scenario_job_bench() {
  require_programs
  local rounds=${EMCB_BENCH_ROUNDS:-5}
  for round in $(seq 1 "$rounds"); do
    in_board ip addr flush dev "$EMCB_IF_BOARD"
    start_board
    # ru_maxrss of the child: its peak resident set, in KiB.
    in_computer python3 -c '
import resource, subprocess, sys
status = subprocess.call(sys.argv[1:], stdin=subprocess.DEVNULL,
                         stdout=open(sys.argv[1] and "/dev/null", "w"), stderr=sys.stderr)
print("peak_kib", resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss, file=sys.stderr)
sys.exit(status)' "$EMCB_CONFIG" program --verbose --timeout 60 --ip 10.9.9.20 \
      2>"$EMCB_NS_WORK/round.log" || fail "round $round: the job failed"
    wait "$board_pid" || fail "round $round: the board failed"
    local reply result peak
    reply=$(grep 'CBootP::SendBootP' "$EMCB_NS_WORK/round.log" | line_ms)
    result=$(grep 'ProgrammingJob - Programming Complete' "$EMCB_NS_WORK/round.log" | line_ms)
    peak=$(awk '/^peak_kib/ { print $2 }' "$EMCB_NS_WORK/round.log")
    echo "round $round: BOOTP reply to result $((result - reply)) ms, peak RSS ${peak} KiB"
  done
}
