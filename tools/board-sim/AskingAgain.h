// A board that was programmed but still has its BOOTP jumper fitted: it comes up at
// the address its stored block gives it and, while the next board is being served,
// asks BOOTP again with its own hardware address and sends link status datagrams to
// the server from that address. A configurator must answer neither: the board is
// done. Runs on a thread of its own beside the next board, bounded in count and time,
// and records whatever reached it.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tools/board-sim/BootpExchange.h"
#include "tools/board-sim/LinkMode.h"
#include "tools/board-sim/link_wire.h"

namespace board_sim {

struct AskAgainPlan {
    int board = 0;  // its number in the run, for the summary
    std::string interfaceName;
    MacAddress mac{};
    std::uint32_t configuredAddressNetworkOrder = 0;  // from its stored block
    std::uint32_t serverAddressNetworkOrder = 0;      // the server of its own lease
    ImageHeader imageHeader{};                        // what a reply to it would carry
    std::string flashPath;                            // a second configuration lands here
    std::uint32_t restartMs = 1000;                   // from its disconnect to its first request
    std::uint32_t requests = 5;
    std::uint32_t intervalMs = 1000;
    std::uint32_t statusIntervalMs = 250;
};

// The address a stored block gives the board, in network order.
std::uint32_t ConfiguredAddress(const ConfigBlock& block);

class AskingAgain {
  public:
    // Diagnostics go to `err`.
    AskingAgain(const AskAgainPlan& plan, std::FILE* err);
    ~AskingAgain();
    AskingAgain(const AskingAgain&) = delete;
    AskingAgain& operator=(const AskingAgain&) = delete;

    // Starts the thread; `stopRequested` must outlive Finish().
    void Start(const std::atomic<bool>& stopRequested);
    // Waits for the thread. Then: true when the board asked and sent, and got no BOOTP
    // reply and no datagram at all.
    void Finish();
    bool Unanswered() const;
    std::string SummaryJson() const;

  private:
    void Run(const std::atomic<bool>& stopRequested);
    void AskBootp(const std::atomic<bool>& stopRequested);

    AskAgainPlan plan_;
    std::FILE* err_;
    LinkMode link_;
    std::thread thread_;
    std::uint32_t requestsSent_ = 0;
    std::uint32_t bootpReplies_ = 0;
    std::vector<std::string> failures_;
};

}  // namespace board_sim
