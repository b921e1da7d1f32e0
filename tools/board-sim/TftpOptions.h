// The command line of the TFTP mode, read and checked before anything is opened.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/board-sim/BootpExchange.h"
#include "tools/board-sim/FaultInjector.h"
#include "tools/board-sim/LinkOptions.h"
#include "tools/board-sim/built_in_image.h"

namespace board_sim {

constexpr std::uint16_t kDefaultTftpPort = 69;

struct TftpOptions {
    std::uint32_t serverAddressNetworkOrder = 0;
    std::uint16_t serverPort = kDefaultTftpPort;
    std::string serverText;
    std::string fileName = "d:\\a.bin";
    std::uint32_t localAddressNetworkOrder = kLoopbackAddressNetworkOrder;  // see LinkOptions
    ImageHeader header = BuiltInImageHeader();
    FaultRates faultRates;
    std::uint64_t seed = FaultInjector::kDefaultSeed;
    std::uint16_t errorAtBlock = 0;
    std::uint32_t retryMs = 500;   // repeat the request this often until a block comes
    std::uint32_t dallyMs = 1000;  // after the last ACK, answer re-sent last blocks
    std::uint32_t ackDelayMs = 0;  // a slow board: each answer this much later
    std::uint32_t durationMs = 30'000;
    bool help = false;
};

// Defines the tftp mode's options on `app`, to be read into `options`.
void AddTftpOptions(CLI::App& app, TftpOptions& options);
// The options, or nothing with `error` saying what is wrong.
std::optional<TftpOptions> ParseTftpOptions(const std::vector<std::string>& arguments,
                                            std::string& error);

}  // namespace board_sim
