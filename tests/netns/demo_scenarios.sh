# The demo (scripts/demo-scenario.sh) as a user sees it, for netns_harness.sh: its
# whole output, checked against what the board reported and stored.
# Needs EMCB_CONFIG, EMCB_BOARD_SIM and EMCB_SOURCE_DIR.
# shellcheck shell=bash

# shellcheck source=scripts/demo-scenario.sh
source "$EMCB_SOURCE_DIR/scripts/demo-scenario.sh"

scenario_demo_prints_its_whole_summary() {
  export EMCB_DEMO_IP=10.9.9.31 EMCB_DEMO_MAC=02-1B-2C-3D-4E-5F EMCB_DEMO_NICKNAME="Demo, bench 4"
  local output=$EMCB_NS_WORK/demo.out status=0
  (scenario_demo) >"$output" 2>&1 || status=$?
  [ "$status" -eq 0 ] || { cat "$output"; fail "the demo ended with status $status"; }
  local address size crc
  address=$(summary_value bootp yiaddr) && size=$(summary_value tftp bytes) &&
    crc=$(summary_value tftp crc) || fail "the board left no BOOTP or TFTP summary"
  python3 - "$output" "$address" "$size" "$crc" "$EMCB_DEMO_IP" "$EMCB_DEMO_MAC" \
    "$EMCB_DEMO_NICKNAME" <<'PY' ||
import re, sys
path, address, size, crc, ip, mac, nickname = sys.argv[1:]
text = open(path, errors="replace").read()
problems = []
# bash's own complaints ("FILE: line N: ...": an unknown command, an unset variable...)
for line in text.splitlines():
    if re.search(r"(^\S+: line \d+: |command not found|unbound variable)", line):
        problems.append(f"shell error: {line}")
summary = (f"The board received its address {address}, loaded {size} bytes\n"
           f"of firmware (CRC {crc}, checked: true), and stored:")
if summary not in text:
    problems.append(f"no summary line {summary!r}")
for label, value in (("IP address", ip), ("server MAC address", mac), ("nickname", nickname)):
    if not re.search(rf"^  {label} +{re.escape(value)}$", text, re.M):
        problems.append(f"stored {label} {value!r} not shown")
if not re.search(r"^  CRC-32 +[0-9A-F]{8} \(valid\)$", text, re.M):
    problems.append("no valid stored CRC-32 shown")
if problems:
    print("\n".join(problems))
    sys.exit(1)
PY
    { cat "$output"; fail "the demo's output is not as a user should see it"; }
}
