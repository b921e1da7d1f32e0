// The link mode's main loop: one socket (loopback, or the board's own address),
// periodic status datagrams, an answer to every server datagram, faults injected on
// both directions, and the summary at the end. The protocol decisions are BoardLink's; this class
// moves datagrams and keeps time.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tools/board-sim/BoardLink.h"
#include "tools/board-sim/FaultInjector.h"
#include "tools/board-sim/Flash.h"
#include "tools/board-sim/LinkOptions.h"
#include "tools/board-sim/LoopbackSocket.h"
#include "tools/board-sim/MessageRecorder.h"
#include "tools/board-sim/Summary.h"

namespace board_sim {

class LinkMode {
  public:
    // How long the board keeps answering after accepting a disconnect, so the
    // server can see its acknowledgement, when asked to exit on disconnect.
    static constexpr std::chrono::milliseconds kDisconnectLinger{300};

    // The ready notice and diagnostics go to `err`, the summary to `out`.
    LinkMode(const LinkOptions& options, std::FILE* out, std::FILE* err);

    // Runs until `stopRequested`, the duration, or the disconnect linger ends; the
    // process exit status: 0, or 1 when the socket, a file or the address failed. With
    // an interface, its address is put on it first and removed at the end.
    int Run(const std::atomic<bool>& stopRequested);
    // Run in two steps, printing no summary: Open is false (with a diagnostic) when the
    // socket or the record file cannot be had; Serve returns Run's exit status.
    bool Open();
    int Serve(const std::atomic<bool>& stopRequested);
    // The one-line JSON summary of what the link saw so far.
    std::string SummaryJson() const;

    const Flash& StoredBlocks() const { return flash_; }
    const TrafficCounts& Traffic() const { return traffic_; }
    const LinkCounters& Counters() const { return link_.Counters(); }

  private:
    using Clock = std::chrono::steady_clock;

    bool TakeOwnAddress();
    bool ReleaseOwnAddress();
    bool OpenResources();
    void Loop(const std::atomic<bool>& stopRequested);
    void ReceivePending();
    void HandleDatagram(std::span<const std::uint8_t> datagram);
    void ProcessOnce(std::span<const std::uint8_t> datagram);
    void KeepMessage(const ReceiveOutcome& outcome);
    void SendStatus();
    void Send(std::span<const std::uint8_t> datagram);
    std::uint32_t UptimeMs() const;

    LinkOptions options_;
    std::FILE* out_;
    std::FILE* err_;
    LoopbackSocket socket_;
    BoardLink link_;
    FaultInjector faults_;
    Flash flash_;
    MessageRecorder recorder_;
    TrafficCounts traffic_;
    std::vector<std::uint8_t> receiveBuffer_;
    Clock::time_point start_;
    std::optional<Clock::time_point> disconnectExit_;
};

}  // namespace board_sim
