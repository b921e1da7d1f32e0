# The Qt dialog's whole job for netns_harness.sh: the dialog's test program in the
# computer's namespace clicks the button, a whole simulated board answers in the
# board's. Needs EMCB_QT_DIALOG_TEST, EMCB_CONFIG and EMCB_BOARD_SIM; the screenshot
# scenario also Xvfb and EMCB_SCREENSHOT (the PNG to keep).
# shellcheck shell=bash

# shellcheck source=tests/netns/job_scenarios.sh
source "$(dirname "${BASH_SOURCE[0]}")/job_scenarios.sh"

# dialog_job PLATFORM [VAR=VALUE...]: runs the dialog's job test; output in dialog.log.
dialog_job() {
  local platform=$1
  shift
  require_program EMCB_QT_DIALOG_TEST EMCB_CONFIG EMCB_BOARD_SIM
  mkdir -p "$EMCB_NS_WORK/runtime" "$EMCB_NS_WORK/config"
  chmod 700 "$EMCB_NS_WORK/runtime"
  start_board
  in_computer env EMCB_QT_NETNS=1 XDG_RUNTIME_DIR="$EMCB_NS_WORK/runtime" \
    XDG_CONFIG_HOME="$EMCB_NS_WORK/config" "$@" \
    timeout 200 "$EMCB_QT_DIALOG_TEST" -platform "$platform" jobProgramsTheSimulatedBoard \
    </dev/null >"$EMCB_NS_WORK/dialog.log" 2>&1 || fail "the dialog's job test failed"
  grep -q '^PASS   : .*jobProgramsTheSimulatedBoard' "$EMCB_NS_WORK/dialog.log" ||
    fail "the dialog's job test did not run"
  wait "$board_pid" || fail "the board ended with status $?"
  "$EMCB_CONFIG" block --ip 10.9.9.30 --nickname "Qt board" --out "$EMCB_NS_WORK/expected.bin"
  cmp "$EMCB_NS_WORK/expected.bin" "$EMCB_NS_WORK/flash.bin" || fail "the stored block differs"
  expect_stage link config_crc_ok true
}

scenario_qt_dialog_programs_the_board() {
  dialog_job offscreen
  grep -E '^(PASS|FAIL|Totals)' "$EMCB_NS_WORK/dialog.log"
}

# The same under an X server of its own, then the screen with the log view open.
scenario_qt_dialog_screenshot() {
  command -v Xvfb >/dev/null 2>&1 || fail "Xvfb is not installed"
  [ -n "${EMCB_SCREENSHOT:-}" ] || fail "EMCB_SCREENSHOT names no file"
  rm -f "$EMCB_SCREENSHOT"
  # -displayfd: Xvfb picks a free display itself and says which, so runs never share one.
  in_computer Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp \
    3>"$EMCB_NS_WORK/display" 2>"$EMCB_NS_WORK/xvfb.log" &
  local xvfb=$!
  wait_until 100 "Xvfb did not start" test -s "$EMCB_NS_WORK/display"
  dialog_job xcb DISPLAY=":$(head -n1 "$EMCB_NS_WORK/display")" EMCB_QT_SCREENSHOT="$EMCB_SCREENSHOT"
  kill "$xvfb" 2>/dev/null || true
  [ -s "$EMCB_SCREENSHOT" ] || fail "no screenshot at $EMCB_SCREENSHOT"
  echo "screenshot: $EMCB_SCREENSHOT"
}
