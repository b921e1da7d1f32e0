# The installed `emcb-config program`, run by an unprivileged user in the computer's
# namespace, against a whole simulated board (run as root) in the board's.
# shellcheck shell=bash

# shellcheck source=tests/netns/job_scenarios.sh
source "$(dirname "${BASH_SOURCE[0]}")/../netns/job_scenarios.sh"

as_package_user() {  # in the computer's namespace, with no capability but the file's
  in_computer setpriv --reuid="$EMCB_PACKAGE_USER" --regid="$EMCB_PACKAGE_GROUP" \
    --clear-groups --inh-caps=-all env -i PATH=/usr/bin:/bin HOME=/nonexistent "$@"
}

scenario_installed_program_as_user() {
  [ "$(as_package_user id -u)" != 0 ] || fail "the program would run as root"
  [ "$(in_computer sysctl -n net.ipv4.ip_unprivileged_port_start)" -gt 69 ] ||
    fail "ports 67 and 69 are open to everyone here: nothing would be shown"

  # Without the capability (a copy keeps no file attributes) port 67 stays closed.
  cp /usr/bin/emcb-config "$EMCB_NS_WORK/emcb-config-plain"
  chmod 755 "$EMCB_NS_WORK" "$EMCB_NS_WORK/emcb-config-plain"
  as_package_user timeout 30 "$EMCB_NS_WORK/emcb-config-plain" program --json --timeout 2 \
    </dev/null >"$EMCB_NS_WORK/plain.json" 2>"$EMCB_NS_WORK/plain.log" || true
  grep -q '"bootp_interfaces":0' "$EMCB_NS_WORK/plain.json" ||
    fail "a copy without the capability still bound port 67"

  start_board
  program_status=0
  as_package_user timeout 150 /usr/bin/emcb-config program --json --timeout 120 \
    --ip 10.9.9.41 --nickname "Packaged" </dev/null \
    >"$EMCB_NS_WORK/program.json" 2>"$EMCB_NS_WORK/program.log" || program_status=$?
  expect_programmed 10.9.9.41 "Packaged"
  grep -q '"bootp_interfaces":1' "$EMCB_NS_WORK/program.json" || fail "BOOTP did not answer"
  echo "program as $EMCB_PACKAGE_USER: $(cat "$EMCB_NS_WORK/program.json")"
}
