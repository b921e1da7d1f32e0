// The link mode as a whole, against a stop-and-wait sender in this test over
// loopback: faults injected both ways, and every message must still arrive once,
// in order, byte for byte.
#include "tools/board-sim/LinkMode.h"

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include "tests/tools/board-sim/link_datagrams.h"

namespace board_sim {
namespace {

using testing::Bytes;
using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr auto kRetransmitInterval = std::chrono::milliseconds(50);
constexpr auto kSenderTimeLimit = std::chrono::seconds(20);

// The server's socket, on 127.0.0.1.
class ServerSocket {
  public:
    ServerSocket() {
        descriptor_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(descriptor_, reinterpret_cast<const sockaddr*>(&local), sizeof local);
        socklen_t length = sizeof local;
        getsockname(descriptor_, reinterpret_cast<sockaddr*>(&local), &length);
        port_ = ntohs(local.sin_port);
    }
    ~ServerSocket() { close(descriptor_); }
    ServerSocket(const ServerSocket&) = delete;
    ServerSocket& operator=(const ServerSocket&) = delete;

    std::uint16_t Port() const { return port_; }

    // The next datagram within `waitMs`, and where it came from.
    std::optional<Bytes> Receive(int waitMs, std::uint16_t* fromPort = nullptr) {
        pollfd descriptor{descriptor_, POLLIN, 0};
        if (poll(&descriptor, 1, waitMs) <= 0) return std::nullopt;
        Bytes buffer(2048);
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t received = recvfrom(descriptor_, buffer.data(), buffer.size(), 0,
                                          reinterpret_cast<sockaddr*>(&from), &length);
        if (received < 0) return std::nullopt;
        buffer.resize(static_cast<std::size_t>(received));
        if (fromPort != nullptr) *fromPort = ntohs(from.sin_port);
        return buffer;
    }

    void SendTo(const Bytes& datagram, std::uint16_t port) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(port);
        sendto(descriptor_, datagram.data(), datagram.size(), 0,
               reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }

  private:
    int descriptor_ = -1;
    std::uint16_t port_ = 0;
};

// Sends each message stop-and-wait, retransmitting every 50 ms with rising retries
// until the board's acknowledgement covers it. False when the time limit ran out.
bool SendAll(ServerSocket& server, std::uint16_t boardPort, const std::vector<Bytes>& messages,
             std::uint32_t firstSeq) {
    const Clock::time_point limit = Clock::now() + kSenderTimeLimit;
    std::uint32_t seq = firstSeq;
    for (const Bytes& message : messages) {
        for (std::uint16_t retries = 0;; ++retries) {
            if (Clock::now() > limit) return false;
            server.SendTo(testing::Datagram(seq, retries, message), boardPort);
            const Clock::time_point resend = Clock::now() + kRetransmitInterval;
            bool acknowledged = false;
            while (!acknowledged && Clock::now() < resend) {
                const auto wait =
                    std::chrono::duration_cast<std::chrono::milliseconds>(resend - Clock::now());
                const auto status = server.Receive(static_cast<int>(wait.count()) + 1);
                acknowledged = status && status->size() >= kStatusDatagramSize &&
                               os::load_le32(status->data() + kStatusAckOffset) == seq;
            }
            if (acknowledged) break;
        }
        ++seq;
    }
    return true;
}

class LinkModeOverLoopback : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "board-sim-link-XXXXXX").string();
        folder_ = mkdtemp(pattern.data());
        out_ = std::tmpfile();
        err_ = std::tmpfile();
    }
    void TearDown() override {
        std::fclose(out_);
        std::fclose(err_);
        fs::remove_all(folder_);
    }

    LinkOptions Options(const std::string& extra = {}) const {
        std::string error;
        std::vector<std::string> arguments = {
            "--server",    "127.0.0.1:" + std::to_string(server_.Port()),
            "--status-ms", "20",
            "--duration",  "25"};
        if (!extra.empty()) arguments.push_back(extra);
        auto options = ParseLinkOptions(arguments, error);
        EXPECT_TRUE(options) << error;
        return *options;
    }

    static std::string Contents(std::FILE* file) {
        std::rewind(file);
        std::string text;
        for (int c; (c = std::fgetc(file)) != EOF;)
            text += static_cast<char>(c);
        return text;
    }

    static Bytes ReadFile(const fs::path& path) {
        std::ifstream file(path, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    ServerSocket server_;
    fs::path folder_;
    std::FILE* out_ = nullptr;
    std::FILE* err_ = nullptr;
};

TEST_F(LinkModeOverLoopback, EveryMessageArrivesOnceInOrderDespiteInjectedFaults) {
    LinkOptions options = Options("--exit-after-disconnect");
    options.faultRates = {0.2, 0.2, 0.2};
    options.seed = 5;
    options.flashPath = (folder_ / "flash.bin").string();
    options.recordPath = (folder_ / "record.bin").string();

    const app::ConfigBlock block = testing::SampleConfigBlock();
    std::vector<Bytes> messages = {testing::ConfigWrite(block),
                                   testing::Message(kCommandFpgaBytes, Bytes(500, 0x81))};
    std::mt19937 random(3);
    for (int i = 0; i < 12; ++i) {
        Bytes payload(1 + random() % kMaxPayloadLength);
        for (auto& byte : payload)
            byte = static_cast<std::uint8_t>(random());
        // A command word of 0 keeps it off the known commands.
        if (payload.size() >= kMessageHeaderSize) payload[kMessageCommandOffset] = 0;
        messages.push_back(payload);
    }
    messages.push_back(testing::Message(kCommandDisconnect));

    std::atomic<bool> stop{false};
    LinkMode mode(options, out_, err_);
    int exitStatus = -1;
    std::thread board([&] { exitStatus = mode.Run(stop); });

    std::uint16_t boardPort = 0;
    const auto firstStatus = server_.Receive(5000, &boardPort);
    ASSERT_TRUE(firstStatus) << "no status datagram from the board";
    const bool sent = SendAll(server_, boardPort, messages, 0xFFFFFFF8u);  // crosses the wrap
    if (!sent) stop = true;
    board.join();
    ASSERT_TRUE(sent) << "the sender ran out of time";
    EXPECT_EQ(exitStatus, 0);

    // The record holds every message once, in order.
    const Bytes record = ReadFile(folder_ / "record.bin");
    Bytes expected;
    for (const Bytes& message : messages) {
        const Bytes one = MessageRecorder::EncodeRecord(message);
        expected.insert(expected.end(), one.begin(), one.end());
    }
    EXPECT_TRUE(record == expected)
        << "record of " << record.size() << " bytes, expected " << expected.size();
    EXPECT_EQ(ReadFile(folder_ / "flash.bin"), Bytes(block.begin(), block.end()));

    const std::string summary = Contents(out_);
    EXPECT_THAT(summary, HasSubstr("\"messages_accepted\":15,"));
    EXPECT_THAT(summary, HasSubstr("\"header_violations\":{\"total\":0,"));
    EXPECT_THAT(summary, HasSubstr("\"message_violations\":0,"));
    EXPECT_THAT(summary, HasSubstr("\"unparsed\":12"));
    EXPECT_THAT(summary, HasSubstr("\"config_crc_ok\":true"));
    EXPECT_THAT(summary, HasSubstr("\"first_seq\":4294967288,"));
    EXPECT_THAT(summary, ::testing::Not(HasSubstr("\"dropped_rx\":0,")));
    EXPECT_THAT(Contents(err_), HasSubstr("board-sim: link mode, local port "));
}

TEST_F(LinkModeOverLoopback, SilentBoardSendsNothingAndStopsAtItsDuration) {
    LinkOptions options = Options("--silent");
    options.durationMs = 300;
    std::atomic<bool> stop{false};
    LinkMode mode(options, out_, err_);
    const Clock::time_point started = Clock::now();
    EXPECT_EQ(mode.Run(stop), 0);
    const auto elapsed = Clock::now() - started;
    EXPECT_GE(elapsed, std::chrono::milliseconds(300));
    EXPECT_LT(elapsed, std::chrono::milliseconds(2000));
    EXPECT_FALSE(server_.Receive(0).has_value());
    EXPECT_THAT(Contents(out_), HasSubstr("\"datagrams_sent\":0,"));
}

TEST_F(LinkModeOverLoopback, StopRequestEndsTheRunAndStillPrintsTheSummary) {
    std::atomic<bool> stop{false};
    LinkMode mode(Options(), out_, err_);
    int exitStatus = -1;
    std::thread board([&] { exitStatus = mode.Run(stop); });
    ASSERT_TRUE(server_.Receive(5000));
    const Clock::time_point asked = Clock::now();
    stop = true;
    board.join();
    EXPECT_LT(Clock::now() - asked, std::chrono::milliseconds(1000));
    EXPECT_EQ(exitStatus, 0);
    EXPECT_THAT(Contents(out_), HasSubstr("{\"mode\":\"link\""));
}

}  // namespace
}  // namespace board_sim
