# The Qt dialog's whole job for netns_harness.sh: the dialog's test program in the
# computer's namespace clicks the button, a whole simulated board answers in the
# board's. Needs EMCB_QT_DIALOG_TEST, EMCB_CONFIG and EMCB_BOARD_SIM; the window
# manager's scenario also Xvfb, openbox, xprop and EMCB_SCREENSHOT (the PNG to keep).
# shellcheck shell=bash

# shellcheck source=tests/netns/job_scenarios.sh
source "$(dirname "${BASH_SOURCE[0]}")/job_scenarios.sh"

# dialog_job PLATFORM [VAR=VALUE...]: runs the dialog's job test; output in dialog.log.
# While it runs, DURING_JOB (a command, if set) is run again and again.
dialog_job() {
  local platform=$1 test_pid status=0
  shift
  require_program EMCB_QT_DIALOG_TEST EMCB_CONFIG EMCB_BOARD_SIM
  mkdir -p "$EMCB_NS_WORK/runtime" "$EMCB_NS_WORK/config"
  chmod 700 "$EMCB_NS_WORK/runtime"
  start_board ${BOARD_OPTIONS:-}
  in_computer env EMCB_QT_NETNS=1 XDG_RUNTIME_DIR="$EMCB_NS_WORK/runtime" \
    XDG_CONFIG_HOME="$EMCB_NS_WORK/config" "$@" \
    timeout 200 "$EMCB_QT_DIALOG_TEST" -platform "$platform" jobProgramsTheSimulatedBoard \
    </dev/null >"$EMCB_NS_WORK/dialog.log" 2>&1 &
  test_pid=$!
  while [ -n "${DURING_JOB:-}" ] && kill -0 "$test_pid" 2>/dev/null; do
    $DURING_JOB
    sleep 0.05
  done
  wait "$test_pid" || status=$?
  [ "$status" -eq 0 ] || fail "the dialog's job test failed"
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

# Every window's title as the window manager has it (_NET_WM_NAME), one a line, into
# titles.txt. A window may close between the list and the question about it (xprop
# then fails): it is passed over.
note_titles() {
  local window windows name
  windows=$(xprop -root _NET_CLIENT_LIST 2>/dev/null | grep -o '0x[0-9a-f]*') || return 0
  for window in $windows; do
    name=$(xprop -id "$window" _NET_WM_NAME 2>/dev/null) || continue
    sed -n 's/^_NET_WM_NAME(UTF8_STRING) = "\(.*\)"$/\1/p' <<<"$name"
  done >>"$EMCB_NS_WORK/titles.txt"
}

# On a desktop with a window manager (openbox under Xvfb): the titles are exactly the
# program's own ("Tftp Uploading [N%]", no application name added), the job ends in
# "Programming Complete", and the dialog's picture after the job is kept.
scenario_qt_dialog_under_a_window_manager() {
  command -v Xvfb >/dev/null 2>&1 || fail "Xvfb is not installed"
  command -v openbox >/dev/null 2>&1 || fail "openbox is not installed"
  command -v xprop >/dev/null 2>&1 || fail "xprop (x11-utils) is not installed"
  [ -n "${EMCB_SCREENSHOT:-}" ] || fail "EMCB_SCREENSHOT names no file"
  rm -f "$EMCB_SCREENSHOT"
  # -displayfd: Xvfb picks a free display itself and says which, so runs never share
  # one. It runs outside the namespaces, where it sees every other X server's socket
  # when it picks; the window manager and the dialog in the computer's namespace reach
  # it through its socket file. (Started in there, it once took a display whose socket
  # file another server held, and openbox could not open the display.)
  Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp \
    3>"$EMCB_NS_WORK/display" 2>"$EMCB_NS_WORK/xvfb.log" &
  qt_xvfb=$!
  trap 'qt_status=$?; kill "$qt_xvfb" 2>/dev/null || true; (exit "$qt_status"); cleanup' EXIT
  local wm
  wait_until 100 "Xvfb did not start" test -s "$EMCB_NS_WORK/display"
  export DISPLAY=":$(head -n1 "$EMCB_NS_WORK/display")"
  in_computer env HOME="$EMCB_NS_WORK" openbox --sm-disable >"$EMCB_NS_WORK/openbox.log" 2>&1 &
  wm=$!
  wait_until 100 "openbox did not take the screen" \
    bash -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
  : >"$EMCB_NS_WORK/titles.txt"
  # Firmware blocks 100 ms apart: the progress window stays up for seconds.
  BOARD_OPTIONS="--tftp-ack-delay-ms 100" DURING_JOB=note_titles \
    dialog_job xcb DISPLAY="$DISPLAY" EMCB_QT_SCREENSHOT="$EMCB_SCREENSHOT"
  kill "$wm" "$qt_xvfb" 2>/dev/null || true
  wait "$wm" "$qt_xvfb" 2>/dev/null || true

  sort -u "$EMCB_NS_WORK/titles.txt" >"$EMCB_NS_WORK/titles.seen"
  grep -qxF "Ethernet Motion Control Board Configurator" "$EMCB_NS_WORK/titles.seen" ||
    fail "no dialog titled exactly so; titles: $(paste -sd'|' "$EMCB_NS_WORK/titles.seen")"
  grep -qE '^Tftp Uploading \[[0-9]+%\]$' "$EMCB_NS_WORK/titles.seen" ||
    fail "no progress window titled 'Tftp Uploading [N%]'; titles: $(paste -sd'|' "$EMCB_NS_WORK/titles.seen")"
  if grep -E '^(Tftp|Ethernet)' "$EMCB_NS_WORK/titles.seen" |
    grep -vxE 'Tftp Uploading( \[[0-9]+%\])?|Ethernet Motion Control Board Configurator'; then
    fail "a title with more than the program's own text"
  fi
  [ -s "$EMCB_SCREENSHOT" ] || fail "no screenshot at $EMCB_SCREENSHOT"
  echo "titles seen: $(grep -c '^Tftp Uploading \[' "$EMCB_NS_WORK/titles.seen") progress captions, e.g. '$(grep -m1 '^Tftp Uploading \[' "$EMCB_NS_WORK/titles.seen")'"
  echo "screenshot: $EMCB_SCREENSHOT"
}
