#include "tools/board-sim/TftpMode.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <thread>
#include <vector>

#include "tools/board-sim/PollLoop.h"
#include "tools/board-sim/built_in_image.h"
#include "tools/board-sim/byte_fields.h"

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

std::string JsonEscaped(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            escaped += '\\';
            escaped += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned>(c));
            escaped += code;
        } else {
            escaped += c;
        }
    }
    return escaped;
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
    std::fprintf(out_, "%s\n", SummaryJson().c_str());
    std::fflush(out_);
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
    char text[1024];
    std::snprintf(
        text, sizeof text,
        "{\"mode\":\"tftp\",\"file\":\"%s\",\"result\":\"%s\",\"timed_out\":%s,"
        "\"blocks\":%" PRIu64 ",\"bytes\":%" PRIu64
        ",\"length_ok\":%s,\"crc\":\"%08x\","
        "\"crc_ok\":%s,\"duplicates_seen\":%" PRIu64 ",\"max_receipts_of_a_block\":%" PRIu64
        ",\"timeouts\":%" PRIu64 ",\"requests_sent\":%" PRIu64 ",\"acks_sent\":%" PRIu64
        ",\"errors_sent\":%" PRIu64 ",\"foreign_packets\":%" PRIu64 ",\"malformed\":%" PRIu64
        ",\"strangers\":%" PRIu64 ",\"datagrams_received\":%" PRIu64 ",\"datagrams_sent\":%" PRIu64
        ",\"send_errors\":%" PRIu64 ",\"dropped_rx\":%" PRIu64 ",\"dropped_tx\":%" PRIu64 "}",
        JsonEscaped(options_.fileName).c_str(), PhaseName(client_.CurrentPhase()),
        timedOut_ ? "true" : "false", c.blocks, c.bytes, client_.LengthOk() ? "true" : "false",
        client_.Crc(), client_.CrcOk() ? "true" : "false", c.duplicates, c.maxReceiptsOfABlock,
        c.timeouts, c.requestsSent, c.acksSent, c.errorsSent, c.foreignPackets, c.malformed,
        strangers_, datagramsReceived_, datagramsSent_, sendErrors_,
        static_cast<std::uint64_t>(faults_.DroppedIncoming()),
        static_cast<std::uint64_t>(faults_.DroppedOutgoing()));
    return text;
}

}  // namespace board_sim
