#include "tools/board-sim/TftpMode.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "tools/board-sim/PollLoop.h"
#include "tools/board-sim/built_in_image.h"
#include "tools/board-sim/byte_fields.h"
#include "tools/board-sim/json_line.h"

namespace board_sim {
namespace {

constexpr std::size_t kReceiveBufferSize = 65536;  // any datagram arrives whole
constexpr int kMaxDatagramsPerWake = 64;

TftpClientConfig ConfigFrom(const TftpOptions& options) {
    TftpClientConfig config;
    config.fileName = options.fileName;
    config.expectedLength = load_le32(options.header.data() + kImageLengthOffset);
    config.expectedCrc = load_le32(options.header.data() + kImageCrcOffset);
    config.errorAtBlock = options.errorAtBlock;
    return config;
}

const char* PhaseName(TftpClient::Phase phase) {
    switch (phase) {
        case TftpClient::Phase::Requesting:
            return "requesting";
        case TftpClient::Phase::Receiving:
            return "receiving";
        case TftpClient::Phase::Complete:
            return "complete";
        case TftpClient::Phase::Failed:
            return "error-sent";
    }
    return "unknown";
}

}  // namespace

TftpMode::TftpMode(const TftpOptions& options, std::FILE* out, std::FILE* err)
    : options_(options),
      out_(out),
      err_(err),
      faults_(options.faultRates, options.seed),
      client_(ConfigFrom(options), options.serverPort) {}

int TftpMode::Run(const std::atomic<bool>& stopRequested) {
    if (!Open()) return 1;
    const bool ok = Transfer(stopRequested);
    PrintLine(out_, SummaryJson());
    return ok ? 0 : 1;
}

bool TftpMode::Open() {
    if (!socket_.Open(options_.localAddressNetworkOrder)) {
        std::fprintf(err_, "board-sim: cannot open the socket: %s\n", socket_.Error().c_str());
        return false;
    }
    std::fprintf(err_, "board-sim: tftp mode, local port %u, server %s, file \"%s\"\n",
                 static_cast<unsigned>(socket_.LocalPort()), options_.serverText.c_str(),
                 options_.fileName.c_str());
    std::fflush(err_);
    return true;
}

bool TftpMode::Transfer(const std::atomic<bool>& stopRequested) {
    Loop(stopRequested);
    return client_.CurrentPhase() == TftpClient::Phase::Complete && client_.LengthOk() &&
           client_.CrcOk();
}

void TftpMode::Loop(const std::atomic<bool>& stopRequested) {
    PollLoop loop(stopRequested, std::chrono::milliseconds(options_.durationMs));
    const std::chrono::milliseconds retry(options_.retryMs);
    Send(client_.Request());
    Clock::time_point nextRetry = Clock::now() + retry;
    bool dallying = false;
    while (loop.Running() && client_.CurrentPhase() != TftpClient::Phase::Failed) {
        const Clock::time_point now = Clock::now();
        if (client_.CurrentPhase() == TftpClient::Phase::Complete && !dallying) {
            // Stay a little, to answer a last block sent again because its ACK was lost.
            dallying = true;
            loop.EndBy(now + std::chrono::milliseconds(options_.dallyMs));
        }
        if (now >= nextRetry) {
            if (const auto outgoing = client_.OnTimeout()) Send(*outgoing);
            nextRetry = now + retry;
        }
        if (loop.Wait(nextRetry, socket_.Descriptor())) {
            ReceiveAll();
            nextRetry = Clock::now() + retry;
        }
    }
    timedOut_ = !stopRequested.load() && !client_.Finished();
}

void TftpMode::ReceiveAll() {
    std::vector<std::uint8_t> buffer(kReceiveBufferSize);
    for (int i = 0; i < kMaxDatagramsPerWake; ++i) {
        const auto received = socket_.Receive(buffer);
        if (!received) return;
        ++datagramsReceived_;
        if (received->fromAddressNetworkOrder != options_.serverAddressNetworkOrder) {
            ++strangers_;
            continue;
        }
        if (faults_.DropIncoming()) continue;
        const auto outgoing = client_.OnDatagram(
            std::span<const std::uint8_t>(buffer).first(std::min(received->size, buffer.size())),
            received->fromPort);
        if (!outgoing) continue;
        if (options_.ackDelayMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(options_.ackDelayMs));
        Send(*outgoing);
    }
}

void TftpMode::Send(const TftpClient::Outgoing& outgoing) {
    if (faults_.DropOutgoing()) return;
    if (socket_.SendTo(outgoing.packet, options_.serverAddressNetworkOrder, outgoing.port))
        ++datagramsSent_;
    else
        ++sendErrors_;
}

std::string TftpMode::SummaryJson() const {
    const TftpClientCounters& c = client_.Counters();
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08x", static_cast<unsigned>(client_.Crc()));
    return JsonLine({{"mode", "tftp"},
                     {"file", options_.fileName},
                     {"result", PhaseName(client_.CurrentPhase())},
                     {"timed_out", timedOut_},
                     {"blocks", c.blocks},
                     {"bytes", c.bytes},
                     {"length_ok", client_.LengthOk()},
                     {"crc", crc},
                     {"crc_ok", client_.CrcOk()},
                     {"duplicates_seen", c.duplicates},
                     {"max_receipts_of_a_block", c.maxReceiptsOfABlock},
                     {"timeouts", c.timeouts},
                     {"requests_sent", c.requestsSent},
                     {"acks_sent", c.acksSent},
                     {"errors_sent", c.errorsSent},
                     {"foreign_packets", c.foreignPackets},
                     {"malformed", c.malformed},
                     {"strangers", strangers_},
                     {"datagrams_received", datagramsReceived_},
                     {"datagrams_sent", datagramsSent_},
                     {"send_errors", sendErrors_},
                     {"dropped_rx", faults_.DroppedIncoming()},
                     {"dropped_tx", faults_.DroppedOutgoing()}});
}

}  // namespace board_sim
