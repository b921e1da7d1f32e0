#!/usr/bin/env bash
# Standard TFTP clients (curl, tftp-hpa) fetch the image from the configurator's
# server on a loopback port: any file name gets exactly image bytes 28 to the end.
# tftp-hpa runs in literal mode (-l), or it would read "d:" as a host name.
# Usage: CTftpClientsTest.sh PATH/TO/emcb-tftp-serve
set -euo pipefail
serve=$1
for tool in curl tftp; do
  command -v "$tool" >/dev/null || { echo "missing $tool (see .ci/install-deps)"; exit 1; }
done

work=$(mktemp -d)
# The server keeps its progress window position there, not in the user's settings.
export XDG_CONFIG_HOME="$work/config"
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

"$serve" --write-content "$work/expected.bin"
[ "$(stat -c %s "$work/expected.bin")" -eq 21504 ] || { echo "content is not 21504 bytes"; exit 1; }

"$serve" --port 0 --duration 120 >"$work/server.out" 2>"$work/server.err" </dev/null &
server_pid=$!
port=
for _ in $(seq 100); do
  port=$(awk '/^port /{print $2; exit}' "$work/server.out")
  [ -n "$port" ] && break
  sleep 0.05
done
[ -n "$port" ] || { echo "server did not listen"; cat "$work/server.err"; exit 1; }

failures=0
check() {  # label, file, requested name
  if ! cmp -s "$2" "$work/expected.bin"; then
    echo "FAIL $1: got $(stat -c %s "$2" 2>/dev/null || echo no) bytes, not the image content"
    failures=$((failures + 1))
  elif ! grep -qF "StartRead - \"$3\"" "$work/server.out"; then
    echo "FAIL $1: the server did not see the name \"$3\""
    failures=$((failures + 1))
  else
    echo "ok   $1"
  fi
}

names=('d:\a.bin' 'fpga' 'x')
encoded=('d%3A%5Ca.bin' 'fpga' 'x')  # curl sends the URL path percent-decoded
for i in "${!names[@]}"; do
  name=${names[$i]}
  rm -f "$work/curl.bin" "$work/tftp.bin"
  curl --silent --show-error --max-time 20 -o "$work/curl.bin" \
    "tftp://127.0.0.1:$port/${encoded[$i]}" || true
  check "curl $name" "$work/curl.bin" "$name"
  (cd "$work" && timeout 20 tftp -l -m octet 127.0.0.1 "$port" -c get "$name" "$work/tftp.bin") || true
  check "tftp-hpa $name" "$work/tftp.bin" "$name"
done

completed=$(grep -c "CTftp::HandlePacket - transfer of" "$work/server.out" || true)
echo "transfers completed: $completed"
[ "$completed" -eq 6 ] || { echo "FAIL expected 6 completed transfers"; failures=$((failures + 1)); }
[ "$failures" -eq 0 ]
