# Many boards in a row, for netns_harness.sh: `emcb-config program --boards` in the
# computer's namespace, a simulated board playing several boards in turn in the
# board's namespace. Needs EMCB_CONFIG and EMCB_BOARD_SIM.
# shellcheck shell=bash

readonly FIRST_BOARD_MAC=02:00:00:00:0c:01
readonly BOARD_PREFIX=02-00-00-00-0C
readonly STRANGER_MAC=06:11:22:33:44:55

require_programs() {
  require_program EMCB_CONFIG EMCB_BOARD_SIM
}

# start_boards N [board-sim board options]: N boards in turn, their summaries in
# board.json, board K's flash in flash.bin.K (flash.bin for one board).
start_boards() {
  local count=$1
  shift
  in_board timeout 120 "$EMCB_BOARD_SIM" board --interface "$EMCB_IF_BOARD" \
    --mac "$FIRST_BOARD_MAC" --boards "$count" --interval 1 --attempts 20 --duration 40 \
    --flash "$EMCB_NS_WORK/flash.bin" "$@" \
    >"$EMCB_NS_WORK/board.json" 2>"$EMCB_NS_WORK/board.log" &
  board_pid=$!
}

# write_boards LINE...: boards.csv with the header row and these rows.
write_boards() {
  printf '%s\n' "ip,mac,nickname" "$@" >"$EMCB_NS_WORK/boards.csv"
}

# run_boards [emcb-config program options]: a run over boards.csv with its report and
# JSON; sets program_status, output in program.json and program.log.
run_boards() {
  program_status=0
  in_computer timeout 100 "$EMCB_CONFIG" program --boards "$EMCB_NS_WORK/boards.csv" \
    --report "$EMCB_NS_WORK/report.csv" --json --verbose --timeout 30 "$@" </dev/null \
    >"$EMCB_NS_WORK/program.json" 2>"$EMCB_NS_WORK/program.log" || program_status=$?
}

wait_board() {
  local status=0
  wait "$board_pid" || status=$?
  [ "$status" -eq 0 ] || fail "the simulated boards ended with status $status"
}

expect_board() {  # BOARD MODE KEY VALUE
  local actual
  actual=$(summary_value "$2" "$3" "$1") || fail "board $1: no $2 summary with $3"
  [ "$actual" = "$4" ] || fail "board $1: $2 $3 is '$actual', expected '$4'"
}

# expect_stored FLASH IP MAC NICKNAME: the board stored the block `block` builds.
expect_stored() {
  local expected=$EMCB_NS_WORK/expected.bin
  local mac=()
  [ -z "$3" ] || mac=(--mac "$3")
  "$EMCB_CONFIG" block --ip "$2" "${mac[@]}" --nickname "$4" --out "$expected" ||
    fail "emcb-config block failed for $2"
  [ -f "$1" ] || fail "no flash file $(basename "$1")"
  cmp "$expected" "$1" || fail "$(basename "$1") is not the block of $2 / '$3' / '$4'"
}

# expect_programmed_once BOARD: one configuration, its CRC right, then a disconnect.
expect_programmed_once() {
  expect_board "$1" link config_crc_ok true
  expect_board "$1" link config_writes 1
  expect_board "$1" link messages_by_command.0x8E8E 1
  expect_board "$1" link messages_by_command.0x7C7C 1
  expect_board "$1" link header_violations.total 0
}

# check_report EXPECTED_LINE...: report.csv holds the header and one line per row;
# each expected line is a regular expression for its whole row.
check_report() {
  python3 - "$EMCB_NS_WORK/report.csv" "$@" <<'PY' || fail "the report is not as expected"
import re, sys
path, *expected = sys.argv[1:]
lines = open(path, newline="").read().split("\n")
if lines and lines[-1] == "":
    lines.pop()
problems = []
if not lines or lines[0] != "row,hardware_address,bootp_address,ip,mac,nickname,outcome,seconds":
    problems.append(f"header {lines[:1]}")
rows = lines[1:]
if len(rows) != len(expected):
    problems.append(f"{len(rows)} rows, expected {len(expected)}")
for row, pattern in zip(rows, expected):
    if not re.fullmatch(pattern, row):
        problems.append(f"row '{row}' does not match '{pattern}'")
for p in problems:
    print("report:", p)
print("".join(l + "\n" for l in lines), end="")
sys.exit(1 if problems else 0)
PY
}

# json_check PYTHON_EXPRESSION: true for program.json's object `j`.
json_check() {
  python3 - "$EMCB_NS_WORK/program.json" "$1" <<'PY' || fail "program.json: $1 does not hold"
import json, sys
j = json.load(open(sys.argv[1]))
sys.exit(0 if eval(sys.argv[2]) else 1)
PY
}

readonly SECONDS_FIELD='[0-9]+\.[0-9]{3}'

scenario_three_boards_in_a_row() {
  require_programs
  write_boards "10.9.9.21,,Axis 1" "10.9.9.22,00-1B-2C-3D-4E-5F,Axis 2" "10.9.9.23,,"
  # Each next board is fitted a second after the disconnect of the one before.
  start_boards 3 --pause 1
  run_boards
  [ "$program_status" -eq 0 ] || fail "program exited with $program_status"
  wait_board
  check_report \
    "1,02-00-00-00-0C-01,10\.9\.9\.100,10\.9\.9\.21,FF-FF-FF-FF-FF-FF,Axis 1,programmed,$SECONDS_FIELD" \
    "2,02-00-00-00-0C-02,10\.9\.9\.101,10\.9\.9\.22,00-1B-2C-3D-4E-5F,Axis 2,programmed,$SECONDS_FIELD" \
    "3,02-00-00-00-0C-03,10\.9\.9\.102,10\.9\.9\.23,FF-FF-FF-FF-FF-FF,New Ethernet Orvantis,programmed,$SECONDS_FIELD"
  expect_stored "$EMCB_NS_WORK/flash.bin.1" 10.9.9.21 "" "Axis 1"
  expect_stored "$EMCB_NS_WORK/flash.bin.2" 10.9.9.22 00-1B-2C-3D-4E-5F "Axis 2"
  expect_stored "$EMCB_NS_WORK/flash.bin.3" 10.9.9.23 "" "New Ethernet Orvantis"
  local board
  for board in 1 2 3; do
    expect_programmed_once "$board"
    expect_board "$board" tftp crc_ok true
  done
  json_check 'j["rows"] == 3 and j["programmed"] == 3 and j["interrupted"] is False'
  json_check 'j["image"] == {"source": "built-in", "bytes": 21532, "crc32": j["image"]["crc32"]}'
  json_check '[(b["row"], b["hardware_address"], b["ip"], b["outcome"], b["attempts"]) for b in j["boards"]] == [(k, f"02-00-00-00-0C-0{k}", f"10.9.9.2{k}", "programmed", 1) for k in (1, 2, 3)]'
  json_check 'all(b["message"] == "Programming Complete" and 0 < b["seconds"] < 30 for b in j["boards"])'
  # The prompt before each board, in order, and each board's link peer its own address:
  # the pool gives none that the board before used (refused, and in the ARP table).
  [ "$(grep -c '^Board [1-3] of 3: fit the BOOTP jumper and power it on$' "$EMCB_NS_WORK/program.log")" -eq 3 ] ||
    fail "not one prompt per board"
  [ "$(grep -o '^\[ *[0-9.]* s\] Board heard on the link from 10\.9\.9\.10[0-9]' "$EMCB_NS_WORK/program.log" |
      grep -o '10\.9\.9\.10[0-9]' | paste -sd' ')" = "10.9.9.100 10.9.9.101 10.9.9.102" ] ||
    fail "not every board was heard at the address BOOTP gave it"
  cat "$EMCB_NS_WORK/report.csv"
}

# A rig that powers the next board the moment the one before is disconnected (its
# first request 0.3 s after the disconnect, while that job is still ending): each
# board is served by its own job, and each row names the board that took its block.
scenario_next_board_fitted_at_once_is_served_by_its_own_job() {
  require_programs
  write_boards "10.9.9.61,,Rig 1" "10.9.9.62,,Rig 2" "10.9.9.63,,Rig 3"
  start_boards 3 --pause 0
  run_boards
  local status=$program_status
  check_report \
    "1,02-00-00-00-0C-01,10\.9\.9\.10[0-9],10\.9\.9\.61,FF-FF-FF-FF-FF-FF,Rig 1,programmed,$SECONDS_FIELD" \
    "2,02-00-00-00-0C-02,10\.9\.9\.10[0-9],10\.9\.9\.62,FF-FF-FF-FF-FF-FF,Rig 2,programmed,$SECONDS_FIELD" \
    "3,02-00-00-00-0C-03,10\.9\.9\.10[0-9],10\.9\.9\.63,FF-FF-FF-FF-FF-FF,Rig 3,programmed,$SECONDS_FIELD"
  [ "$status" -eq 0 ] || fail "program exited with $status"
  wait_board
  local board
  for board in 1 2 3; do
    expect_programmed_once "$board"
    expect_stored "$EMCB_NS_WORK/flash.bin.$board" "10.9.9.6$board" "" "Rig $board"
  done
  # Board K is given its address by job K, after that job's prompt.
  python3 - "$EMCB_NS_WORK/program.log" <<'PY' || fail "a board was served by another board's job"
import re, sys
log = open(sys.argv[1]).read()
jobs = re.split(r"^Board [1-3] of 3: fit the BOOTP jumper.*$", log, flags=re.M)[1:]
problems = []
for k, job in enumerate(jobs, 1):
    given = re.findall(r"^\[ *[0-9.]+ s\] Gave \S+ to (\S+) ", job, re.M)
    if given != [f"02-00-00-00-0C-0{k}"]:
        problems.append(f"job {k} gave addresses to {given}")
print("\n".join(problems))
sys.exit(1 if problems or len(jobs) != 3 else 0)
PY
  cat "$EMCB_NS_WORK/report.csv"
}

# asking_again_run FIRST_IP: rows FIRST_IP "First" and 10.9.9.22 "Second"; board 1, once
# programmed, restarts at FIRST_IP with its jumper still fitted, asks BOOTP again and
# sends link datagrams from there while board 2 is served. Board 2 comes 2 s after
# board 1's disconnect, so board 1's requests and datagrams reach the second job
# before board 2 does, and go on after it got its address. Both must be programmed
# once, board 2 at the next pool address, and board 1 must get no answer at all.
asking_again_run() {
  write_boards "$1,,First" "10.9.9.22,,Second"
  start_boards 2 --ask-again 1 --pause 2
  run_boards
  [ "$program_status" -eq 0 ] || fail "program exited with $program_status"
  wait_board
  check_report \
    "1,02-00-00-00-0C-01,10\.9\.9\.100,${1//./\\.},FF-FF-FF-FF-FF-FF,First,programmed,$SECONDS_FIELD" \
    "2,02-00-00-00-0C-02,10\.9\.9\.101,10\.9\.9\.22,FF-FF-FF-FF-FF-FF,Second,programmed,$SECONDS_FIELD"
  expect_board 1 ask-again ip "$1"
  expect_board 1 ask-again bootp_replies 0
  expect_board 1 ask-again link_datagrams_received 0
  expect_board 1 ask-again config_writes 0
  expect_board 1 ask-again unanswered true
  expect_programmed_once 1
  expect_programmed_once 2
  expect_stored "$EMCB_NS_WORK/flash.bin.1" "$1" "" First
  expect_stored "$EMCB_NS_WORK/flash.bin.2" 10.9.9.22 "" Second
}

scenario_programmed_board_asking_again_is_not_programmed_twice() {
  require_programs
  asking_again_run 10.9.9.21
  expect_board 1 ask-again bootp_requests_sent 5
  local sent
  sent=$(summary_value ask-again link_datagrams_sent 1)
  [ "$sent" -ge 10 ] || fail "board 1 sent only $sent link datagrams while asking again"
  local log=$EMCB_NS_WORK/program.log
  [ "$(grep -c '^\[ *[0-9.]* s\] Gave .* to 02-00-00-00-0C-01 ' "$log")" -eq 1 ] || fail "board 1 was given an address again"
  grep -q 'not answering 02-00-00-00-0C-01: this board was programmed earlier in the run' "$log" ||
    fail "the second job did not say why board 1 is not answered"
  # The second job hears board 2 only, at the address it gave (not board 1's 10.9.9.100,
  # refused in it), and only after giving it.
  python3 - "$log" <<'PY' || fail "the second job did not wait for board 2"
import re, sys
jobs = re.split(r"^Board 2 of 2: fit the BOOTP jumper", open(sys.argv[1]).read(), flags=re.M)
second = jobs[1] if len(jobs) == 2 else ""
stages = re.findall(r"^\[ *[0-9.]+ s\] (.*)$", second, re.M)
heard = [s for s in stages if s.startswith("Board heard")]
given = [i for i, s in enumerate(stages) if s.startswith("Gave ")]
problems = []
if len(heard) != 1 or not heard[0].startswith("Board heard on the link from 10.9.9.101:"):
    problems.append(f"heard: {heard}")
elif not given or stages.index(heard[0]) < given[0]:
    problems.append("board heard before BOOTP gave board 2 its address")
for p in problems:
    print("second job:", p)
print("\n".join(stages))
sys.exit(1 if problems else 0)
PY
  cat "$EMCB_NS_WORK/report.csv"
  grep '"mode":"ask-again"' "$EMCB_NS_WORK/board.json"
}

# A host beside the board's network (a second adapter of the computer) runs busybox
# udhcpc; with --only-hardware of the boards' prefix only the board is answered.
scenario_stranger_ignored_under_only_hardware() {
  require_programs
  command -v busybox >/dev/null 2>&1 || fail "busybox is not installed (.ci/install-deps installs it)"
  add_stranger
  ip -n "$EMCB_NS_STRANGER" link set "$EMCB_IF_STRANGER" address "$STRANGER_MAC"
  # On the stranger's interface, at the packet level: its own requests going out (so
  # the counter is seen to work) and every BOOTP reply coming in.
  in_stranger timeout 40 python3 - "$EMCB_IF_STRANGER" "$EMCB_NS_WORK/stranger-packets" <<'PY' &
import os, socket, sys, time
interface, out = sys.argv[1:]
# Every protocol: a packet socket bound to IPv4 alone never sees what leaves.
s = socket.socket(socket.AF_PACKET, socket.SOCK_DGRAM, socket.htons(0x0003))
s.bind((interface, 0x0003))
s.settimeout(0.2)
counts = {"requests_out": 0, "replies_in": 0}
end = time.time() + 30
open(out + ".ready", "w").close()
while time.time() < end and not os.path.exists(out + ".stop"):
    try:
        packet, address = s.recvfrom(2048)
    except socket.timeout:
        continue
    if address[1] != 0x0800 or len(packet) < 20:
        continue
    header = (packet[0] & 0x0F) * 4
    if len(packet) < header + 8 or packet[9] != 17:
        continue
    ports = packet[header:header + 4]
    if ports == b"\x00\x44\x00\x43" and address[2] == socket.PACKET_OUTGOING:
        counts["requests_out"] += 1
    elif ports == b"\x00\x43\x00\x44" and address[2] != socket.PACKET_OUTGOING:
        counts["replies_in"] += 1
open(out, "w").write(f"{counts['requests_out']} {counts['replies_in']}\n")
PY
  local sniffer=$!
  wait_until 100 "the stranger's packet counter did not start" \
    test -f "$EMCB_NS_WORK/stranger-packets.ready"
  write_boards "10.9.9.31,,Only board"
  # The stranger asks from the start, once a second; the board comes 2 s later.
  in_stranger timeout 30 busybox udhcpc -f -n -q -t 8 -T 1 -A 1 -s /bin/true -i "$EMCB_IF_STRANGER" \
    >"$EMCB_NS_WORK/udhcpc.log" 2>&1 &
  local udhcpc=$!
  sleep 2
  start_boards 1
  run_boards --only-hardware "$BOARD_PREFIX"
  local udhcpc_status=0
  wait "$udhcpc" || udhcpc_status=$?
  touch "$EMCB_NS_WORK/stranger-packets.stop"
  wait "$sniffer" || fail "the stranger's packet counter failed"
  [ "$program_status" -eq 0 ] || fail "program exited with $program_status"
  wait_board
  [ "$udhcpc_status" -ne 0 ] || fail "udhcpc got a lease"
  grep -q 'broadcasting discover' "$EMCB_NS_WORK/udhcpc.log" || fail "udhcpc sent no discover"
  local requests_out replies_in
  read -r requests_out replies_in <"$EMCB_NS_WORK/stranger-packets" || fail "no packet counts"
  [ "$requests_out" -ge 5 ] || fail "the stranger's counter saw only $requests_out of its requests"
  [ "$replies_in" -eq 0 ] || fail "$replies_in BOOTP replies reached the stranger"
  local log=$EMCB_NS_WORK/program.log
  [ "$(grep -ci "not answering ${STRANGER_MAC//:/-}: its hardware address is not of the prefix answered" "$log")" -eq 1 ] ||
    fail "the stranger's address is not logged exactly once"
  ! grep -qi "^\[ *[0-9.]* s\] Gave .* to ${STRANGER_MAC//:/-}" "$log" || fail "the stranger was given an address"
  check_report \
    "1,02-00-00-00-0C-01,10\.9\.9\.100,10\.9\.9\.31,FF-FF-FF-FF-FF-FF,Only board,programmed,$SECONDS_FIELD"
  expect_stored "$EMCB_NS_WORK/flash.bin" 10.9.9.31 "" "Only board"
  echo "udhcpc: $(grep -c 'broadcasting discover' "$EMCB_NS_WORK/udhcpc.log") discovers ($requests_out seen leaving), $replies_in replies; $(grep -i 'not answering' "$log")"
}

# make_image PATH SIZE: an image of SIZE bytes with a valid header, deterministic payload.
make_image() {
  python3 - "$1" "$2" <<'PY'
import random, struct, sys, zlib
path, size = sys.argv[1], int(sys.argv[2])
payload = random.Random(12).randbytes(size - 28)
header = b"EMCB" + struct.pack("<III", 1, size, zlib.crc32(payload)) + bytes(12)
open(path, "wb").write(header + payload)
PY
}

scenario_image_from_a_file() {
  require_programs
  local image=$EMCB_NS_WORK/firmware.img
  make_image "$image" 2000000
  write_boards "10.9.9.41,,Big image"
  start_boards 1 --image "$image"
  run_boards --image "$image"
  [ "$program_status" -eq 0 ] || fail "program exited with $program_status"
  wait_board
  expect_board 1 tftp bytes 1999972
  expect_board 1 tftp blocks 3907
  expect_board 1 tftp length_ok true
  expect_board 1 tftp crc_ok true
  expect_board 1 tftp image_matches true
  expect_board 1 tftp crc "$(python3 -c 'import sys,zlib; print("%08x" % zlib.crc32(open(sys.argv[1],"rb").read()[28:]))' "$image")"
  expect_programmed_once 1
  expect_stored "$EMCB_NS_WORK/flash.bin" 10.9.9.41 "" "Big image"
  local crc
  crc=$(python3 -c 'import sys,zlib; print("0x%08X" % zlib.crc32(open(sys.argv[1],"rb").read()))' "$image")
  json_check "j['image'] == {'source': '$image', 'bytes': 2000000, 'crc32': '$crc'}"
  json_check 'j["programmed"] == 1'
  grep -q 'Firmware transfer to 10\.9\.9\.100:[0-9]* finished (1999972 bytes)' "$EMCB_NS_WORK/program.log" ||
    fail "the transfer did not finish with 1999972 bytes"
  echo "image: $(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["image"])' "$EMCB_NS_WORK/program.json")"
}

# expect_refused WHAT PATTERN [emcb-config program options]: exit 2 at once, a message
# matching PATTERN, and nothing started.
expect_refused() {
  local what=$1 pattern=$2
  shift 2
  local status=0 started ended
  started=$(date +%s%N)
  in_computer timeout 20 "$EMCB_CONFIG" program --timeout 10 "$@" </dev/null \
    >"$EMCB_NS_WORK/refused.out" 2>"$EMCB_NS_WORK/refused.log" || status=$?
  ended=$(date +%s%N)
  [ "$status" -eq 2 ] || fail "$what: exit status $status, expected 2: $(cat "$EMCB_NS_WORK/refused.log")"
  grep -Eq "$pattern" "$EMCB_NS_WORK/refused.log" ||
    fail "$what: the message does not match '$pattern': $(cat "$EMCB_NS_WORK/refused.log")"
  ! grep -Eq 'Answering BOOTP|^Board 1 of|fit the BOOTP jumper' "$EMCB_NS_WORK/refused.log" ||
    fail "$what: the run started"
  [ $(((ended - started) / 1000000)) -lt 3000 ] || fail "$what: took $(((ended - started) / 1000000)) ms"
  echo "$what: $(head -1 "$EMCB_NS_WORK/refused.log")"
}

scenario_bad_rows_and_images_are_refused() {
  require_programs
  local csv=$EMCB_NS_WORK/boards.csv
  local name=boards\\.csv
  write_boards "10.9.9.21,,A" "10.9.9.300,,B"
  expect_refused "bad IP" "$name line 3: .*10\.9\.9\.300" --boards "$csv"
  write_boards "10.9.9.21,,A" "10.9.9.22,,B" "10.9.9.23,00-1B-2C-3D-4E,C"
  expect_refused "bad MAC" "$name line 4: .*00-1B-2C-3D-4E\"" --boards "$csv"
  write_boards "10.9.9.21,,A" "10.9.9.22,,B" "10.9.9.21,,C"
  expect_refused "duplicate IP" "$name line 4: .*10\.9\.9\.21.*line 2" --boards "$csv"
  printf '%s\n' "address,mac,nickname" "10.9.9.21,,A" >"$csv"
  expect_refused "unknown column" "$name line 1: .*\"address\"" --boards "$csv"
  printf '%s\n' "mac,nickname" ",A" >"$csv"
  expect_refused "no ip column" "$name line 1: .*ip" --boards "$csv"
  write_boards "10.9.9.21,,A"
  expect_refused "missing image" "no-such-image\\.img.*cannot be read" --boards "$csv" --image "$EMCB_NS_WORK/no-such-image.img"
  mkdir -p "$EMCB_NS_WORK/a-directory"
  expect_refused "image is a directory" "a-directory.*(folder|directory)" --boards "$csv" --image "$EMCB_NS_WORK/a-directory"
  head -c 27 /dev/zero >"$EMCB_NS_WORK/short.img"
  expect_refused "27-byte image" "short\\.img.*27 bytes" --boards "$csv" --image "$EMCB_NS_WORK/short.img"
  truncate -s 33553948 "$EMCB_NS_WORK/long.img"
  expect_refused "image of 33,553,948 bytes" "long\\.img.*33,553,948 bytes.*33,553,947" --boards "$csv" \
    --image "$EMCB_NS_WORK/long.img"
  rm -f "$EMCB_NS_WORK/long.img"
  # A single job refuses an image the same way.
  expect_refused "27-byte image, one board" "short\\.img" --ip 10.9.9.21 --image "$EMCB_NS_WORK/short.img"
}

# descendant_named PID NAME: the pid of a process of that name under PID, if any.
descendant_named() {
  local child found
  for child in $(pgrep -P "$1"); do
    if [ "$(cat "/proc/$child/comm" 2>/dev/null)" = "$2" ]; then
      echo "$child"
      return 0
    fi
    found=$(descendant_named "$child" "$2") && [ -n "$found" ] && { echo "$found"; return 0; }
  done
  return 0
}

# Three rows, one board: after board 1, Ctrl-C stops the run after the current board
# (board 2, which never comes), and a second Ctrl-C cancels it.
scenario_interrupted_run_keeps_its_report() {
  require_programs
  write_boards "10.9.9.51,,One" "10.9.9.52,,Two" "10.9.9.53,,Three"
  start_boards 1
  program_status=0
  in_computer timeout 80 "$EMCB_CONFIG" program --boards "$EMCB_NS_WORK/boards.csv" \
    --report "$EMCB_NS_WORK/report.csv" --json --timeout 60 </dev/null \
    >"$EMCB_NS_WORK/program.json" 2>"$EMCB_NS_WORK/program.log" &
  local runner=$! cli="" tries=0
  until [ -n "$cli" ]; do
    tries=$((tries + 1))
    [ "$tries" -lt 100 ] || fail "emcb-config did not start"
    sleep 0.1
    cli=$(descendant_named "$runner" emcb-config)
  done
  tries=0
  until grep -q '^1,.*,programmed,' "$EMCB_NS_WORK/report.csv" 2>/dev/null; do
    tries=$((tries + 1))
    [ "$tries" -lt 400 ] || fail "board 1 was not reported programmed within 40 s"
    sleep 0.1
  done
  until grep -q '^Board 2 of 3: fit the BOOTP jumper' "$EMCB_NS_WORK/program.log"; do
    tries=$((tries + 1))
    [ "$tries" -lt 450 ] || fail "the run did not go on to board 2"
    sleep 0.1
  done
  kill -INT "$cli"
  sleep 1.5
  kill -0 "$cli" 2>/dev/null || fail "the first Ctrl-C ended the run instead of waiting for board 2"
  grep -q 'Stopping after this board' "$EMCB_NS_WORK/program.log" || fail "no notice of the stop"
  check_report \
    "1,02-00-00-00-0C-01,10\.9\.9\.100,10\.9\.9\.51,FF-FF-FF-FF-FF-FF,One,programmed,$SECONDS_FIELD" \
    "2,,,10\.9\.9\.52,FF-FF-FF-FF-FF-FF,Two,not-run," \
    "3,,,10\.9\.9\.53,FF-FF-FF-FF-FF-FF,Three,not-run,"
  local sent
  sent=$(date +%s%N)
  kill -INT "$cli"
  wait "$runner" || program_status=$?
  [ $((($(date +%s%N) - sent) / 1000000)) -lt 5000 ] || fail "the second Ctrl-C took more than 5 s"
  [ "$program_status" -eq 1 ] || fail "program exited with $program_status, expected 1"
  wait_board
  check_report \
    "1,02-00-00-00-0C-01,10\.9\.9\.100,10\.9\.9\.51,FF-FF-FF-FF-FF-FF,One,programmed,$SECONDS_FIELD" \
    "2,,,10\.9\.9\.52,FF-FF-FF-FF-FF-FF,Two,cancelled," \
    "3,,,10\.9\.9\.53,FF-FF-FF-FF-FF-FF,Three,not-run,"
  json_check 'j["interrupted"] is True and j["rows"] == 3 and j["programmed"] == 1'
  json_check '[b["outcome"] for b in j["boards"]] == ["programmed", "cancelled", "not-run"]'
  expect_stored "$EMCB_NS_WORK/flash.bin" 10.9.9.51 "" One
}
