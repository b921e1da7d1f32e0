# Adapters that come and go while a job runs, for netns_harness.sh: the computer's
# adapter gets its address only after the job has started (the board powered after
# the click), and adapters lose their address or vanish while the job waits for the
# board. Needs EMCB_CONFIG and EMCB_BOARD_SIM.
# shellcheck shell=bash

# shellcheck source=tests/netns/job_scenarios.sh
source "$(dirname "${BASH_SOURCE[0]}")/job_scenarios.sh"

# program_in_background [options]: the job with its log on standard error
# (program.log), in the background; its pid in program_pid.
program_in_background() {
  in_computer timeout 150 "$EMCB_CONFIG" program --json --verbose "$@" </dev/null \
    >"$EMCB_NS_WORK/program.json" 2>"$EMCB_NS_WORK/program.log" &
  program_pid=$!
}

wait_program() {
  program_status=0
  wait "$program_pid" || program_status=$?
}

log_has() { grep -qF -- "$1" "$EMCB_NS_WORK/program.log"; }

# Milliseconds of the day (UTC, as the log writes it): now, and at the first log line
# that holds TEXT.
to_ms() { awk -F'[:. ]' '{ print (($1 * 60 + $2) * 60 + $3) * 1000 + $4 }'; }
now_ms() { date -u +%H:%M:%S.%3N | to_ms; }
log_ms() {
  grep -F -- "$1" "$EMCB_NS_WORK/program.log" | grep -m1 -E '^[0-9]{2}:[0-9]{2}:' | to_ms
}

# expect_adapter_stages KIND ADAPTER ADDRESS [COUNT]: the job's JSON lists COUNT
# (default 1) stages of KIND for that adapter ("*": any, as Windows names adapters by
# GUID) and address, their text as shown.
expect_adapter_stages() {
  python3 - "$EMCB_NS_WORK/program.json" "$@" <<'PY' || fail "no $1 stage for $2 ($3)"
import json, sys
path, kind, adapter, address, *count = sys.argv[1:]
stages = [s for s in json.load(open(path))["stages"] if s["stage"] == kind]
mine = [s for s in stages if adapter in ("*", s["adapter"]) and s["address"] == address]
words = "is now served" if kind == "adapter-served" else "is no longer served"
ok = len(mine) == int(count[0] if count else 1) and \
    all(s["text"].startswith(f"Adapter {s['adapter']} ({address}) {words}") for s in mine)
if not ok:
    print(kind, "stages:", stages)
sys.exit(0 if ok else 1)
PY
}

# The board is cabled straight to the computer and powered after the click: the
# computer's adapter has no IPv4 address when the job starts and gets it 3 s
# (EMCB_ADDRESS_DELAY) later.
scenario_address_comes_after_the_job_starts() {
  require_programs
  ip -n "$EMCB_NS_COMPUTER" addr del 10.9.9.1/24 dev "$EMCB_IF_COMPUTER"
  start_board --attempts 40
  program_in_background --timeout 40 --ip 10.9.9.40 --nickname "Powered late"
  sleep "${EMCB_ADDRESS_DELAY:-3}"
  ip -n "$EMCB_NS_COMPUTER" addr add 10.9.9.1/24 brd + dev "$EMCB_IF_COMPUTER"
  local added_ms
  added_ms=$(now_ms)
  wait_program
  expect_programmed 10.9.9.40 "Powered late"
  log_has 'No network adapter can answer BOOTP requests (UDP port 67)' ||
    fail "nothing answered at the start, and the user was not told"
  grep -q '"bootp_interfaces":0' "$EMCB_NS_WORK/program.json" || fail "BOOTP shown as serving at the start"
  expect_adapter_stages adapter-served "$EMCB_IF_COMPUTER" 10.9.9.1
  local served_ms reply_ms
  served_ms=$(log_ms "Adapter $EMCB_IF_COMPUTER (10.9.9.1) is now served")
  reply_ms=$(log_ms 'CBootP::SendBootP')
  [ -n "$served_ms" ] && [ -n "$reply_ms" ] || fail "no served line or no reply in the log"
  [ $((served_ms - added_ms)) -le 2000 ] ||
    fail "the adapter was served $((served_ms - added_ms)) ms after its address appeared"
  echo "address to served: $((served_ms - added_ms)) ms; address to first reply: $((reply_ms - added_ms)) ms"
  echo "program: $(cat "$EMCB_NS_WORK/program.json")"
}

# Two more adapters are served when the job starts; while it waits for the board one
# loses its address (the stranger's) and one vanishes (a veth pair of the computer's
# own, deleted). The board on the first adapter is then programmed as ever.
scenario_adapters_lost_mid_job_leave_the_board_served() {
  require_programs
  add_stranger
  local dummy=vbdm$$
  ip -n "$EMCB_NS_COMPUTER" link add "$dummy" type veth peer name "vbdp$$"
  ip -n "$EMCB_NS_COMPUTER" addr add 10.9.7.1/24 brd + dev "$dummy"
  ip -n "$EMCB_NS_COMPUTER" link set "$dummy" up
  program_in_background --timeout 60 --ip 10.9.9.41 --nickname "Left behind"
  wait_until 100 "BOOTP did not start on three adapters" \
    grep -qE '\] Answering BOOTP on ([^,]*, ){2}[^,]*$' "$EMCB_NS_WORK/program.log"
  ip -n "$EMCB_NS_COMPUTER" addr del 10.9.8.1/24 dev "$EMCB_IF_SECOND"
  ip -n "$EMCB_NS_COMPUTER" link del "$dummy"
  local lost_ms
  lost_ms=$(now_ms)
  wait_until 50 "the lost adapters are still served" \
    grep -qF "Adapter $dummy (10.9.7.1) is no longer served" "$EMCB_NS_WORK/program.log"
  wait_until 50 "the adapter without its address is still served" \
    grep -qF "Adapter $EMCB_IF_SECOND (10.9.8.1) is no longer served" "$EMCB_NS_WORK/program.log"
  start_board
  wait_program
  expect_programmed 10.9.9.41 "Left behind"
  expect_adapter_stages adapter-no-longer-served "$EMCB_IF_SECOND" 10.9.8.1
  expect_adapter_stages adapter-no-longer-served "$dummy" 10.9.7.1
  expect_adapter_stages adapter-served "$EMCB_IF_COMPUTER" 10.9.9.1 0
  grep -q '"bootp_interfaces":3' "$EMCB_NS_WORK/program.json" || fail "BOOTP was not on three adapters"
  echo "address removed to no longer served: $(($(log_ms "Adapter $EMCB_IF_SECOND (10.9.8.1) is no longer served") - lost_ms)) ms;" \
    "adapter deleted to no longer served: $(($(log_ms "Adapter $dummy (10.9.7.1) is no longer served") - lost_ms)) ms"
  echo "program: $(cat "$EMCB_NS_WORK/program.json")"
}

# The same under Wine: the Windows build's program, with a prefix of its own in the
# computer's namespace, sees the adapter get its address through GetAdaptersInfo.
scenario_windows_address_comes_after_the_job_starts() {
  prepare_wine
  ip -n "$EMCB_NS_COMPUTER" addr del 10.9.9.1/24 dev "$EMCB_IF_COMPUTER"
  start_board --attempts 60
  in_wine program --json --verbose --timeout 60 --ip 10.9.9.42 --nickname "Wine, powered late" \
    </dev/null >"$EMCB_NS_WORK/program.json" 2>"$EMCB_NS_WORK/program.log" &
  program_pid=$!
  # Wine's start-up in a fresh namespace takes a few seconds: wait for the job itself.
  wait_until 600 "the job did not start" grep -qF 'No adapter answers BOOTP' "$EMCB_NS_WORK/program.log"
  sleep 3
  ip -n "$EMCB_NS_COMPUTER" addr add 10.9.9.1/24 brd + dev "$EMCB_IF_COMPUTER"
  local added_ms
  added_ms=$(now_ms)
  wait_program
  stop_wine
  expect_programmed 10.9.9.42 "Wine, powered late"
  expect_adapter_stages adapter-served '*' 10.9.9.1
  grep -F 'GetAdaptersInfo' "$EMCB_NS_WORK/program.log" | head -4
  echo "address to served: $(($(log_ms "is now served") - added_ms)) ms"
  echo "program (Windows build): $(cat "$EMCB_NS_WORK/program.json")"
}
