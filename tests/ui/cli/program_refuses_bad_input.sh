#!/usr/bin/env bash
# `program` refuses a bad address text, a firmware image that is no regular file and a
# report that would replace the image or the list before anything starts: at once,
# naming what is wrong, binding no socket; a good address starts the job. Every run is in a
# network namespace of its own (unshare), holding only a loopback that is down, so
# that not even a broken refusal could reach a network; strace, when there is one,
# shows whether anything was bound.
#   program_refuses_bad_input.sh EMCB_CONFIG
set -euo pipefail
config=$1
readonly SKIPPED=77

if unshare --net true 2>/dev/null; then
  isolated=(unshare --net)
elif unshare --map-root-user --net true 2>/dev/null; then
  isolated=(unshare --map-root-user --net)
else
  echo "SKIPPED: no network namespace can be made here"
  exit "$SKIPPED"
fi
tracer=()
# (LeakSanitizer cannot run under ptrace: a sanitized build is traced without it.)
command -v strace >/dev/null 2>&1 &&
  tracer=(env "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
    strace -f -qq -e trace=bind -o)

work=$(mktemp -d /tmp/emcb-refuse.XXXXXX)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config
failed=0
fail() {
  echo "FAILED: $*"
  failed=1
}

# run NAME ARGS...: the program in its own namespace; sets status, ms, and leaves
# NAME.out, NAME.err and (with strace) NAME.trace.
run() {
  local name=$1 start end
  shift
  local trace=()
  [ ${#tracer[@]} -eq 0 ] || trace=("${tracer[@]}" "$work/$name.trace")
  start=$(date +%s%N)
  status=0
  timeout 20 "${isolated[@]}" "${trace[@]}" "$config" program --timeout 0.2 --json "$@" </dev/null \
    >"$work/$name.out" 2>"$work/$name.err" || status=$?
  end=$(date +%s%N)
  ms=$(((end - start) / 1000000))
}

bound() {  # NAME: whether the run bound a socket
  [ ${#tracer[@]} -ne 0 ] && grep -q 'bind(' "$work/$1.trace"
}

refused() {  # FLAG TEXT FIELD
  local name=refused$((++refusals))
  run "$name" "$1" "$2"
  echo "$1 '$2': status $status in $ms ms"
  [ "$status" -eq 1 ] || fail "$1 '$2': exit status $status, expected 1"
  [ "$ms" -lt 1000 ] || fail "$1 '$2': refused after $ms ms"
  grep -qF "$3 \"$2\"" "$work/$name.err" || fail "$1 '$2': the refusal does not name $3 \"$2\""
  grep -q '"outcome":"invalid-field"' "$work/$name.out" || fail "$1 '$2': JSON outcome is not invalid-field"
  ! bound "$name" || fail "$1 '$2': a socket was bound before the refusal"
}

refusals=0
for text in 010.9.9.21 10.9.92 "10.9.9.21 x" 1 256.1.1.1 " 10.9.9.21" 10.9.9.00 192.168.100.100x; do
  refused --ip "$text" "IP address"
done
for text in "00-1B-2C-3D-4E-5F " 00:1B:2C:3D:4E:5F 00-1B-2C-3D-4E; do
  refused --mac "$text" "MAC address"
done

# Taken: the job starts (its link is bound) and ends at its time limit, no board here.
for text in 10.9.9.21 192.168.100.100; do
  run taken "--ip" "$text" --mac 0-1B-2C-3D-4E-5F
  grep -q '"outcome":"no-board"' "$work/taken.out" || fail "--ip '$text' was not taken: $(cat "$work/taken.err")"
  [ ${#tracer[@]} -eq 0 ] || bound taken || fail "--ip '$text': strace saw no bind, so it proves nothing"
done

# The board list: the row's line, the field and the text, exit status 2.
printf 'ip,mac,nickname\n10.9.9.21,,a\n010.9.9.22,,b\n' >"$work/boards.csv"
run list --boards "$work/boards.csv"
[ "$status" -eq 2 ] || fail "--boards: exit status $status, expected 2"
grep -qF 'boards.csv line 3: The IP address "010.9.9.22"' "$work/list.err" ||
  fail "--boards: $(cat "$work/list.err")"
! bound list || fail "--boards: a socket was bound before the refusal"

# Files: only a regular file is an image (a FIFO would block the read for ever), and
# the report may be neither the image nor the list, under any name.
refused_file() {  # WHAT EXPECTED-TEXT ARGS...
  local what=$1 expected=$2
  shift 2
  run file "$@"
  echo "$what: status $status in $ms ms"
  [ "$status" -eq 2 ] || fail "$what: exit status $status, expected 2"
  [ "$ms" -lt 1000 ] || fail "$what: refused after $ms ms"
  grep -qF "$expected" "$work/file.err" || fail "$what: $(cat "$work/file.err")"
  ! bound file || fail "$what: a socket was bound before the refusal"
}
mkfifo "$work/image.fifo"
refused_file "a FIFO as the image" "is not a regular file" --image "$work/image.fifo"
refused_file "a device as the image" "is not a regular file" --image /dev/zero
head -c 100 /dev/urandom >"$work/image.bin"
cp "$work/image.bin" "$work/image.kept"
ln "$work/image.bin" "$work/image.link"
printf 'ip\n10.9.9.21\n' >"$work/list.csv"
refused_file "the report as the image" "would replace the firmware image" \
  --boards "$work/list.csv" --image "$work/image.bin" --report "$work/image.link"
refused_file "the report as the list" "would replace the list of boards" \
  --boards "$work/list.csv" --report "$work/./list.csv"
cmp -s "$work/image.bin" "$work/image.kept" || fail "the image was changed"

[ ${#tracer[@]} -ne 0 ] || echo "NOTE: no strace here: binding was not watched"
exit "$failed"
