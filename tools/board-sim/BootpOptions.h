// The command line of the bootp mode, read and checked before anything is opened.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/board-sim/BootpExchange.h"

namespace CLI {
class App;
}

namespace board_sim {

struct BootpOptions {
    std::string interfaceName;
    std::optional<MacAddress> mac;  // none: the interface's own
    // The firmware header the reply must carry; none: the built-in image's.
    std::optional<ImageHeader> imageHeader;
    std::uint32_t attempts = 5;
    std::uint32_t intervalMs = 3'000;
    std::uint32_t durationMs = 30'000;
};

// Defines how a board asks for its address (--interface, --mac, --attempts,
// --interval) on `app`, to be read into `options`; the board mode has these too.
void AddBootpRequestOptions(CLI::App& app, BootpOptions& options);
// Those and --duration: the bootp mode's options.
void AddBootpOptions(CLI::App& app, BootpOptions& options);

}  // namespace board_sim
