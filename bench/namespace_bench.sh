# Sourced by the benchmarks that run between network namespaces: `root`, the source
# tree, and use_build, the programs of a build folder for netns_harness.sh.
# shellcheck shell=bash

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export EMCB_SOURCE_DIR="$root"

# use_build BUILD_DIR: the configurator and the simulated board built there.
use_build() {
  export EMCB_CONFIG="$1/ui/cli/emcb-config"
  export EMCB_BOARD_SIM="$1/tools/board-sim/board-sim"
}
