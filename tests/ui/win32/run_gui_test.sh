#!/usr/bin/env bash
# Runs one Windows test program under Wine with a display and a prefix of its own.
#
#   run_gui_test.sh WINE PROGRAM [ARGS...]
#
# Needs EMCB_SOURCE_DIR and a prepared prefix (scripts/wine-env, emcb_start_wine).
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: $0 WINE PROGRAM [ARGS...]" >&2; exit 2; }
wine_loader=$1
shift

# shellcheck source=/dev/null
source "$EMCB_SOURCE_DIR/scripts/wine-env"
# shellcheck source=tests/ui/win32/gui_session.sh
source "$EMCB_SOURCE_DIR/tests/ui/win32/gui_session.sh"

work=$(mktemp -d /tmp/emcb-gui-test.XXXXXX)
cleanup() {
  gui_session_stop
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

gui_session_start "$work" || exit 1
gui_wineserver_start || exit 1
status=0
"$wine_loader" "$@" </dev/null || status=$?
exit "$status"
