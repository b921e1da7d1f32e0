#!/usr/bin/env bash
# Installs the Debian package and uses it as a normal user would: lintian finds no
# error, dpkg -i gives both programs cap_net_bind_service and nothing more, and the
# user `nobody` runs the installed `emcb-config block` and `program`, the latter
# between two network namespaces against the simulated board, on the file
# capability alone. Removes the package again if it was not installed before.
#
#   installed_package_test.sh DEB      (EMCB_CONFIG: the build's emcb-config,
#                                       EMCB_BOARD_SIM: the simulated board)
# Exit status: 0 passed, 1 failed, 77 skipped (not root, or a file system that
# keeps no file capabilities).
set -euo pipefail

readonly SKIPPED=77
readonly PACKAGE=emcb-configurator
readonly USER_NAME=nobody
here=$(cd "$(dirname "$0")" && pwd)

skip() {
  echo "SKIPPED: $*"
  exit "$SKIPPED"
}
fail() {
  echo "FAILED: $*"
  exit 1
}

[ $# -eq 1 ] && [ -f "$1" ] || { echo "usage: $0 DEB" >&2; exit 2; }
deb=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
for program in EMCB_CONFIG EMCB_BOARD_SIM; do
  [ -x "${!program:-}" ] || fail "$program is not a program: '${!program:-}'"
done
for tool in lintian dpkg setpriv getcap; do
  command -v "$tool" >/dev/null 2>&1 || fail "$tool is not installed"
done
user_group=$(id -gn "$USER_NAME") || fail "no user $USER_NAME"
as_user() {
  setpriv --reuid="$USER_NAME" --regid="$user_group" --clear-groups --inh-caps=-all \
    env -i PATH=/usr/bin:/bin HOME=/nonexistent "$@"
}

work=$(mktemp -d /tmp/emcb-package.XXXXXX)
chmod 755 "$work"
was_installed=$(dpkg-query -W -f='${Status}' "$PACKAGE" 2>/dev/null | grep -c 'install ok installed' || true)
cleanup() {
  local status=$?
  [ "$was_installed" -eq 0 ] && dpkg -r "$PACKAGE" >/dev/null 2>&1 || true
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT

echo "== lintian"
lintian_status=0
lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 || lintian_status=$?
grep -v '^running with root privileges' "$work/lintian.log" || true
[ "$lintian_status" -eq 0 ] || fail "lintian reports an error"

echo "== dpkg -i $(basename "$deb")"
dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i failed"; }
cat "$work/dpkg.log"
if grep -q 'keeps no file capabilities' "$work/dpkg.log"; then
  skip "the file system under /usr/bin keeps no file capabilities, so the installed" \
       "programs cannot bind ports 67 and 69 without root; nothing was tested as a user"
fi
for program in /usr/bin/emcb-config /usr/bin/emcb-configurator; do
  caps=$(getcap "$program" | sed 's/^[^ ]* //')
  echo "$program: $caps"
  [ "$caps" = "cap_net_bind_service=ep" ] || fail "$program has '$caps', not cap_net_bind_service=ep"
done

echo "== as $USER_NAME: emcb-config block, --version, and the GUI's --version"
as_user /usr/bin/emcb-config block --ip 10.9.9.40 --nickname "Packaged" >"$work/block.txt" ||
  fail "block failed as $USER_NAME"
"$EMCB_CONFIG" block --ip 10.9.9.40 --nickname "Packaged" >"$work/expected.txt"
cmp "$work/block.txt" "$work/expected.txt" || fail "the installed block differs from the build's"
version=$("$EMCB_CONFIG" --version)
[ "$(as_user /usr/bin/emcb-config --version)" = "$version" ] || fail "the installed CLI is not $version"
as_user QT_QPA_PLATFORM=offscreen /usr/bin/emcb-configurator --version >"$work/gui.txt" 2>&1 ||
  { cat "$work/gui.txt"; fail "the installed GUI does not start"; }
grep -q "emcb-configurator ${version#emcb-config }" "$work/gui.txt" || fail "the GUI says '$(cat "$work/gui.txt")'"

echo "== as $USER_NAME: emcb-config program in the namespaces"
export EMCB_BOARD_SIM EMCB_CONFIG EMCB_PACKAGE_USER=$USER_NAME EMCB_PACKAGE_GROUP=$user_group
bash "$here/../netns/netns_harness.sh" "$here/package_scenarios.sh" installed_program_as_user
