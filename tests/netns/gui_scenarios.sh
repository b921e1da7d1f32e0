# The Windows configurator's dialog driven as a user would, for netns_harness.sh: the
# real .exe under Wine in the computer's namespace (with a display and a prefix of its
# own), a whole simulated board in the board's namespace.
# Needs EMCB_CONFIGURATOR, EMCB_GUI_DRIVER (Windows programs), EMCB_BOARD_SIM,
# EMCB_NATIVE_CLI, EMCB_SOURCE_DIR; the screenshots go to EMCB_ARTEFACT_DIR.
# shellcheck shell=bash

readonly BOARD_MAC=02:00:00:00:0c:02
readonly IDOK=1 IDCANCEL=2 IDYES=6 IDNO=7
readonly ID_IP=1105 ID_MAC=1104 ID_NICKNAME=1128 ID_CONNECT=1127 ID_PROGRAMMING=1089
# Longer than the 63 characters the dialog reads: the board keeps the first 63.
readonly LONG_NICKNAME="GUI board, with a nickname longer than the sixty-three characters kept"
readonly WM_SYSCOMMAND=0x0112 SC_CLOSE=0xF060 VK_RETURN=13
readonly VK_ESCAPE=0x1B
readonly CANCEL_QUESTION="Cancel the job? The board may be left unprogrammed."
readonly CANCELLED="The board was not programmed: the job was cancelled."
# The dialog while a result box is up: the job shown as ended, the box modal to it.
readonly ENDED_UNDER_BOX="checked=0 input=1 dialog=0"

gui_setup() {
  [ -x "${EMCB_BOARD_SIM:-}" ] || { echo "SKIPPED: no native board-sim at '${EMCB_BOARD_SIM:-}'"; exit 77; }
  [ -x "${EMCB_NATIVE_CLI:-}" ] || { echo "SKIPPED: no native emcb-config at '${EMCB_NATIVE_CLI:-}'"; exit 77; }
  [ -f "${EMCB_CONFIGURATOR:-}" ] || fail "EMCB_CONFIGURATOR is not the Windows program: '${EMCB_CONFIGURATOR:-}'"
  [ -f "${EMCB_GUI_DRIVER:-}" ] || fail "EMCB_GUI_DRIVER is not a program: '${EMCB_GUI_DRIVER:-}'"
  # shellcheck source=/dev/null
  source "$EMCB_SOURCE_DIR/scripts/wine-env"
  [ -f "$WINEPREFIX/system.reg" ] || { echo "SKIPPED: no initialised Wine prefix at $WINEPREFIX"; exit 77; }
  # shellcheck source=tests/ui/win32/gui_session.sh
  source "$EMCB_SOURCE_DIR/tests/ui/win32/gui_session.sh"
  # Xvfb outside the namespaces, where it sees every other X server's socket when it
  # picks a free display; programs in the namespace reach it through its socket file.
  trap 'gui_status=$?; gui_session_stop; (exit "$gui_status"); cleanup' EXIT
  gui_session_start "$EMCB_NS_WORK" || fail "no display"
  # Its sockets must be the computer namespace's, so the server starts in there.
  gui_wineserver_start in_computer || fail "no wineserver"
  artefacts=${EMCB_ARTEFACT_DIR:-$EMCB_NS_WORK/artefacts}
  mkdir -p "$artefacts"
}

in_wine() {
  in_computer env WINEPREFIX="$WINEPREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    DISPLAY="$DISPLAY" "$@"
}

# drive COMMAND ARGS...: the driver's answer on standard output, without carriage returns.
drive() {
  local answer status=0
  answer=$(in_wine timeout 200 "$EMCB_WINE" "$EMCB_GUI_DRIVER" "$@" </dev/null 2>>"$EMCB_NS_WORK/driver.log") ||
    status=$?
  printf '%s' "$answer" | tr -d '\r'
  return "$status"
}

start_board() {  # [board-sim board options]
  in_board "$EMCB_BOARD_SIM" board --interface "$EMCB_IF_BOARD" --mac "$BOARD_MAC" \
    --interval 1 --attempts 60 --duration 120 --flash "$EMCB_NS_WORK/flash.bin" "$@" \
    >"$EMCB_NS_WORK/board.json" 2>"$EMCB_NS_WORK/board.log" &
  board_pid=$!
}

start_configurator() {
  in_wine timeout 240 "$EMCB_WINE" "$EMCB_CONFIGURATOR" </dev/null \
    >"$EMCB_NS_WORK/configurator.log" 2>&1 &
  configurator_pid=$!
  dialog=$(drive wait-dialog 90) || fail "the dialog did not appear"
}

# expect_state CHECKED INPUT [SECONDS]: the "Programming" box and whether the fields and
# the button take input; the dialog itself always does.
expect_state() {
  local wanted="checked=$1 input=$2 dialog=1" state tries=0 limit=$((${3:-0} * 10))
  while state=$(drive state "$dialog" "$ID_PROGRAMMING") && [ "$state" != "$wanted" ]; do
    tries=$((tries + 1))
    [ "$tries" -le "$limit" ] || fail "the dialog is '$state', expected '$wanted'"
    sleep 0.1
  done
}

# set_field ID TEXT: typed into the field, then read back.
set_field() {
  drive type "$dialog" "$1" "$2" || fail "could not type '$2' into field $1"
}

# answer_box TEXT BUTTON [SECONDS]: waits for a box holding TEXT, keeps its whole
# message in box_text and the dialog's state meanwhile in state_at_box, presses BUTTON.
answer_box() {
  local box
  box=$(drive wait-box "$1" "${3:-120}") || fail "no message box with '$1'"
  box_text=$(drive text "$box")
  state_at_box=$(drive state "$dialog" "$ID_PROGRAMMING")
  drive click "$box" "$2" || fail "could not press button $2 of the box"
}

# Whether anything in the computer's namespace holds UDP port 67.
port_67_held() {
  [ -n "$(in_computer ss -Hlun 'sport = :67')" ]
}
port_67_free() { ! port_67_held; }

# The program ends when the dialog closes, with status 0.
expect_exit() {
  local status=0 tries=0
  while kill -0 "$configurator_pid" 2>/dev/null; do
    tries=$((tries + 1))
    [ "$tries" -le 300 ] || fail "the program did not end when its dialog closed"
    sleep 0.1
  done
  wait "$configurator_pid" || status=$?
  [ "$status" -eq 0 ] || fail "the program ended with status $status"
}

# screenshot_windows FILE WINDOW...: the smallest part of the screen that shows them all.
screenshot_windows() {
  local file=$1 window x y w h left=100000 top=100000 right=0 bottom=0
  shift
  for window in "$@"; do
    read -r x y w h <<<"$(drive rect "$window")" || fail "no rectangle for window $window"
    ((x < left)) && left=$x
    ((y < top)) && top=$y
    ((x + w > right)) && right=$((x + w))
    ((y + h > bottom)) && bottom=$((y + h))
  done
  gui_screenshot "$file" "$left" "$top" "$((right - left))" "$((bottom - top))"
}

scenario_windows_gui_programs_the_board() {
  gui_setup
  start_board --tftp-ack-delay-ms 100
  start_configurator
  expect_state 0 1
  [ "$(drive text "$dialog" "$ID_MAC")" = "FF-FF-FF-FF-FF-FF" ] || fail "the MAC field's default is wrong"
  set_field "$ID_IP" 10.9.9.23
  set_field "$ID_NICKNAME" "$LONG_NICKNAME"
  screenshot_windows "$artefacts/dialog.png" "$dialog"

  drive watch-job "$dialog" 150 >"$EMCB_NS_WORK/responsiveness.txt" &
  local watcher=$!
  drive click "$dialog" "$ID_CONNECT" || fail "could not press the button"
  local progress
  progress=$(drive wait-title "Tftp Uploading [" 60) || fail "no progress window with a percentage"
  screenshot_windows "$artefacts/progress.png" "$progress" "$dialog"
  expect_state 1 0

  answer_box "" "$IDOK" 120
  [ "$box_text" = "Programming Complete" ] || fail "the final box says '$box_text'"
  [ "$state_at_box" = "$ENDED_UNDER_BOX" ] || fail "under the final box the dialog is '$state_at_box'"
  expect_state 0 1 10
  wait "$watcher" || fail "the dialog showed as not responding: $(cat "$EMCB_NS_WORK/responsiveness.txt")"
  echo "the dialog during the job: $(cat "$EMCB_NS_WORK/responsiveness.txt")"
  drive key "$dialog" "$ID_NICKNAME" "$VK_RETURN" || fail "could not press Enter"
  expect_exit

  wait "$board_pid" || fail "the board ended with status $?"
  "$EMCB_NATIVE_CLI" block --ip 10.9.9.23 --nickname "$LONG_NICKNAME" --out "$EMCB_NS_WORK/expected.bin"
  cmp "$EMCB_NS_WORK/expected.bin" "$EMCB_NS_WORK/flash.bin" || fail "the stored block differs"
  echo "Programming Complete; the board stored the block of 'emcb-config block'."
  echo "screenshots: $artefacts/dialog.png $artefacts/progress.png"
}

scenario_windows_gui_silent_board_cancelled() {
  gui_setup
  start_configurator
  set_field "$ID_IP" 10.9.9.24
  drive click "$dialog" "$ID_CONNECT" || fail "could not press the button"
  expect_state 1 0 10

  answer_box "is not responding" "$IDCANCEL" 90
  [ "$box_text" = $' is not responding.\n\nRetry or Quit Plugin (cancel)?' ] ||
    fail "the question says '$box_text'"
  [ "$state_at_box" = "checked=1 input=0 dialog=1" ] ||
    fail "under the firmware server's question the dialog is '$state_at_box'"
  answer_box "" "$IDOK" 60
  [ "$box_text" = "The board was not programmed: no board answered, and the wait for one was cancelled." ] ||
    fail "the final box says '$box_text'"
  [ "$state_at_box" = "$ENDED_UNDER_BOX" ] || fail "under the final box the dialog is '$state_at_box'"
  expect_state 0 1 10
  drive click "$dialog" "$IDOK" || fail "could not press Exit"
  expect_exit
  echo "Cancel in the question: '$box_text'"
}

# No board: Escape asks, Yes ends the job at once with its own text and its services
# gone, and the dialog is the user's again.
scenario_windows_gui_escape_cancels_a_waiting_job() {
  gui_setup
  start_configurator
  set_field "$ID_IP" 10.9.9.25
  drive click "$dialog" "$ID_CONNECT" || fail "could not press the button"
  expect_state 1 0 10
  wait_until 100 "the job's BOOTP server never took port 67" port_67_held

  drive key "$dialog" "$IDOK" "$VK_ESCAPE" || fail "could not press Escape"
  local box
  box=$(drive wait-box "$CANCEL_QUESTION" 20) || fail "Escape asked nothing"
  screenshot_windows "$artefacts/cancel-question.png" "$box"
  answer_box "$CANCEL_QUESTION" "$IDYES" 5
  [ "$state_at_box" = "checked=1 input=0 dialog=0" ] ||
    fail "under the question the dialog is '$state_at_box'"
  local start freed_ms
  start=$(date +%s%N)
  wait_until 20 "port 67 was still held 2 s after Yes" port_67_free
  freed_ms=$((($(date +%s%N) - start) / 1000000))
  answer_box "" "$IDOK" 10
  [ "$box_text" = "$CANCELLED" ] || fail "the final box says '$box_text'"
  [ "$state_at_box" = "$ENDED_UNDER_BOX" ] || fail "under the final box the dialog is '$state_at_box'"
  expect_state 0 1 10
  drive key "$dialog" "$ID_NICKNAME" "$VK_RETURN" || fail "could not press Enter"
  expect_exit
  echo "Escape, Yes: port 67 free ${freed_ms} ms after Yes; '$box_text'"
}

# Escape, the close box (as Alt+F4 sends it) and Exit each ask; No goes on, and the
# board fitted afterwards is programmed.
scenario_windows_gui_no_after_escape_goes_on() {
  gui_setup
  start_configurator
  set_field "$ID_IP" 10.9.9.26
  drive click "$dialog" "$ID_CONNECT" || fail "could not press the button"
  expect_state 1 0 10
  drive key "$dialog" "$IDOK" "$VK_ESCAPE" || fail "could not press Escape"
  answer_box "$CANCEL_QUESTION" "$IDNO" 20
  drive post "$dialog" "$WM_SYSCOMMAND" "$SC_CLOSE" || fail "could not close the window"
  answer_box "$CANCEL_QUESTION" "$IDNO" 20
  drive click "$dialog" "$IDOK" || fail "could not press Exit"
  answer_box "$CANCEL_QUESTION" "$IDNO" 20
  sleep 1
  expect_state 1 0
  start_board
  answer_box "" "$IDOK" 150
  [ "$box_text" = "Programming Complete" ] || fail "the final box says '$box_text'"
  expect_state 0 1 10
  drive click "$dialog" "$IDOK" || fail "could not press Exit"
  expect_exit
  wait "$board_pid" || fail "the board ended with status $?"
  "$EMCB_NATIVE_CLI" block --ip 10.9.9.26 --out "$EMCB_NS_WORK/expected.bin"
  cmp "$EMCB_NS_WORK/expected.bin" "$EMCB_NS_WORK/flash.bin" || fail "the stored block differs"
  echo "Escape, No: the job went on and programmed the board fitted afterwards."
}
