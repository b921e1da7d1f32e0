// The command line of the bootp mode, read and checked before anything is opened.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/board-sim/BootpExchange.h"

namespace board_sim {

extern const char* const kBootpHelp;

struct BootpOptions {
    std::string interfaceName;
    std::optional<MacAddress> mac;  // none: the interface's own
    // The firmware header the reply must carry; none: the built-in image's.
    std::optional<ImageHeader> imageHeader;
    std::uint32_t attempts = 5;
    std::uint32_t intervalMs = 3'000;
    std::uint32_t durationMs = 30'000;
    bool help = false;
};

// The options, or nothing with `error` saying what is wrong.
std::optional<BootpOptions> ParseBootpOptions(const std::vector<std::string>& arguments,
                                              std::string& error);

}  // namespace board_sim
