# The demonstration for netns_harness.sh: a whole simulated board in BOOTP mode in
# one namespace, the configurator's `program` in the other, as a user would run it.
# shellcheck shell=bash

# shellcheck source=tests/netns/job_scenarios.sh
source "$EMCB_SOURCE_DIR/tests/netns/job_scenarios.sh"

scenario_demo() {
  require_programs
  echo "Board: a simulated board in BOOTP mode on $EMCB_IF_BOARD (no address yet)."
  echo "Computer: 10.9.9.1/24 on $EMCB_IF_COMPUTER."
  echo
  start_board
  echo "\$ emcb-config program --ip $EMCB_DEMO_IP --mac $EMCB_DEMO_MAC --nickname \"$EMCB_DEMO_NICKNAME\""
  local status=0
  in_computer timeout 150 "$EMCB_CONFIG" program --timeout 120 --ip "$EMCB_DEMO_IP" \
    --mac "$EMCB_DEMO_MAC" --nickname "$EMCB_DEMO_NICKNAME" </dev/null || status=$?
  wait "$board_pid" || true
  [ "$status" -eq 0 ] || fail "the board was not programmed (exit status $status)"
  echo
  echo "The board received its address $(summary_value bootp yiaddr), loaded $(summary_value tftp bytes) bytes"
  echo "of firmware (CRC $(summary_value tftp crc), checked: $(summary_value tftp crc_ok)), and stored:"
  python3 - "$EMCB_NS_WORK/flash.bin" <<'PY'
import struct, sys, zlib
block = open(sys.argv[1], "rb").read()
crc, = struct.unpack_from("<I", block, 0)
ip, = struct.unpack_from("<I", block, 4)
mac = "-".join(f"{b:02X}" for b in block[8:14])
nickname = block[16:80].split(b"\0", 1)[0].decode("latin-1")
print(f"  IP address          {ip >> 24}.{(ip >> 16) & 255}.{(ip >> 8) & 255}.{ip & 255}")
print(f"  server MAC address  {mac}")
print(f"  nickname            {nickname}")
print(f"  CRC-32              {crc:08X} ({'valid' if zlib.crc32(block[4:]) == crc else 'INVALID'})")
PY
}

# Several boards in a row: the list, the run with its report, and the report.
scenario_demo_many_boards() {
  require_programs
  local count=$EMCB_DEMO_BOARDS list=$EMCB_NS_WORK/boards.csv report=$EMCB_NS_WORK/report.csv
  local k
  {
    echo "ip,mac,nickname"
    for k in $(seq 1 "$count"); do
      echo "10.9.9.$((20 + k)),,Axis $k"
    done
  } >"$list"
  echo "Board: $count simulated boards in BOOTP mode, one after another, on $EMCB_IF_BOARD;"
  echo "each comes a second after the one before was disconnected."
  echo "Computer: 10.9.9.1/24 on $EMCB_IF_COMPUTER."
  echo
  echo "The list of boards (boards.csv):"
  sed 's/^/  /' "$list"
  echo
  in_board "$EMCB_BOARD_SIM" board --interface "$EMCB_IF_BOARD" --mac 02:00:00:00:0c:01 \
    --boards "$count" --pause 1 --interval 1 --attempts 20 --duration 60 \
    --flash "$EMCB_NS_WORK/flash.bin" >"$EMCB_NS_WORK/board.json" 2>"$EMCB_NS_WORK/board.log" &
  board_pid=$!
  echo "\$ emcb-config program --boards boards.csv --report report.csv --quiet"
  local status=0
  in_computer timeout $((60 + 30 * count)) "$EMCB_CONFIG" program --boards "$list" \
    --report "$report" --timeout 60 --quiet </dev/null || status=$?
  wait "$board_pid" || true
  echo
  echo "The report (report.csv):"
  if command -v column >/dev/null 2>&1; then
    column -s, -t <"$report" | sed 's/^/  /'
  else
    sed 's/^/  /' "$report"
  fi
  [ "$status" -eq 0 ] || fail "not every board was programmed (exit status $status)"
}
