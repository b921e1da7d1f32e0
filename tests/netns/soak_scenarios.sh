# The soak for netns_harness.sh: EMCB_SOAK_BOARDS simulated boards (10 unless set)
# programmed one after another by one process (job_soak, in EMCB_JOB_SOAK), each
# losing 20 % of the link's datagrams each way; every stored block is compared with
# the one the configurator builds. Needs EMCB_JOB_SOAK, EMCB_CONFIG, EMCB_BOARD_SIM.
# shellcheck shell=bash

readonly SOAK_LOSS=0.2

# wait_for_line FILE TEXT: until FILE holds a line that is TEXT, for at most 120 s.
wait_for_line() {
  local tries=0
  until grep -qx -- "$2" "$1" 2>/dev/null; do
    tries=$((tries + 1))
    [ "$tries" -lt 2400 ] || fail "no '$2' in $(basename "$1")"
    kill -0 "$soak_pid" 2>/dev/null || grep -qx -- "$2" "$1" || fail "job_soak ended early"
    sleep 0.05
  done
}

scenario_soak() {
  require_program EMCB_JOB_SOAK EMCB_CONFIG EMCB_BOARD_SIM
  local rounds=${EMCB_SOAK_BOARDS:-10}
  local start=$SECONDS
  in_computer "$EMCB_JOB_SOAK" "$rounds" "$EMCB_NS_WORK" >"$EMCB_NS_WORK/soak.out" \
    2>"$EMCB_NS_WORK/soak.log" &
  soak_pid=$!
  local round
  for round in $(seq 1 "$rounds"); do
    wait_for_line "$EMCB_NS_WORK/soak.out" "ready $round"
    in_board ip addr flush dev "$EMCB_IF_BOARD"
    local mac
    mac=$(printf '02:00:00:00:0d:%02x' $((round % 256)))
    in_board "$EMCB_BOARD_SIM" board --interface "$EMCB_IF_BOARD" --mac "$mac" \
      --interval 1 --attempts 20 --duration 90 --flash "$EMCB_NS_WORK/flash-$round.bin" \
      --drop-rx "$SOAK_LOSS" --drop-tx "$SOAK_LOSS" --link-faults-only --seed "$round" \
      >"$EMCB_NS_WORK/board-$round.json" 2>"$EMCB_NS_WORK/board-$round.log" ||
      fail "board $round ended with status $?"
    "$EMCB_CONFIG" block --ip "10.9.9.$((20 + round % 200))" --nickname "Soak board $round" \
      --out "$EMCB_NS_WORK/expected-$round.bin" 2>/dev/null
    cmp -s "$EMCB_NS_WORK/expected-$round.bin" "$EMCB_NS_WORK/flash-$round.bin" ||
      fail "board $round stored another block"
  done
  local status=0
  wait "$soak_pid" || status=$?
  grep '^{' "$EMCB_NS_WORK/soak.out"
  [ "$status" -eq 0 ] || fail "job_soak ended with status $status"
  local programmed
  programmed=$(grep -c '"outcome":"programmed"' "$EMCB_NS_WORK/soak.out")
  [ "$programmed" -eq "$rounds" ] || fail "$programmed of $rounds jobs programmed"
  echo "soak: $rounds boards programmed, $rounds stored blocks right, threads and" \
    "descriptors back after every job, $((SECONDS - start)) s in all"
}

# The test run's soak.
scenario_ten_boards_lossy_link() {
  EMCB_SOAK_BOARDS=10 scenario_soak
}
