# A board programmed earlier still on the network, for netns_harness.sh: it already
# runs its firmware at a fixed address on the board's cable (board-sim link with
# --address) and sends its status datagrams to the computer's port 5020 every 100 ms
# from before the job starts, acknowledging whatever it gets. The job must program
# the board BOOTP serves and write nothing to the earlier one. Needs EMCB_CONFIG and
# EMCB_BOARD_SIM.
# shellcheck shell=bash

# shellcheck source=tests/netns/job_scenarios.sh
source "$(dirname "${BASH_SOURCE[0]}")/job_scenarios.sh"
# shellcheck source=tests/netns/production_scenarios.sh
source "$(dirname "${BASH_SOURCE[0]}")/production_scenarios.sh"

# start_earlier_board ADDRESS: the earlier board at ADDRESS, its summary in earlier.json;
# returns once it sends. Not through in_board, so that earlier_pid is the board's own.
start_earlier_board() {
  ip netns exec "$EMCB_NS_BOARD" "$EMCB_BOARD_SIM" link --interface "$EMCB_IF_BOARD" --address "$1" \
    --server 10.9.9.1 --duration 90 --flash "$EMCB_NS_WORK/earlier-flash.bin" \
    >"$EMCB_NS_WORK/earlier.json" 2>"$EMCB_NS_WORK/earlier.log" &
  earlier_pid=$!
  wait_until 100 "the earlier board did not start" grep -q 'link mode, local port' "$EMCB_NS_WORK/earlier.log"
}

# earlier KEY: a value of the earlier board's summary.
earlier() {
  python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))[sys.argv[2]])' \
    "$EMCB_NS_WORK/earlier.json" "$1" || fail "no $1 in the earlier board's summary"
}

# stop_earlier_board: ends it and checks that nothing reached it.
stop_earlier_board() {
  kill -TERM "$earlier_pid" 2>/dev/null || true
  wait "$earlier_pid" || fail "the earlier board ended with status $?"
  [ "$(earlier datagrams_received)" -eq 0 ] ||
    fail "the earlier board received $(earlier datagrams_received) datagrams"
  [ "$(earlier config_writes)" -eq 0 ] || fail "the earlier board was sent a configuration"
  [ ! -e "$EMCB_NS_WORK/earlier-flash.bin" ] || fail "the earlier board stored a block"
  [ "$(earlier datagrams_sent)" -ge 20 ] ||
    fail "the earlier board sent only $(earlier datagrams_sent) datagrams"
}

# job_times: the milliseconds from the job's start to its outcome, and the seconds
# from the BOOTP reply to it.
job_times() {
  python3 -c 'import json,sys; j=json.load(open(sys.argv[1])); print("%d ms, %.3f s from the BOOTP reply" % (j["stages"][-1]["ms"], j["seconds"]))' \
    "$EMCB_NS_WORK/program.json"
}

# earlier_board_case ADDRESS GIVEN: the earlier board at ADDRESS; the new board, fitted
# 2 s after the job started, must be given GIVEN and programmed.
earlier_board_case() {
  require_programs
  start_earlier_board "$1"
  in_computer timeout 150 "$EMCB_CONFIG" program --json --verbose --timeout 60 \
    --ip 10.9.9.22 --nickname "New board" </dev/null \
    >"$EMCB_NS_WORK/program.json" 2>"$EMCB_NS_WORK/program.log" &
  local job=$!
  sleep 2
  start_board
  program_status=0
  wait "$job" || program_status=$?
  expect_programmed 10.9.9.22 "New board"
  stop_earlier_board
  expect_stage bootp yiaddr "$2"
  grep -q "^\[ *[0-9.]* s\] Board heard on the link from ${2//./\\.}:" "$EMCB_NS_WORK/program.log" ||
    fail "the board was not heard at $2"
  [ "$(grep -c "ignoring datagrams from ${1//./\\.}:" "$EMCB_NS_WORK/program.log")" -eq 1 ] ||
    fail "the log does not say once that the earlier board at $1 was ignored"
  echo "job: $(job_times); the earlier board at $1 sent $(earlier datagrams_sent), received $(earlier datagrams_received)"
  grep -F "ignoring datagrams from" "$EMCB_NS_WORK/program.log"
  grep -F "datagrams from other senders" "$EMCB_NS_WORK/program.log" || true
}

scenario_earlier_board_keeps_talking_to_port_5020() {
  earlier_board_case 10.9.9.21 10.9.9.100
}

# The earlier board holds the first pool address: the computer's ARP table maps it to
# the earlier board's hardware address, so the pool gives the next one.
scenario_earlier_board_at_the_first_pool_address() {
  earlier_board_case 10.9.9.100 10.9.9.101
}

# A run of many boards whose first row configures 10.9.9.100, the first pool address:
# board 1, done, comes up there again (jumper still fitted) and talks while board 2 is
# served. The second job's pool must not give 10.9.9.100 again.
scenario_run_never_reissues_a_refused_address() {
  require_programs
  asking_again_run 10.9.9.100
  grep '"mode":"ask-again"' "$EMCB_NS_WORK/board.json"
  cat "$EMCB_NS_WORK/report.csv"
}
