// The TFTP mode: one firmware download from a server on loopback, with simulated
// loss and an optional ERROR, then a JSON summary on `out`.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>

#include "tools/board-sim/FaultInjector.h"
#include "tools/board-sim/LoopbackSocket.h"
#include "tools/board-sim/TftpClient.h"
#include "tools/board-sim/TftpOptions.h"

namespace board_sim {

class TftpMode {
  public:
    TftpMode(const TftpOptions& options, std::FILE* out, std::FILE* err);

    // 0 when the file arrived whole with the right length and CRC, 1 otherwise.
    int Run(const std::atomic<bool>& stopRequested);
    // Run in two steps, printing no summary: the socket, then the download. Open is
    // false (with a diagnostic) when the socket cannot be had; Transfer is true when
    // the file arrived whole with the right length and CRC.
    bool Open();
    bool Transfer(const std::atomic<bool>& stopRequested);

    const TftpClient& Client() const { return client_; }
    // The one-line JSON summary.
    std::string SummaryJson() const;

  private:
    using Clock = std::chrono::steady_clock;

    void Loop(const std::atomic<bool>& stopRequested);
    void ReceiveAll();
    void Send(const TftpClient::Outgoing& outgoing);

    TftpOptions options_;
    std::FILE* out_;
    std::FILE* err_;
    FaultInjector faults_;
    TftpClient client_;
    LoopbackSocket socket_;
    bool timedOut_ = false;
    std::uint64_t datagramsReceived_ = 0;
    std::uint64_t datagramsSent_ = 0;
    std::uint64_t strangers_ = 0;  // from another address than the server's
    std::uint64_t sendErrors_ = 0;
};

}  // namespace board_sim
