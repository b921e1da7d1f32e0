#!/usr/bin/env bash
# Time for curl to fetch the firmware image (21,504 bytes) from the configurator's TFTP
# server against tftpd-hpa serving the same bytes, both on loopback ports, in the same
# run, rounds interleaved. Prints each median and the ratio ours / tftpd-hpa (goal <= 1).
# Usage: bench/compare_tftp.sh PATH/TO/emcb-tftp-serve [ROUNDS]   (ROUNDS >= 20, default 40)
set -euo pipefail
serve=${1:?usage: compare_tftp.sh PATH/TO/emcb-tftp-serve [ROUNDS]}
rounds=${2:-40}
[ "$rounds" -ge 20 ] || { echo "at least 20 rounds"; exit 2; }
for tool in curl in.tftpd python3; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 2; }
done

work=$(mktemp -d)
# The server keeps its progress window position there, not in the user's settings.
export XDG_CONFIG_HOME="$work/config"
ours_pid=
theirs_pid=
cleanup() {
  for pid in $ours_pid $theirs_pid; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

mkdir "$work/root"
"$serve" --write-content "$work/root/image.bin"
chmod 755 "$work" "$work/root"
chmod 644 "$work/root/image.bin"

"$serve" --port 0 --duration 600 --quiet >"$work/ours.out" 2>/dev/null </dev/null &
ours_pid=$!
ours_port=
for _ in $(seq 100); do
  ours_port=$(awk '/^port /{print $2; exit}' "$work/ours.out")
  [ -n "$ours_port" ] && break
  sleep 0.05
done
[ -n "$ours_port" ] || { echo "our server did not start"; exit 1; }

# A free loopback port for tftpd-hpa, found by binding port 0.
theirs_port=$(python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
in.tftpd -L -a "127.0.0.1:$theirs_port" -s "$work/root" >/dev/null 2>&1 &
theirs_pid=$!
sleep 0.3

fetch_ns() {  # port -> nanoseconds for one whole fetch, checked against the bytes
  local start end
  rm -f "$work/got.bin"
  start=$(date +%s%N)
  curl --silent --max-time 10 -o "$work/got.bin" "tftp://127.0.0.1:$1/image.bin"
  end=$(date +%s%N)
  cmp -s "$work/got.bin" "$work/root/image.bin" || { echo "wrong bytes from port $1" >&2; exit 1; }
  echo $((end - start))
}

fetch_ns "$ours_port" >/dev/null  # warm-up, both
fetch_ns "$theirs_port" >/dev/null
: >"$work/ours.ns"
: >"$work/theirs.ns"
for _ in $(seq "$rounds"); do
  fetch_ns "$ours_port" >>"$work/ours.ns"
  fetch_ns "$theirs_port" >>"$work/theirs.ns"
done

python3 - "$work/ours.ns" "$work/theirs.ns" "$rounds" <<'PY'
import statistics, sys
ours = [int(x) / 1e6 for x in open(sys.argv[1])]
theirs = [int(x) / 1e6 for x in open(sys.argv[2])]
mo, mt = statistics.median(ours), statistics.median(theirs)
print(f"rounds each: {sys.argv[3]} (curl fetch of 21504 bytes, loopback)")
print(f"this server: median {mo:.2f} ms  (min {min(ours):.2f}, max {max(ours):.2f})")
print(f"tftpd-hpa:   median {mt:.2f} ms  (min {min(theirs):.2f}, max {max(theirs):.2f})")
print(f"ratio this/tftpd-hpa: {mo / mt:.3f}  (goal <= 1.0)")
PY
