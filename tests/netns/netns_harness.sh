#!/usr/bin/env bash
# Runs one scenario between two network namespaces joined by a veth pair: the
# computer's side with 10.9.9.1/24, the board's side with no address. Whatever
# happens, both namespaces (and everything still running in them) are removed.
#
#   netns_harness.sh SCENARIO_FILE SCENARIO [ARGS...]
#
# The scenario file defines a bash function scenario_<SCENARIO>; it runs with
#   EMCB_NS_COMPUTER, EMCB_NS_BOARD   the namespaces
#   EMCB_IF_COMPUTER, EMCB_IF_BOARD   the two ends of the veth pair
#   EMCB_NS_WORK                      a scratch folder, removed afterwards
# and the helpers in_computer / in_board (run a command in that namespace).
# add_stranger adds a third host: EMCB_NS_STRANGER with 10.9.8.2/24, joined to a
# second adapter of the computer (10.9.8.1/24); in_stranger runs a command there.
# Exit status: the scenario's; 77 (skipped) without root or ip netns.
set -euo pipefail

readonly SKIPPED=77
readonly COMPUTER_ADDRESS=10.9.9.1/24

skip() {
  echo "SKIPPED: $*"
  exit "$SKIPPED"
}

[ $# -ge 2 ] || { echo "usage: $0 SCENARIO_FILE SCENARIO [ARGS...]" >&2; exit 2; }
scenario_file=$1
scenario=$2
shift 2

[ "$(id -u)" -eq 0 ] || skip "network namespaces need root"
command -v ip >/dev/null 2>&1 || skip "iproute2 (ip) is not installed"
ip netns list >/dev/null 2>&1 || skip "ip netns is unavailable here"

# Namespaces of earlier runs that were killed outright (a trap cannot run then).
for stale in $(ip netns list 2>/dev/null | awk '/^emcb-bootp-(pc|board|str)-[0-9]+/ {print $1}'); do
  owner=${stale##*-}
  if ! kill -0 "$owner" 2>/dev/null; then
    ip netns pids "$stale" 2>/dev/null | xargs -r kill -9 2>/dev/null || true
    ip netns del "$stale" 2>/dev/null || true
  fi
done

export EMCB_NS_COMPUTER=emcb-bootp-pc-$$
export EMCB_NS_BOARD=emcb-bootp-board-$$
export EMCB_IF_COMPUTER=vbpc$$
export EMCB_IF_BOARD=vbbd$$
EMCB_NS_WORK=$(mktemp -d /tmp/emcb-netns.XXXXXX)
export EMCB_NS_WORK
# What the programs keep (a progress window's position) stays with this run.
export XDG_CONFIG_HOME="$EMCB_NS_WORK/config"

remove_namespace() {
  local ns=$1
  ip netns list 2>/dev/null | grep -qw "^$ns" || return 0
  # Only what runs inside our own namespace: processes this run started.
  ip netns pids "$ns" 2>/dev/null | xargs -r kill -TERM 2>/dev/null || true
  sleep 0.2
  ip netns pids "$ns" 2>/dev/null | xargs -r kill -9 2>/dev/null || true
  ip netns del "$ns" 2>/dev/null || true
}

cleanup() {
  local status=$?
  trap - EXIT INT TERM
  [ -n "${EMCB_NS_STRANGER:-}" ] && remove_namespace "$EMCB_NS_STRANGER"
  remove_namespace "$EMCB_NS_BOARD"
  remove_namespace "$EMCB_NS_COMPUTER"
  rm -rf "$EMCB_NS_WORK"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

ip netns add "$EMCB_NS_COMPUTER" 2>/dev/null || skip "cannot create a network namespace here"
ip netns add "$EMCB_NS_BOARD"
ip link add "$EMCB_IF_COMPUTER" netns "$EMCB_NS_COMPUTER" type veth \
  peer name "$EMCB_IF_BOARD" netns "$EMCB_NS_BOARD"
ip -n "$EMCB_NS_COMPUTER" addr add "$COMPUTER_ADDRESS" brd + dev "$EMCB_IF_COMPUTER"
ip -n "$EMCB_NS_COMPUTER" link set lo up
ip -n "$EMCB_NS_COMPUTER" link set "$EMCB_IF_COMPUTER" up
ip -n "$EMCB_NS_BOARD" link set lo up
ip -n "$EMCB_NS_BOARD" link set "$EMCB_IF_BOARD" up

in_computer() { ip netns exec "$EMCB_NS_COMPUTER" "$@"; }
in_board() { ip netns exec "$EMCB_NS_BOARD" "$@"; }
in_stranger() { ip netns exec "$EMCB_NS_STRANGER" "$@"; }

readonly STRANGER_ADDRESS=10.9.8.2/24
readonly COMPUTER_SECOND_ADDRESS=10.9.8.1/24

# add_stranger: another host on a second adapter of the computer. Its route to the
# board's network is the computer, so it reaches every address the computer has.
add_stranger() {
  export EMCB_NS_STRANGER=emcb-bootp-str-$$
  export EMCB_IF_SECOND=vbsc$$
  export EMCB_IF_STRANGER=vbst$$
  ip netns add "$EMCB_NS_STRANGER"
  ip link add "$EMCB_IF_SECOND" netns "$EMCB_NS_COMPUTER" type veth \
    peer name "$EMCB_IF_STRANGER" netns "$EMCB_NS_STRANGER"
  ip -n "$EMCB_NS_COMPUTER" addr add "$COMPUTER_SECOND_ADDRESS" brd + dev "$EMCB_IF_SECOND"
  ip -n "$EMCB_NS_COMPUTER" link set "$EMCB_IF_SECOND" up
  ip -n "$EMCB_NS_STRANGER" addr add "$STRANGER_ADDRESS" brd + dev "$EMCB_IF_STRANGER"
  ip -n "$EMCB_NS_STRANGER" link set lo up
  ip -n "$EMCB_NS_STRANGER" link set "$EMCB_IF_STRANGER" up
  ip -n "$EMCB_NS_STRANGER" route add default via "${COMPUTER_SECOND_ADDRESS%/*}"
}

# fail TEXT: ends the scenario, showing the logs and summaries it left.
fail() {
  echo "FAILED: $*"
  for log in "$EMCB_NS_WORK"/*.log "$EMCB_NS_WORK"/*.json; do
    [ -f "$log" ] || continue
    echo "----- $(basename "$log")"
    cat "$log"
  done
  exit 1
}

# wait_until TRIES WHAT COMMAND...: runs COMMAND every 0.1 s until it succeeds; fails
# with WHAT once it has failed TRIES times.
wait_until() {
  local limit=$1 what=$2 tries=0
  shift 2
  until "$@"; do
    tries=$((tries + 1))
    [ "$tries" -lt "$limit" ] || fail "$what"
    sleep 0.1
  done
}

# summary_value MODE KEY [BOARD]: a value from the first of board-sim's JSON summary
# lines in board.json of that mode (and board number); KEY may name nested members as
# a.b. Booleans print as true/false; no such line or member is a failure.
summary_value() {
  python3 - "$EMCB_NS_WORK/board.json" "$@" <<'PY'
import json, sys
path, mode, key, *board = sys.argv[1:]
for line in open(path):
    line = line.strip()
    if not line.startswith("{"):
        continue
    summary = json.loads(line)
    if summary.get("mode") == mode and (not board or summary.get("board") == int(board[0])):
        value = summary
        for part in key.split("."):
            value = value[part]
        print(str(value).lower() if isinstance(value, bool) else value)
        sys.exit(0)
sys.exit(1)
PY
}

# hold_port_67 SECONDS: a socket in the computer's namespace holds UDP port 67 (as
# another DHCP or BOOTP server would); returns once it does, its pid in port_holder.
hold_port_67() {
  in_computer python3 -c '
import socket, sys, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("0.0.0.0", 67))
open(sys.argv[1], "w").close()
time.sleep(float(sys.argv[2]))' "$EMCB_NS_WORK/port67.held" "$1" &
  port_holder=$!
  wait_until 100 "could not take port 67" test -f "$EMCB_NS_WORK/port67.held"
}

# require_program VAR...: each variable names a program that can run.
require_program() {
  local var
  for var in "$@"; do
    [ -x "${!var:-}" ] || fail "$var is not a program: '${!var:-}'"
  done
}

# shellcheck source=/dev/null
source "$scenario_file"
declare -F "scenario_$scenario" >/dev/null || { echo "no scenario '$scenario' in $scenario_file" >&2; exit 2; }
"scenario_$scenario" "$@"
