# Many-boards benchmark for netns_harness.sh (bench/compare_boards.sh): one single
# job as the reference, then EMCB_BENCH_BOARDS boards in a row with their report.
# Prints "single SECONDS", "row K OUTCOME SECONDS" for each row and "wall SECONDS".
# shellcheck shell=bash

# shellcheck source=tests/netns/job_scenarios.sh
source "$EMCB_SOURCE_DIR/tests/netns/job_scenarios.sh"

scenario_boards_bench() {
  require_programs
  local count=${EMCB_BENCH_BOARDS:-20} list=$EMCB_NS_WORK/boards.csv k

  # The reference: one board, one `program` job, its seconds from the JSON summary.
  start_board
  program --ip 10.9.9.20 --nickname Reference
  [ "$program_status" -eq 0 ] || fail "the single job failed with $program_status"
  wait "$board_pid" || fail "the single board failed"
  python3 -c 'import json, sys; print("single %.3f" % json.load(open(sys.argv[1]))["seconds"])' \
    "$EMCB_NS_WORK/program.json" || fail "no seconds in the single job's summary"
  in_board ip addr flush dev "$EMCB_IF_BOARD"

  {
    echo "ip,mac,nickname"
    for k in $(seq 1 "$count"); do
      echo "10.9.9.$((20 + k)),,Axis $k"
    done
  } >"$list"
  in_board timeout $((60 + 15 * count)) "$EMCB_BOARD_SIM" board --interface "$EMCB_IF_BOARD" \
    --mac 02:00:00:00:0d:01 --boards "$count" --pause 1 --interval 1 --attempts 20 \
    --duration 60 >"$EMCB_NS_WORK/boards.json" 2>"$EMCB_NS_WORK/boards.log" &
  local boards_pid=$! status=0 started ended
  started=$(date +%s%N)
  in_computer timeout $((60 + 15 * count)) "$EMCB_CONFIG" program --boards "$list" \
    --report "$EMCB_NS_WORK/report.csv" --timeout 60 --quiet </dev/null \
    >/dev/null 2>"$EMCB_NS_WORK/run.log" || status=$?
  ended=$(date +%s%N)
  wait "$boards_pid" || true
  awk -F, 'NR > 1 { print "row", $1, $7, ($8 == "" ? "nan" : $8) }' "$EMCB_NS_WORK/report.csv"
  echo "wall $(((ended - started) / 1000000 / 1000)).$(printf '%03d' $(((ended - started) / 1000000 % 1000)))"
  [ "$status" -eq 0 ] || fail "the run of $count boards ended with $status"
}
