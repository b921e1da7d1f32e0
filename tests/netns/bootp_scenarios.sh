# BOOTP scenarios for netns_harness.sh: the BOOTP server (bootp_serve, or its
# Windows build under Wine) in the computer's namespace, simulated boards in the
# board's namespace. Needs EMCB_BOOTP_SERVE and EMCB_BOARD_SIM.
# shellcheck shell=bash

readonly BOARD_A=02:00:00:00:0b:0a
readonly BOARD_B=02:00:00:00:0b:0b
readonly BOARD_KNOWN=02:00:00:00:0b:20

require_programs() {
  require_program EMCB_BOOTP_SERVE EMCB_BOARD_SIM
}

# start_server SECONDS: bootp_serve in the computer's namespace, its log in server.log.
start_server() {
  in_computer "$EMCB_BOOTP_SERVE" "$1" >"$EMCB_NS_WORK/server.log" 2>&1 &
  server_pid=$!
}

wait_server() {
  local status=0
  wait "$server_pid" || status=$?
  [ "$status" -eq 0 ] || fail "the server ended with status $status"
}

# run_board NAME [board-sim bootp options]: its JSON summary in NAME.json.
run_board() {
  local name=$1
  shift
  local status=0
  in_board "$EMCB_BOARD_SIM" bootp --interface "$EMCB_IF_BOARD" --interval 1 --attempts 10 \
    --duration 15 "$@" >"$EMCB_NS_WORK/$name.json" 2>"$EMCB_NS_WORK/$name.err.log" || status=$?
  [ "$status" -eq 0 ] || fail "board $name ended with status $status"
}

# json NAME KEY: one value of a board's summary.
json() {
  python3 -c 'import json,sys; v=json.load(open(sys.argv[1]))[sys.argv[2]]; print(str(v).lower() if isinstance(v,bool) else v)' \
    "$EMCB_NS_WORK/$1.json" "$2"
}

expect_json() {  # NAME KEY VALUE
  local actual
  actual=$(json "$1" "$2")
  [ "$actual" = "$3" ] || fail "board $1: $2 is '$actual', expected '$3'"
}

expect_log() {  # TEXT: a line of the server's log contains it
  grep -qF -- "$1" "$EMCB_NS_WORK/server.log" || fail "the server's log lacks: $1"
}

expect_no_log() {
  ! grep -qF -- "$1" "$EMCB_NS_WORK/server.log" || fail "the server's log has: $1"
}

expect_board_address() {  # ADDRESS: now on the board's interface
  in_board ip -4 addr show dev "$EMCB_IF_BOARD" | grep -qw "inet $1/24" ||
    fail "$1 is not on the board's interface"
}

expect_served() {  # NAME ADDRESS
  expect_json "$1" checks_passed true
  expect_json "$1" yiaddr "$2"
  expect_json "$1" siaddr 10.9.9.1
  expect_json "$1" file 'd:\a.bin'
  expect_json "$1" reply_from 10.9.9.1:67
  expect_json "$1" reply_to 10.9.9.255:68
  expect_json "$1" address_assigned true
  expect_board_address "$2"
}

# The server serves for a fixed time while the boards ask one after the other, each
# checked before the next starts: on a loaded machine that took over 14 s, so the
# server is given twice what the steps need.
readonly SERVE_TWO_BOARDS_SECONDS=30

scenario_two_boards_from_the_pool() {
  require_programs
  start_server "$SERVE_TWO_BOARDS_SECONDS"
  run_board a --mac "$BOARD_A"
  expect_served a 10.9.9.100
  run_board b --mac "$BOARD_B"
  expect_served b 10.9.9.101
  wait_server
  expect_log "CBootP::ProcessRequest: issued address at 10.9.9.100"
  expect_log "CBootP::ProcessRequest: issued address at 10.9.9.101"
  expect_log "CBootP::SendBootP( 0 ) - sendto( "
  expect_log "...) returned 300"
  echo "board a: $(cat "$EMCB_NS_WORK/a.json")"
  echo "board b: $(cat "$EMCB_NS_WORK/b.json")"
  echo "--- server log"
  cat "$EMCB_NS_WORK/server.log"
}

scenario_arp_known_board_keeps_its_address() {
  require_programs
  in_computer ip neigh add 10.9.9.20 lladdr "$BOARD_KNOWN" dev "$EMCB_IF_COMPUTER" nud permanent
  start_server "$SERVE_TWO_BOARDS_SECONDS"
  run_board known --mac "$BOARD_KNOWN"
  expect_served known 10.9.9.20
  run_board next --mac "$BOARD_A"
  expect_served next 10.9.9.100
  wait_server
  expect_log "CBootP::ProcessRequest: found address at 10.9.9.20"
  expect_log "CArp::GetNewAddress MAC 02 00 00 00 0b 20 already has IP 10.9.9.20 located at position"
  expect_no_log "issued address at 10.9.9.101"
  echo "board known: $(cat "$EMCB_NS_WORK/known.json")"
}

scenario_port_67_in_use() {
  require_programs
  hold_port_67 20
  start_server 2
  wait_server
  kill "$port_holder" 2>/dev/null || true
  wait "$port_holder" 2>/dev/null || true
  expect_log "CBootP::InitializeBootP( 0 ) IP 0x0109090a  Port 67 - bind returned an error WSAEADDRINUSE.  Error number 10048"
  expect_no_log "bound socket"
  grep -F "bind returned" "$EMCB_NS_WORK/server.log"
}

# The Windows build under Wine. Wine's server makes the sockets, so the program
# needs a wineserver of its own inside the namespace: a copy of an initialised
# prefix gives it one.
scenario_windows_server_under_wine() {
  [ -x "${EMCB_BOARD_SIM:-}" ] || { echo "SKIPPED: no native board-sim at '${EMCB_BOARD_SIM:-}'"; exit 77; }
  [ -f "${EMCB_BOOTP_SERVE:-}" ] || fail "EMCB_BOOTP_SERVE is not the Windows program: '${EMCB_BOOTP_SERVE:-}'"
  # shellcheck source=/dev/null
  source "$EMCB_SOURCE_DIR/scripts/wine-env"
  [ -f "$WINEPREFIX/system.reg" ] || { echo "SKIPPED: no initialised Wine prefix at $WINEPREFIX"; exit 77; }
  local prefix=$EMCB_NS_WORK/prefix
  emcb_wine_private_prefix "$prefix" in_computer || fail "no wineserver"
  in_computer env WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    "$EMCB_WINE" "$EMCB_BOOTP_SERVE" 40 </dev/null >"$EMCB_NS_WORK/server.log" 2>&1 &
  server_pid=$!
  # Until the server has bound its socket (the prefix's first start takes a while).
  local tries=0
  until grep -q "bound socket" "$EMCB_NS_WORK/server.log" 2>/dev/null; do
    tries=$((tries + 1))
    [ "$tries" -lt 300 ] ||
      fail "the Windows server bound no socket within 30 s; Wine's processes there:
$(ip netns pids "$EMCB_NS_COMPUTER" | xargs -r -I{} ps -o pid=,etime=,args= -p {})"
    sleep 0.1
  done
  run_board wine --mac "$BOARD_A"
  expect_served wine 10.9.9.100
  expect_log "CBootP::ProcessRequest: issued address at 10.9.9.100"
  echo "board: $(cat "$EMCB_NS_WORK/wine.json")"
  echo "--- server log"
  cat "$EMCB_NS_WORK/server.log"
  in_computer env WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
}
