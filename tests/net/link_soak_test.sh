#!/usr/bin/env bash
# The link under loss and duplication: 1,000 random messages must reach the
# simulated board exactly once, in order, byte for byte.
#
# Usage: link_soak_test.sh LINK_SOAK_COMMAND... BOARD_SIM
# The link_soak command may start with a loader (Wine); board-sim is always native.
set -uo pipefail

if [ $# -lt 2 ]; then
  echo "usage: $0 LINK_SOAK_COMMAND... BOARD_SIM" >&2
  exit 2
fi
board_sim=${*: -1}
soak_command=("${@:1:$#-1}")

messages=1000
soak_seed=20240611
fault_seed=7
soak_timeout=300
sim_duration=300

work=$(mktemp -d)
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: link soak: $*"
  for log in soak.out soak.err sim.out sim.err; do
    [ -s "$work/$log" ] && { echo "--- $log"; tail -n 20 "$work/$log"; }
  done
  exit 1
}

# The server binds every local address, so the port must be free on all of them. It
# lies below the ephemeral ranges (Linux 32768-60999, Windows 49152-65535), so that
# the board's own socket, bound to port 0 before the server starts, cannot be given it.
port=$(python3 -c 'import random, socket
for port in random.sample(range(20000, 32000), 500):
    try:
        socket.socket(socket.AF_INET, socket.SOCK_DGRAM).bind(("0.0.0.0", port))
    except OSError:
        continue
    print(port)
    break') && [ -n "$port" ] || fail "no free UDP port"

"$board_sim" link --server "127.0.0.1:$port" --drop-rx 0.3 --drop-tx 0.3 --dup 0.1 \
  --seed "$fault_seed" --record "$work/received.bin" --exit-after-disconnect \
  --duration "$sim_duration" >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!

start=$(date +%s)
# Relative file names: a Windows program under Wine reads them from the same folder.
(cd "$work" && "${soak_command[@]}" --port "$port" --messages "$messages" --seed "$soak_seed" \
  --timeout "$soak_timeout" --expect expected.bin >soak.out 2>soak.err)
soak_status=$?
seconds=$(($(date +%s) - start))
[ "$soak_status" -eq 0 ] || fail "link_soak exited with $soak_status"

# The board stops 300 ms after it accepted the disconnect message.
for _ in $(seq 100); do
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$sim_pid" 2>/dev/null && fail "board-sim did not stop after the disconnect message"
wait "$sim_pid"
sim_status=$?
sim_pid=
[ "$sim_status" -eq 0 ] || fail "board-sim exited with $sim_status"
cmp "$work/expected.bin" "$work/received.bin" ||
  fail "the board's record differs from the messages sent"

python3 - "$work/sim.out" "$messages" <<'EOF' || fail "board-sim summary check failed"
import json, sys
summary = json.loads(open(sys.argv[1]).read().strip().splitlines()[-1])
expected = int(sys.argv[2]) + 1  # and the disconnect message
checks = [
    ("header_violations.total == 0", summary["header_violations"]["total"] == 0),
    ("messages_accepted == %d" % expected, summary["messages_accepted"] == expected),
    ("duplicates_dropped > 0", summary["duplicates_dropped"] > 0),
    ("dropped_rx > 0", summary["dropped_rx"] > 0),
    ("dropped_tx > 0", summary["dropped_tx"] > 0),
]
failed = [name for name, ok in checks if not ok]
for name in failed:
    print("board-sim: expected " + name)
print("board-sim: accepted %d, duplicates dropped %d, dropped rx %d, dropped tx %d, "
      "header violations %d" % (summary["messages_accepted"], summary["duplicates_dropped"],
      summary["dropped_rx"], summary["dropped_tx"], summary["header_violations"]["total"]))
sys.exit(1 if failed else 0)
EOF

echo "link_soak: $(cat "$work/soak.out")"
echo "PASS: link soak: $messages messages arrived once, in order, byte for byte (${seconds} s)"
