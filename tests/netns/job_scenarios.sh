# Whole-job scenarios for netns_harness.sh: `emcb-config program` in the computer's
# namespace, a whole simulated board (board-sim board) in the board's namespace.
# Needs EMCB_CONFIG (the configurator) and EMCB_BOARD_SIM.
# shellcheck shell=bash

readonly BOARD_MAC=02:00:00:00:0c:01

require_programs() {
  require_program EMCB_CONFIG EMCB_BOARD_SIM
}

# start_board [board-sim board options]: its summaries in board.json.
start_board() {
  in_board "$EMCB_BOARD_SIM" board --interface "$EMCB_IF_BOARD" --mac "$BOARD_MAC" \
    --interval 1 --attempts 20 --duration 90 --flash "$EMCB_NS_WORK/flash.bin" "$@" \
    >"$EMCB_NS_WORK/board.json" 2>"$EMCB_NS_WORK/board.log" &
  board_pid=$!
}

# program [emcb-config program options]: sets program_status; output in program.*.
program() {
  program_status=0
  in_computer timeout 150 "$EMCB_CONFIG" program --json --timeout 120 "$@" </dev/null \
    >"$EMCB_NS_WORK/program.json" 2>"$EMCB_NS_WORK/program.log" || program_status=$?
}

expect_stage() {  # STAGE KEY VALUE
  local actual
  actual=$(summary_value "$1" "$2") || fail "no $1 summary with $2"
  [ "$actual" = "$3" ] || fail "$1: $2 is '$actual', expected '$3'"
}

expect_programmed() {  # IP NICKNAME
  [ "$program_status" -eq 0 ] || fail "program exited with $program_status"
  grep -q '"outcome":"programmed"' "$EMCB_NS_WORK/program.json" || fail "the job did not report programmed"
  grep -q 'Programming Complete' "$EMCB_NS_WORK/program.log" || fail "no Programming Complete"
  wait "$board_pid" || fail "the board ended with status $?"
  "${EMCB_NATIVE_CLI:-$EMCB_CONFIG}" block --ip "$1" --nickname "$2" --out "$EMCB_NS_WORK/expected.bin"
  cmp "$EMCB_NS_WORK/expected.bin" "$EMCB_NS_WORK/flash.bin" || fail "the stored block differs"
  expect_stage link config_crc_ok true
  expect_stage link header_violations.total 0
  expect_stage link messages_by_command.0x8E8E 1
  expect_stage link messages_by_command.0x7C7C 1
}

# expect_job_stages: the job's stages, in program.json and as lines in program.log,
# name the adapter, the board's hardware address and its address, in the job's order.
expect_job_stages() {
  python3 - "$EMCB_NS_WORK/program.json" "$EMCB_NS_WORK/program.log" "$EMCB_IF_COMPUTER" \
    "$BOARD_MAC" <<'PY' || fail "the job's stages are not as expected"
import json, re, sys
summary_path, log_path, adapter, mac = sys.argv[1:]
stages = json.load(open(summary_path))["stages"]
kinds = [s["stage"] for s in stages]
# A board that missed a reply asks again and is given the same address again.
collapsed = [k for i, k in enumerate(kinds) if i == 0 or k != kinds[i - 1]]
expected = ["bootp-adapters", "address-given", "transfer-started", "transfer-finished",
            "board-heard", "configuration-sent", "configuration-acknowledged",
            "disconnect-sent", "disconnect-acknowledged", "outcome"]
problems = []
if collapsed != expected:
    problems.append(f"order {kinds}")
times = [s["ms"] for s in stages]
if times != sorted(times) or times[-1] > 150000:
    problems.append(f"times {times}")
first = {s["stage"]: s for s in reversed(stages)}
if first["bootp-adapters"]["adapters"] != [{"name": adapter, "address": "10.9.9.1"}]:
    problems.append(f"adapters {first['bootp-adapters']['adapters']}")
given = first["address-given"]
if (given["adapter"], given["hardware_address"], given["address"], given["from_arp_table"]) != \
        (adapter, mac.replace(":", "-").upper(), "10.9.9.100", False):
    problems.append(f"address given {given}")
for kind in ("transfer-started", "transfer-finished"):
    if not first[kind]["client"].startswith("10.9.9.100:") or first[kind]["bytes"] != 21504:
        problems.append(f"{kind} {first[kind]}")
if not first["board-heard"]["address"].startswith("10.9.9.100:"):
    problems.append(f"board heard {first['board-heard']}")
if first["outcome"]["outcome"] != "programmed":
    problems.append(f"outcome {first['outcome']}")
# Standard error: one line per stage, in the same order, the outcome by its name.
lines = [l.rstrip("\n") for l in open(log_path)]
shown = [re.sub(r"^\[ *[0-9]+\.[0-9]{3} s\] ", "", l) for l in lines if re.match(r"^\[ *[0-9.]+ s\] ", l)]
wanted = [s["text"] if s["stage"] != "outcome" else "Outcome: programmed" for s in stages]
if shown != wanted:
    problems.append(f"stage lines {shown}")
for p in problems:
    print("stages:", p)
sys.exit(1 if problems else 0)
PY
}

scenario_board_in_bootp_mode_is_programmed() {
  require_programs
  start_board
  program --ip 10.9.9.20 --nickname "Axis 3"
  expect_programmed 10.9.9.20 "Axis 3"
  expect_stage bootp yiaddr 10.9.9.100
  expect_stage tftp crc_ok true
  expect_job_stages
  echo "program: $(cat "$EMCB_NS_WORK/program.json")"
  cat "$EMCB_NS_WORK/board.json"
}

scenario_lossy_link_still_programs() {
  require_programs
  start_board --drop-rx 0.3 --drop-tx 0.3 --seed 7
  program --ip 10.9.9.21 --nickname Lossy --quiet
  expect_programmed 10.9.9.21 Lossy
  # Quiet: of the stages only the outcome, and no progress bar.
  [ "$(grep -c '^\[ *[0-9.]* s\] ' "$EMCB_NS_WORK/program.log")" -eq 1 ] &&
    grep -q '^\[ *[0-9.]* s\] Outcome: programmed$' "$EMCB_NS_WORK/program.log" ||
    fail "--quiet showed more than the outcome"
  ! grep -q 'Tftp Uploading' "$EMCB_NS_WORK/program.log" || fail "--quiet showed the progress bar"
  echo "program: $(cat "$EMCB_NS_WORK/program.json")"
}

scenario_port_67_held_warns_and_ends_cleanly() {
  require_programs
  hold_port_67 60
  program_status=0
  in_computer timeout 60 "$EMCB_CONFIG" program --json --timeout 3 </dev/null \
    >"$EMCB_NS_WORK/program.json" 2>"$EMCB_NS_WORK/program.log" || program_status=$?
  kill "$port_holder" 2>/dev/null || true
  [ "$program_status" -eq 1 ] || fail "program exited with $program_status, expected 1"
  grep -q 'No network adapter can answer BOOTP requests (UDP port 67)' "$EMCB_NS_WORK/program.log" ||
    fail "no warning about port 67"
  grep -q '"outcome":"no-board"' "$EMCB_NS_WORK/program.json" || fail "unexpected outcome"
  grep -q '"bootp_interfaces":0' "$EMCB_NS_WORK/program.json" || fail "BOOTP shown as serving"
  cat "$EMCB_NS_WORK/program.log"
}

# prepare_wine: for the Windows build's configurator (EMCB_CONFIG) under Wine in the
# computer's namespace, a prefix of its own there (a copy of an initialised one), so
# that its wineserver sees that namespace's adapters. Skips without the native
# programs or a prefix.
prepare_wine() {
  [ -x "${EMCB_BOARD_SIM:-}" ] || { echo "SKIPPED: no native board-sim at '${EMCB_BOARD_SIM:-}'"; exit 77; }
  [ -x "${EMCB_NATIVE_CLI:-}" ] || { echo "SKIPPED: no native emcb-config at '${EMCB_NATIVE_CLI:-}'"; exit 77; }
  [ -f "${EMCB_CONFIG:-}" ] || fail "EMCB_CONFIG is not the Windows program: '${EMCB_CONFIG:-}'"
  # shellcheck source=/dev/null
  source "$EMCB_SOURCE_DIR/scripts/wine-env"
  [ -f "$WINEPREFIX/system.reg" ] || { echo "SKIPPED: no initialised Wine prefix at $WINEPREFIX"; exit 77; }
  wine_prefix=$EMCB_NS_WORK/prefix
  emcb_wine_private_prefix "$wine_prefix" in_computer || fail "no wineserver"
}

# in_wine ARGS...: the Windows configurator with ARGS in the computer's namespace.
in_wine() {
  in_computer env WINEPREFIX="$wine_prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    timeout 170 "$EMCB_WINE" "$EMCB_CONFIG" "$@"
}

stop_wine() {
  in_computer env WINEPREFIX="$wine_prefix" wineserver -k 2>/dev/null || true
}

scenario_windows_program_under_wine() {
  prepare_wine
  start_board --attempts 60
  program_status=0
  in_wine program --json --timeout 120 --ip 10.9.9.22 --nickname "Wine board" </dev/null \
    >"$EMCB_NS_WORK/program.json" 2>"$EMCB_NS_WORK/program.log" || program_status=$?
  stop_wine
  expect_programmed 10.9.9.22 "Wine board"
  echo "program (Windows build): $(cat "$EMCB_NS_WORK/program.json")"
}
