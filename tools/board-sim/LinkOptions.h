// The command line of the link mode, read and checked before anything is opened.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/board-sim/FaultInjector.h"

namespace CLI {
class App;
}

namespace board_sim {

constexpr std::uint16_t kDefaultServerPort = 5020;
constexpr std::uint32_t kLoopbackAddressNetworkOrder =
    0x0100007Fu;  // 127.0.0.1 on a little-endian host

struct LinkOptions {
    std::uint32_t serverAddressNetworkOrder = 0;
    std::uint16_t serverPort = kDefaultServerPort;
    std::string serverText;  // "a.b.c.d:port"
    // The board's own address: loopback, except where the board mode has been given
    // one by BOOTP inside its network namespace, or --address gave one.
    std::uint32_t localAddressNetworkOrder = kLoopbackAddressNetworkOrder;
    // With --address: the interface the address is put on for the run; else empty.
    std::string interfaceName;
    FaultRates faultRates;
    std::uint64_t seed = FaultInjector::kDefaultSeed;
    std::uint32_t statusIntervalMs = 100;
    std::uint32_t durationMs = 60'000;
    bool exitAfterDisconnect = false;
    std::string flashPath;
    std::string recordPath;
    bool silent = false;
    bool help = false;
};

// Defines the link mode's options on `app`, to be read into `options`.
void AddLinkOptions(CLI::App& app, LinkOptions& options);
// The options, or nothing with `error` saying what is wrong.
std::optional<LinkOptions> ParseLinkOptions(const std::vector<std::string>& arguments,
                                            std::string& error);

}  // namespace board_sim
