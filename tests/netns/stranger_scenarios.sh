# Other hosts on the network during a job, for netns_harness.sh: a third host (the
# stranger, on a second adapter of the computer) floods ports, asks for the firmware
# itself, or sends junk, while a whole simulated board is programmed. Needs
# EMCB_CONFIG and EMCB_BOARD_SIM.
# shellcheck shell=bash

# shellcheck source=tests/netns/job_scenarios.sh
source "$(dirname "${BASH_SOURCE[0]}")/job_scenarios.sh"

readonly STRANGER_HOST="$(dirname "${BASH_SOURCE[0]}")/stranger_host.py"
readonly PEAK_LIMIT_KIB=16384    # the configurator's resident memory at its peak
readonly LOG_LIMIT_BYTES=1048576  # its whole log during a flooded job

# stranger NAME ARGS...: stranger_host.py in the stranger's namespace, in the
# background; its JSON in NAME.json, its pid added to stranger_pids.
stranger_pids=()
stranger() {
  local name=$1
  shift
  in_stranger python3 "$STRANGER_HOST" "$@" >"$EMCB_NS_WORK/$name.json" 2>"$EMCB_NS_WORK/$name.err" &
  stranger_pids+=($!)
}

wait_strangers() {
  local pid
  for pid in "${stranger_pids[@]}"; do
    wait "$pid" || fail "a stranger ended with status $?"
  done
  stranger_pids=()
}

# program_verbose [options]: the job with its log on standard error (program.log) and
# its peak resident memory in KiB (program.peak); sets program_status. The job's time
# limit is job_timeout seconds (120 unless set).
program_verbose() {
  program_status=0
  in_computer timeout 150 python3 -c '
import resource, subprocess, sys
status = subprocess.call(sys.argv[2:], stdin=subprocess.DEVNULL)
with open(sys.argv[1], "w") as out:
    out.write(str(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))
sys.exit(status)' "$EMCB_NS_WORK/program.peak" "$EMCB_CONFIG" program --json --verbose --timeout "${job_timeout:-120}" "$@" \
    >"$EMCB_NS_WORK/program.json" 2>"$EMCB_NS_WORK/program.log" || program_status=$?
}

expect_no_question() {
  ! grep -q "is not responding" "$EMCB_NS_WORK/program.log" || fail "the job asked whether the board responds"
}

# Milliseconds of the day at the log line that first holds TEXT.
log_ms() {
  grep -m1 -F -- "$1" "$EMCB_NS_WORK/program.log" |
    awk -F'[:. ]' '{ print (($1 * 60 + $2) * 60 + $3) * 1000 + $4 }'
}

# 400 datagrams a second at port 67 of the second adapter for 20 s, broadcast and
# unicast, nearly all of them 300 bytes or longer; the board asks on its own adapter.
scenario_stranger_floods_port_67_on_another_adapter() {
  require_programs
  add_stranger
  stranger broadcast flood 10.9.8.255 67 4000 20 --broadcast --kind bootp --seed 1
  stranger unicast flood 10.9.8.1 67 4000 20 --kind bootp --seed 2
  sleep 1
  start_board
  program_verbose --ip 10.9.9.30 --nickname "Beside a flood"
  expect_programmed 10.9.9.30 "Beside a flood"
  expect_no_question
  wait_strangers
  grep -q '"bootp_interfaces":2' "$EMCB_NS_WORK/program.json" || fail "BOOTP is not on both adapters"
  echo "strangers: $(cat "$EMCB_NS_WORK/broadcast.json") $(cat "$EMCB_NS_WORK/unicast.json")"
  echo "program: $(cat "$EMCB_NS_WORK/program.json")"
  grep -F "CBootP::SendBootP" "$EMCB_NS_WORK/program.log" | head -3
}

# A well-formed read request from the stranger 0.6 s before the board's, never
# acknowledged: the board still gets its firmware, and nobody is asked anything.
scenario_stranger_asks_for_the_firmware_first_and_never_acknowledges() {
  require_programs
  add_stranger
  start_board --tftp-delay 0.6
  stranger rrq rrq 10.9.8.1 69 "$EMCB_NS_WORK/board.json" '"mode":"bootp"' 8
  program_verbose --ip 10.9.9.31 --nickname "Second in line"
  expect_programmed 10.9.9.31 "Second in line"
  expect_no_question
  wait_strangers
  local stranger_ms board_ms
  stranger_ms=$(log_ms 'CTftp::StartRead - "x" from 10.9.8.2')
  board_ms=$(log_ms 'CTftp::StartRead - "d:\a.bin" from 10.9.9.100')
  [ -n "$stranger_ms" ] && [ -n "$board_ms" ] || fail "both requests should have been served"
  [ $((board_ms - stranger_ms)) -ge 400 ] ||
    fail "the stranger asked only $((board_ms - stranger_ms)) ms before the board"
  echo "the stranger asked $((board_ms - stranger_ms)) ms before the board"
  echo "stranger: $(cat "$EMCB_NS_WORK/rrq.json")"
  grep -F "CTftp::" "$EMCB_NS_WORK/program.log" | grep -v "Error in" | head -8
}

# Junk at port 69 from the stranger while the board asks: many begin 00 01 and hold
# zero bytes, none is a well-formed read request.
scenario_junk_at_port_69_while_the_board_asks() {
  require_programs
  add_stranger
  stranger junk flood 10.9.8.1 69 3000 15 --kind tftp --seed 3
  start_board
  program_verbose --ip 10.9.9.32 --nickname "Through junk"
  expect_programmed 10.9.9.32 "Through junk"
  expect_no_question
  wait_strangers
  grep -q 'not a read request' "$EMCB_NS_WORK/program.log" || fail "no junk was seen"
  echo "stranger: $(cat "$EMCB_NS_WORK/junk.json")"
  echo "program: $(cat "$EMCB_NS_WORK/program.json")"
}

# 100,000 malformed datagrams of 0 to 9000 bytes at each of ports 67 (half broadcast,
# half unicast), 69 and 5020 (once the link is up, since its first sender is the peer).
scenario_floods_on_every_port() {
  require_programs
  add_stranger
  local count=${EMCB_FLOOD_COUNT:-100000}
  stranger flood67b flood 255.255.255.255 67 $((count / 2)) 15 --broadcast --kind bootp --seed 11
  stranger flood67u flood 10.9.8.1 67 $((count / 2)) 15 --kind bootp --seed 12
  stranger flood69 flood 10.9.8.1 69 "$count" 15 --kind tftp --seed 13
  start_board
  # The link is up once the board has its firmware and has spoken to port 5020.
  (
    local tries=0
    until grep -q '"mode":"tftp"' "$EMCB_NS_WORK/board.json" 2>/dev/null; do
      tries=$((tries + 1))
      [ "$tries" -lt 1200 ] || exit 1
      sleep 0.05
    done
    in_stranger python3 "$STRANGER_HOST" flood 10.9.8.1 5020 "$count" 0 --seed 14 \
      >"$EMCB_NS_WORK/flood5020.json"
  ) &
  stranger_pids+=($!)
  program_verbose --ip 10.9.9.33 --nickname "Flooded"
  expect_programmed 10.9.9.33 "Flooded"
  expect_no_question
  wait_strangers
  local peak log_bytes
  peak=$(cat "$EMCB_NS_WORK/program.peak")
  log_bytes=$(stat -c %s "$EMCB_NS_WORK/program.log")
  for flood in flood67b flood67u flood69 flood5020; do
    echo "$flood: $(cat "$EMCB_NS_WORK/$flood.json")"
  done
  echo "program: $(cat "$EMCB_NS_WORK/program.json")"
  echo "peak resident memory ${peak} KiB (limit $PEAK_LIMIT_KIB); log ${log_bytes} bytes (limit $LOG_LIMIT_BYTES)"
  # A sanitizer's own memory would count against the program's.
  if [ -z "${EMCB_SANITIZED:-}" ]; then
    [ "$peak" -lt "$PEAK_LIMIT_KIB" ] || fail "the configurator's peak memory was $peak KiB"
  fi
  [ "$log_bytes" -lt "$LOG_LIMIT_BYTES" ] || fail "the log grew to $log_bytes bytes"
  grep -F "more datagrams dropped" "$EMCB_NS_WORK/program.log" | head -6
}

# add_stranger_addresses N: N more addresses of the stranger's host, from 10.9.8.3 on,
# in stranger_addresses.
add_stranger_addresses() {
  stranger_addresses=()
  local k
  for ((k = 3; k < 3 + $1; k++)); do
    ip -n "$EMCB_NS_STRANGER" addr add "10.9.8.$k/24" dev "$EMCB_IF_STRANGER"
    stranger_addresses+=("10.9.8.$k")
  done
}

# The job's whole time, and from the board's address to the outcome, from program.json.
job_times() {
  python3 - "$EMCB_NS_WORK/program.json" <<'PY'
import json, sys
stages = json.load(open(sys.argv[1]))["stages"]
given = next(s["ms"] for s in stages if s["stage"] == "address-given")
print(f'{stages[-1]["ms"]} ms to "{stages[-1]["text"]}", {stages[-1]["ms"] - given} ms after the address was given')
PY
}

# The strangers' TFTP clients start once the board has its address, and stop once the
# job is over (or after 50 s).
readonly BOARD_HAS_ITS_ADDRESS='"mode":"bootp"'
hold_tftp() {  # NAME ADDRESS... [hold options]
  local name=$1
  shift
  stranger "$name" hold 10.9.8.1 69 "$EMCB_NS_WORK/board.json" "$BOARD_HAS_ITS_ADDRESS" 50 "$@" \
    --stop "$EMCB_NS_WORK/strangers.stop"
}

stop_strangers() {
  touch "$EMCB_NS_WORK/strangers.stop"
  wait_strangers
}

# Four clients on the stranger's host take every TFTP place before the board asks and
# hold on to them by acknowledging block 1 again every 1.5 s; a fifth stalls after its
# first acknowledgement. The board is served all the same, and nobody is asked
# anything.
scenario_strangers_holding_every_tftp_place_before_the_board_asks() {
  require_programs
  add_stranger
  add_stranger_addresses 5
  local a=("${stranger_addresses[@]}")
  start_board --tftp-delay 1.5
  hold_tftp holders "${a[@]:0:4}"
  hold_tftp staller "${a[4]}" --once --delay 0.3
  job_timeout=40 program_verbose --ip 10.9.9.34 --nickname "Served first"
  stop_strangers
  expect_programmed 10.9.9.34 "Served first"
  expect_no_question
  python3 - "$EMCB_NS_WORK/holders.json" "$EMCB_NS_WORK/staller.json" <<'PY' || fail "a stranger was not served"
import json, sys
for path in sys.argv[1:]:
    for address, counts in json.load(open(path))["clients"].items():
        if counts["data_received"] == 0:
            sys.exit(f"{address} got no block")
PY
  grep -q "its place goes to 10.9.9.100:" "$EMCB_NS_WORK/program.log" ||
    fail "the board found a free place: the strangers did not hold them all"
  local board_ms done_ms
  board_ms=$(log_ms 'CTftp::StartRead - "d:\a.bin" from 10.9.9.100')
  done_ms=$(log_ms 'CTftp::HandlePacket - transfer of OrvanClient.bin to 10.9.9.100')
  echo "the board's transfer: $((done_ms - board_ms)) ms from its request to its last block"
  echo "job: $(job_times)"
  for name in holders staller; do echo "$name: $(cat "$EMCB_NS_WORK/$name.json")"; done
  grep -E "CTftp::(ReceiveTftp|HandleTftpRead|ServerThread) - " "$EMCB_NS_WORK/program.log" |
    grep -v "ignored 4 bytes" | head -12
}

# One client on the stranger's host asks for the firmware, acknowledges block 1 and
# falls silent, 4 s before the board asks: nobody is asked whether the board responds.
scenario_stranger_stalling_after_block_1_asks_nothing() {
  require_programs
  add_stranger
  start_board --tftp-delay 4
  hold_tftp staller 10.9.8.2 --once
  program_verbose --ip 10.9.9.35 --nickname "Not asked"
  stop_strangers
  expect_programmed 10.9.9.35 "Not asked"
  expect_no_question
  echo "job: $(job_times)"
  grep -F "10.9.8.2" "$EMCB_NS_WORK/program.log" | grep -F "CTftp::" | head -4
}

# A client on the stranger's host asks for the firmware and answers block 1 with 200
# TFTP ERRORs in 2 s, before the board asks: no flash-error message is shown (the
# command line prints each message box on standard error), the board is programmed.
scenario_stranger_sending_tftp_errors_shows_no_flash_error() {
  require_programs
  add_stranger
  start_board --tftp-delay 3
  stranger errors errors 10.9.8.1 69 "$EMCB_NS_WORK/board.json" "$BOARD_HAS_ITS_ADDRESS" 200 2
  program_verbose --ip 10.9.9.36 --nickname "No false alarm"
  wait_strangers
  expect_programmed 10.9.9.36 "No false alarm"
  local boxes
  boxes=$(grep -c "Error programming the flash" "$EMCB_NS_WORK/program.log" || true)
  [ "$boxes" -eq 0 ] || fail "$boxes flash-error messages for a stranger's ERRORs"
  echo "stranger: $(cat "$EMCB_NS_WORK/errors.json")"
  echo "job: $(job_times)"
  grep -F "10.9.8.2" "$EMCB_NS_WORK/program.log" | grep -F "CTftp::" | head -4
}
