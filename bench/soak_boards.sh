#!/usr/bin/env bash
# The full soak: BOARDS simulated boards (50 unless given) programmed one after another
# by one process, a new device each time, each board losing 20 % of the link's
# datagrams each way; every stored block is checked, and after every job the
# process's threads and descriptors must be back where they were. Built with
# -DEMCB_SANITIZE='address;undefined', the process ends under LeakSanitizer, which
# fails the run on any leak. Runs between network namespaces (root).
#
# Usage: soak_boards.sh BUILD_DIR [BOARDS]   (a build with the tests: out/native, out/asan)
set -euo pipefail
# shellcheck source=bench/namespace_bench.sh
source "$(dirname "$0")/namespace_bench.sh"
build=${1:?usage: soak_boards.sh BUILD_DIR [BOARDS]}
use_build "$build"
export EMCB_JOB_SOAK="$build/tests/job_soak"
export EMCB_SOAK_BOARDS=${2:-50}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
exec bash "$root/tests/netns/netns_harness.sh" "$root/tests/netns/soak_scenarios.sh" soak
