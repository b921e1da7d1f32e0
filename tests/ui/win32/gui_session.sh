#!/usr/bin/env bash
# Sourced by the tests that show Windows windows: a private X server and a private
# Wine prefix for one test, so that parallel tests never share a display, a
# wineserver or a registry.
#
#   gui_session_start WORKDIR   copies the prepared prefix to WORKDIR/prefix, starts
#                               Xvfb on a free display, exports DISPLAY and WINEPREFIX.
#                               Start it outside any network namespace: Xvfb picks a
#                               free display by the sockets it can see.
#   gui_wineserver_start [RUNNER...]  starts the prefix's wineserver (through RUNNER,
#                               e.g. a namespace's command prefix) and waits for it
#   gui_session_stop            ends that wineserver and that X server
#   gui_screenshot FILE [X Y W H]  the screen, or a part of it, as PNG
#
# Needs scripts/wine-env's WINEPREFIX (prepared by emcb_start_wine), EMCB_WINE,
# emcb_wine_fonts, emcb_wine_prefix_copy and emcb_wine_server_start.
# shellcheck shell=bash

gui_xvfb_pid=
gui_prefix=

gui_session_start() {
  local work=$1
  command -v Xvfb >/dev/null 2>&1 || { echo "Xvfb is not installed"; return 1; }
  [ -f "${WINEPREFIX:-}/system.reg" ] || { echo "no prepared Wine prefix at '${WINEPREFIX:-}'"; return 1; }
  gui_prefix=$work/prefix
  emcb_wine_prefix_copy "$gui_prefix"
  # Tahoma and Marlett, as on Windows, even in a prefix prepared before they were added.
  emcb_wine_fonts "$gui_prefix" || return 1
  # Without a window manager Wine draws the frames and captions itself, so that
  # screenshots show them.
  printf '\n[Software\\\\Wine\\\\X11 Driver] 1700000000\n"Managed"="N"\n' >>"$gui_prefix/user.reg"
  export WINEPREFIX=$gui_prefix

  local display_file=$work/xvfb.display
  : >"$display_file"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$display_file" \
    >"$work/xvfb.log" 2>&1 &
  gui_xvfb_pid=$!
  local tries=0
  until [ -s "$display_file" ]; do
    tries=$((tries + 1))
    if [ "$tries" -gt 100 ] || ! kill -0 "$gui_xvfb_pid" 2>/dev/null; then
      echo "Xvfb did not start:"
      cat "$work/xvfb.log"
      return 1
    fi
    sleep 0.1
  done
  export DISPLAY=:$(tr -d '[:space:]' <"$display_file")
}

gui_wineserver_start() {
  emcb_wine_server_start "$gui_prefix" "$@"
}

gui_session_stop() {
  if [ -n "$gui_prefix" ]; then
    WINEPREFIX=$gui_prefix wineserver -k >/dev/null 2>&1 || true
    gui_prefix=
  fi
  if [ -n "$gui_xvfb_pid" ]; then
    kill "$gui_xvfb_pid" 2>/dev/null || true
    wait "$gui_xvfb_pid" 2>/dev/null || true
    gui_xvfb_pid=
  fi
}

gui_screenshot() {
  local file=$1
  mkdir -p "$(dirname "$file")"
  if [ $# -ge 5 ]; then
    import -window root -crop "${4}x${5}+${2}+${3}" +repage "$file"
  else
    import -window root "$file"
  fi
}
