# `emcb-config check` in the computer's namespace, for netns_harness.sh: what a job
# would serve and what would stop it, in its text, its exit status and its JSON; and
# that it sends nothing (strace sees no send call). Needs EMCB_CONFIG.
# shellcheck shell=bash

require_programs() {
  require_program EMCB_CONFIG
}

# check_as [RUNNER...]: `check` and `check --json` in the computer's namespace;
# sets check_status (the same for both, or a failure), output in check.txt and
# check.json.
check_as() {
  local json_status=0
  check_status=0
  in_computer timeout 60 "$@" "$EMCB_CONFIG" check >"$EMCB_NS_WORK/check.txt" 2>&1 ||
    check_status=$?
  in_computer timeout 60 "$@" "$EMCB_CONFIG" check --json >"$EMCB_NS_WORK/check.json" \
    2>"$EMCB_NS_WORK/check.log" || json_status=$?
  # (The Windows program writes CRLF line ends.)
  sed -i 's/\r$//' "$EMCB_NS_WORK/check.txt" "$EMCB_NS_WORK/check.json" "$EMCB_NS_WORK/check.log"
  [ "$json_status" -eq "$check_status" ] ||
    fail "check exited with $check_status, check --json with $json_status"
  cmp -s "$EMCB_NS_WORK/check.txt" "$EMCB_NS_WORK/check.log" ||
    fail "check --json wrote another report on standard error than check on standard output"
}

expect_status() {
  [ "$check_status" -eq "$1" ] || fail "check exited with $check_status, expected $1: $(cat "$EMCB_NS_WORK/check.txt")"
}

expect_line() {  # TEXT: a whole line of check's report
  grep -qxF -- "$1" "$EMCB_NS_WORK/check.txt" ||
    fail "no line '$1' in the report: $(cat "$EMCB_NS_WORK/check.txt")"
}

# expect_json PYTHON-EXPRESSION...: each holds of the parsed JSON `j`.
expect_json() {
  python3 - "$EMCB_NS_WORK/check.json" "$@" <<'PY' || fail "check's JSON is not as expected"
import json, sys
j = json.load(open(sys.argv[1]))
adapter = {a["name"]: a for a in j["adapters"]}
port = {p["port"]: p for p in j["ports"]}
for expression in sys.argv[2:]:
    if not eval(expression):
        print(f"does not hold: {expression}\n{json.dumps(j, indent=1)}")
        sys.exit(1)
PY
}

scenario_one_adapter_served() {
  require_programs
  check_as
  expect_status 0
  expect_line "  $EMCB_IF_COMPUTER 10.9.9.1: served; a board gets 10.9.9.100 to 10.9.9.109"
  expect_line "  lo 127.0.0.1: not served: loopback"
  expect_line "  67 (BOOTP): free"
  expect_line "  69 (TFTP): free"
  expect_line "  5020 (board link): free"
  expect_line "A job can start and program a board in BOOTP mode."
  expect_json 'j["ready"] is True' 'j["problems"] == []' \
    "adapter['$EMCB_IF_COMPUTER']['served'] is True" \
    "adapter['$EMCB_IF_COMPUTER']['address'] == '10.9.9.1'" \
    "adapter['$EMCB_IF_COMPUTER']['pool_first'] == '10.9.9.100'" \
    "adapter['$EMCB_IF_COMPUTER']['pool_last'] == '10.9.9.109'" \
    "adapter['lo']['why_not'] == 'loopback'" \
    'all(port[p]["state"] == "free" for p in (67, 69, 5020))' \
    'j["firewall_rule"] == "not-applicable"'
  # It binds its test sockets and sends nothing.
  if command -v strace >/dev/null 2>&1; then
    # (LeakSanitizer cannot run under ptrace: a sanitized build is traced without it.)
    in_computer env "ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
      strace -f -qq -e trace=bind,sendto,sendmsg,sendmmsg -o "$EMCB_NS_WORK/strace.txt" \
      "$EMCB_CONFIG" check >/dev/null || fail "check under strace failed"
    grep -q 'bind(' "$EMCB_NS_WORK/strace.txt" || fail "strace saw no bind"
    # (getifaddrs asks the kernel by netlink: no datagram leaves for that.)
    if grep -E 'send(to|msg|mmsg)\(' "$EMCB_NS_WORK/strace.txt" | grep -v AF_NETLINK; then
      fail "check sent something"
    fi
  fi
}

scenario_adapter_without_an_address() {
  require_programs
  # The computer's only adapter loses its address; another has one, but no link.
  ip -n "$EMCB_NS_COMPUTER" addr flush dev "$EMCB_IF_COMPUTER"
  local down=vckd$$ peer=vckp$$
  ip -n "$EMCB_NS_COMPUTER" link add "$down" type veth peer name "$peer"
  ip -n "$EMCB_NS_COMPUTER" addr add 10.9.7.1/24 dev "$down"
  check_as
  expect_status 1
  expect_line "  $EMCB_IF_COMPUTER: not served: no IPv4 address"
  expect_line "  $down 10.9.7.1: not served: link down"
  expect_line "A job would not program a board in BOOTP mode:"
  expect_line "  - No adapter can give a board its address: none has an IPv4 address with its link up."
  expect_json 'j["ready"] is False' \
    "adapter['$EMCB_IF_COMPUTER']['why_not'] == 'no IPv4 address'" \
    "adapter['$EMCB_IF_COMPUTER']['address'] is None" \
    "adapter['$down']['why_not'] == 'link down'" \
    "not any(a['served'] for a in j['adapters'])" 'len(j["problems"]) == 1'
}

scenario_port_67_held_by_another_program() {
  require_programs
  hold_port_67 8
  check_as
  expect_status 1
  expect_line "  $EMCB_IF_COMPUTER 10.9.9.1: served; a board gets 10.9.9.100 to 10.9.9.109"
  expect_line "  67 (BOOTP): in use by another program"
  expect_line "  69 (TFTP): free"
  expect_line "  - UDP port 67 (BOOTP) is in use by another program: stop any other DHCP or BOOTP server on this computer."
  expect_json 'j["ready"] is False' 'port[67]["state"] == "in-use"' 'port[69]["state"] == "free"' \
    'len(j["problems"]) == 1'
  # Once the other program has let go, nothing of check's own holds a port.
  wait "$port_holder" || fail "the holder of port 67 failed"
  check_as
  expect_status 0
}

scenario_ports_below_1024_need_root() {
  require_programs
  check_as setpriv --reuid=65534 --regid=65534 --clear-groups
  expect_status 1
  expect_line "  67 (BOOTP): needs root or CAP_NET_BIND_SERVICE"
  expect_line "  69 (TFTP): needs root or CAP_NET_BIND_SERVICE"
  expect_line "  5020 (board link): free"
  expect_line "  - UDP port 67 (BOOTP) can be bound only by root or with CAP_NET_BIND_SERVICE."
  expect_json 'port[67]["state"] == "needs-privilege"' 'port[69]["state"] == "needs-privilege"' \
    'port[5020]["state"] == "free"'
}

# The Windows program under Wine, with a prefix of its own started in the computer's
# namespace: the adapters as IP Helper lists them, a held port 67, and a firewall rule
# that Wine's netsh cannot tell of.
scenario_windows_check_under_wine() {
  [ -f "$EMCB_CONFIG" ] || fail "EMCB_CONFIG is not the Windows program: '$EMCB_CONFIG'"
  # shellcheck source=/dev/null
  source "$EMCB_SOURCE_DIR/scripts/wine-env"
  [ -f "$WINEPREFIX/system.reg" ] || { echo "SKIPPED: no initialised Wine prefix at $WINEPREFIX"; exit 77; }
  local prefix=$EMCB_NS_WORK/prefix
  emcb_wine_private_prefix "$prefix" in_computer || fail "no wineserver"
  local wine=(env WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" "$EMCB_WINE")
  check_as "${wine[@]}"
  expect_status 0
  grep -qF " 10.9.9.1: served; a board gets 10.9.9.100 to 10.9.9.109" "$EMCB_NS_WORK/check.txt" ||
    fail "the adapter is not served: $(cat "$EMCB_NS_WORK/check.txt")"
  expect_line "Firewall rule \"Ethernet Motion Control Board Configurator\": unknown"
  expect_json 'j["ready"] is True' \
    "[a['pool_first'] for a in j['adapters'] if a['description'] == '$EMCB_IF_COMPUTER'] == ['10.9.9.100']" \
    'j["firewall_rule"] == "unknown"'
  hold_port_67 30
  check_as "${wine[@]}"
  expect_status 1
  expect_line "  67 (BOOTP): in use by another program"
  expect_json 'port[67]["state"] == "in-use"'
  kill "$port_holder" 2>/dev/null || true
  in_computer env WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
}
