// Drives CUdpServer against a board on the other end of a lossy link: sends N
// messages of random sizes made from a seed, then a disconnect message, and waits
// until the board has acknowledged every one. Writes each message it queued to the
// --expect file in the board's record format (u32 LE length, then the bytes), so a
// script can compare it with what the board kept, and prints a one-line JSON summary.
// Exit status: 0 when all were acknowledged, 1 when not, 2 for a bad command line.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "diag/CLog.h"
#include "net/CUdpServer.h"
#include "os/byte_order.h"
#include "os/clock.h"
#include "ui/cli/ArgumentList.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kMinMessageSize = 1;
constexpr int kMessageCommandOffset = 2;
constexpr std::uint16_t kDisconnectCommand = 0x7C7C;
// The message that ends a session: length 4, command 7C7C.
const Bytes kDisconnectMessage = {0x04, 0x00, 0x7C, 0x7C};
constexpr std::uint8_t kCommandBitToFlip = 0x01;
constexpr int kRecordLengthSize = 4;
constexpr std::uint32_t kPollMs = 5;
constexpr std::uint32_t kMsPerSecond = 1000;
constexpr int kExitAcknowledged = 0;
constexpr int kExitIncomplete = 1;
constexpr int kExitUsage = 2;

const char* const kUsage =
    "Usage: link_soak --port P --expect FILE [--messages N] [--seed S] [--timeout SECONDS]\n"
    "Sends N (default 1000) random messages of 1..8176 bytes and a disconnect message\n"
    "to the board through a CUdpServer on UDP port P, waits until all are acknowledged\n"
    "or the time-out (default 300 s) passes, and writes what it sent to FILE.\n";

struct SoakOptions {
    std::uint16_t port = 0;
    std::uint32_t messages = 1000;
    std::uint32_t seed = 1;
    std::uint32_t timeoutSeconds = 300;
    std::string expectPath;
};

bool ParseWhole(const std::optional<std::string>& text, std::uint64_t maximum,
                std::uint64_t& value) {
    if (!text) return true;
    if (text->empty()) return false;
    std::uint64_t parsed = 0;
    for (const char digit : *text) {
        if (digit < '0' || digit > '9') return false;
        parsed = parsed * 10 + static_cast<std::uint64_t>(digit - '0');
        if (parsed > maximum) return false;
    }
    value = parsed;
    return true;
}

template <typename Field>
bool ReadNumber(const cli::ArgumentList& args, const char* flag, std::uint64_t minimum,
                std::uint64_t maximum, Field& field, std::string& error) {
    std::uint64_t value = field;
    if (!ParseWhole(args.Value(flag), maximum, value) || value < minimum) {
        error = std::string(flag) + " needs a whole number from " + std::to_string(minimum) +
                " to " + std::to_string(maximum);
        return false;
    }
    field = static_cast<Field>(value);
    return true;
}

bool ParseOptions(int argc, char** argv, SoakOptions& options, std::string& error) {
    const cli::ArgumentList args(std::vector<std::string>(argv + 1, argv + argc),
                                 {"--port", "--messages", "--seed", "--timeout", "--expect"}, {});
    if (!args.Error().empty()) {
        error = args.Error();
        return false;
    }
    if (!args.Value("--port") || !args.Value("--expect")) {
        error = "--port and --expect are required";
        return false;
    }
    options.expectPath = *args.Value("--expect");
    return ReadNumber(args, "--port", 1, 0xFFFF, options.port, error) &&
           ReadNumber(args, "--messages", 0, 1'000'000, options.messages, error) &&
           ReadNumber(args, "--seed", 0, 0xFFFFFFFFu, options.seed, error) &&
           ReadNumber(args, "--timeout", 1, 86'400, options.timeoutSeconds, error);
}

// A value below `bound`, by rejection from the generator's 32-bit output, so every
// standard library gives the same values for the same seed.
std::uint32_t DrawBelow(std::mt19937& generator, std::uint32_t bound) {
    constexpr std::uint64_t kOutputRange = std::uint64_t{1} << 32;
    const std::uint64_t limit = kOutputRange - kOutputRange % bound;
    for (;;) {
        const std::uint64_t value = static_cast<std::uint32_t>(generator());
        if (value < limit) return static_cast<std::uint32_t>(value % bound);
    }
}

Bytes RandomMessage(std::mt19937& generator) {
    const std::uint32_t span = net::kMaxPayloadSize - kMinMessageSize + 1;
    Bytes message(kMinMessageSize + DrawBelow(generator, span));
    std::uint8_t word[sizeof(std::uint32_t)] = {};
    for (std::size_t i = 0; i < message.size(); ++i) {
        if (i % sizeof word == 0) os::store_le32(word, static_cast<std::uint32_t>(generator()));
        message[i] = word[i % sizeof word];
    }
    // A random message that reads as a disconnect would end the session early.
    if (message.size() >= kMessageCommandOffset + sizeof(std::uint16_t) &&
        os::load_le16(&message[kMessageCommandOffset]) == kDisconnectCommand) {
        message[kMessageCommandOffset] ^= kCommandBitToFlip;
    }
    return message;
}

std::vector<Bytes> MakeMessages(const SoakOptions& options) {
    std::mt19937 generator(options.seed);
    std::vector<Bytes> messages;
    messages.reserve(options.messages + 1u);
    for (std::uint32_t i = 0; i < options.messages; ++i)
        messages.push_back(RandomMessage(generator));
    messages.push_back(kDisconnectMessage);
    return messages;
}

// Times are tick counts, which wrap: only differences are compared.
struct Deadline {
    std::uint32_t startMs;
    std::uint32_t limitMs;
};

Deadline DeadlineIn(std::uint32_t seconds) {
    return {os::TickCountMs(), seconds * kMsPerSecond};
}
std::uint32_t ElapsedMs(const Deadline& deadline) {
    return os::TickCountMs() - deadline.startMs;
}
bool HasPassed(const Deadline& deadline) {
    return ElapsedMs(deadline) >= deadline.limitMs;
}

// Queues messages as the send queue has room; returns how many went in.
std::size_t QueueAll(net::CUdpServer& server, const std::vector<Bytes>& messages,
                     const Deadline& deadline) {
    std::size_t queued = 0;
    while (queued < messages.size() && !HasPassed(deadline)) {
        int length = static_cast<int>(messages[queued].size());
        if (server.Send(messages[queued].data(), length)) {
            ++queued;
        } else {
            os::SleepMs(kPollMs);
        }
    }
    return queued;
}

// Sequence numbers wrap, so the count acknowledged is a difference modulo 2^32.
std::uint32_t Acknowledged(const net::CUdpServer& server, std::uint32_t startSeq) {
    return server.LastAckSeq() - startSeq;
}

void WaitForAcknowledgements(const net::CUdpServer& server, std::uint32_t startSeq,
                             std::size_t count, const Deadline& deadline) {
    while (Acknowledged(server, startSeq) < count && !HasPassed(deadline))
        os::SleepMs(kPollMs);
}

bool WriteRecords(const std::string& path, const std::vector<Bytes>& messages, std::size_t count) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool written = true;
    for (std::size_t i = 0; i < count && written; ++i) {
        std::uint8_t length[kRecordLengthSize];
        os::store_le32(length, static_cast<std::uint32_t>(messages[i].size()));
        written =
            std::fwrite(length, 1, sizeof length, file) == sizeof length &&
            std::fwrite(messages[i].data(), 1, messages[i].size(), file) == messages[i].size();
    }
    return std::fclose(file) == 0 && written;
}

void PrintSummary(const net::CUdpServer& server, std::size_t total, std::size_t queued,
                  std::uint32_t acknowledged, std::uint32_t elapsedMs, std::uint32_t startSeq) {
    const net::CUdpServer::Counters& stats = server.Stats();
    std::printf(
        "{\"messages\":%u,\"queued\":%u,\"acknowledged\":%u,\"seconds\":%.3f,"
        "\"first_seq\":%u,\"last_ack_seq\":%u,\"sent_datagrams\":%u,\"resent_datagrams\":%u,"
        "\"received_datagrams\":%u,\"foreign_datagrams\":%u,\"send_errors\":%u,"
        "\"resend_errors\":%u,\"receive_errors\":%u}\n",
        static_cast<unsigned>(total), static_cast<unsigned>(queued), acknowledged,
        elapsedMs / static_cast<double>(kMsPerSecond), startSeq + 1u, server.LastAckSeq(),
        stats.txDatagrams.load(), stats.resentDatagrams.load(), stats.rxDatagrams.load(),
        stats.foreignDatagrams.load(), stats.txErrors.load(), stats.resendErrors.load(),
        stats.rxErrors.load());
    std::fflush(stdout);
}

int RunSoak(const SoakOptions& options) {
    const std::vector<Bytes> messages = MakeMessages(options);
    net::CUdpServer server;
    server.SetPort(options.port);
    if (!server.Start()) {
        std::fprintf(stderr, "link_soak: cannot start the link on port %u\n", options.port);
        return kExitIncomplete;
    }
    const std::uint32_t startSeq = server.LastSentSeq();
    const Deadline deadline = DeadlineIn(options.timeoutSeconds);
    const std::size_t queued = QueueAll(server, messages, deadline);
    WaitForAcknowledgements(server, startSeq, queued, deadline);
    const std::uint32_t elapsedMs = ElapsedMs(deadline);
    const std::uint32_t acknowledged = Acknowledged(server, startSeq);
    server.Stop();

    PrintSummary(server, messages.size(), queued, acknowledged, elapsedMs, startSeq);
    if (!WriteRecords(options.expectPath, messages, queued)) {
        std::fprintf(stderr, "link_soak: cannot write %s\n", options.expectPath.c_str());
        return kExitIncomplete;
    }
    return acknowledged == messages.size() ? kExitAcknowledged : kExitIncomplete;
}

}  // namespace

int main(int argc, char** argv) {
    SoakOptions options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "link_soak: %s\n%s", error.c_str(), kUsage);
        return kExitUsage;
    }
    // Standard output carries only the summary; the link's log goes to standard error.
    diag::theLog.SetConsole(stderr);
    return RunSoak(options);
}
