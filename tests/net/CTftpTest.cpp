// The server over real loopback sockets, with shortened time-outs.
#include "net/CTftp.h"

#include "tests/support/LogCapture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/firmware_image.h"
#include "diag/CLog.h"
#include "os/byte_order.h"
#include "os/inet_addr.h"
#include "os/udp_socket.h"
#include "os/waiter.h"
#include "tests/diag/RecordingUiPort.h"
#include "tests/net/TftpImageBlocks.h"
#include "tests/support/LoopbackTftpClient.h"

namespace net {
namespace {

using Bytes = std::vector<std::uint8_t>;
using tftptest::Datagram;
using tftptest::TestClient;
using namespace std::chrono_literals;

constexpr CTftpTiming kFastTiming{100, 50, 8};
constexpr CTftpTiming kSlowTiming{2000, 2000, 8};

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    return diag::RecordingUiPort::WaitFor(done, limit);
}

// Whether a datagram sent from 127.0.0.2 arrives from there. Wine sends it from
// 127.0.0.1, so its loopback cannot play another host.
bool SecondLoopbackAddressIsSeen() {
    TestClient receiver;
    TestClient sender("127.0.0.2");
    sender.Send(Bytes{0}, {os::InetAddr("127.0.0.1"), receiver.Port()});
    const auto datagram = receiver.Receive();
    return datagram && datagram->from.addressNetworkOrder == os::InetAddr("127.0.0.2");
}

class Tftp : public ::testing::Test {
  protected:
    Tftp() {
        context_.image = app::FirmwareImage();
        context_.imageSize = app::kFirmwareImageSize;
    }
    // Starts the server on a port the system picks and waits until it listens.
    std::uint16_t StartServer(CTftp& server) {
        server.SetPort(0);
        EXPECT_TRUE(server.Start());
        EXPECT_TRUE(WaitUntil([&] { return server.ListeningPort() != 0; }));
        return server.ListeningPort();
    }

    LogCapture log_;
    diag::RecordingUiPort ui_;
    BoardContext context_;
};

TEST_F(Tftp, ServesTheImageThenServesASecondRequestOverTheSameTransferSocket) {
    CTftp server(context_, kSlowTiming);  // no time-out re-send, even on a loaded machine
    const std::uint16_t port = StartServer(server);
    TestClient client;
    os::SocketAddress firstTransfer;
    std::size_t lastBlockSize = 0;
    const auto content = client.Fetch(port, "d:\\a.bin", &firstTransfer, &lastBlockSize);
    ASSERT_TRUE(content.has_value());
    ASSERT_EQ(content->size(), static_cast<std::size_t>(kContentSize));
    EXPECT_EQ(std::memcmp(content->data(), app::FirmwareImage() + 28, kContentSize), 0);
    EXPECT_EQ(lastBlockSize, 4u);
    EXPECT_TRUE(WaitUntil([&] { return server.CurrentState() == CTftpTransfer::Idle; }));
    EXPECT_EQ(server.Stats().transfersCompleted.load(), 1u);
    const auto window = ui_.Window(0);
    ASSERT_EQ(window.captions.size(), 43u);  // bare title, then 2, 5, 7, 10, ... 100
    EXPECT_EQ(window.captions[0], "Tftp Uploading");
    EXPECT_EQ(window.captions[1], "Tftp Uploading [2%]");
    EXPECT_EQ(window.captions.back(), "Tftp Uploading [100%]");
    EXPECT_TRUE(window.destroyed);

    std::this_thread::sleep_for(300ms);  // a while later, with the wait now unlimited
    os::SocketAddress secondTransfer;
    const auto again = client.Fetch(port, "fpga", &secondTransfer);
    ASSERT_TRUE(again.has_value());
    EXPECT_EQ(*again, *content);
    EXPECT_EQ(secondTransfer, firstTransfer);
    EXPECT_TRUE(WaitUntil([&] { return server.Stats().transfersCompleted.load() == 2u; }));
    EXPECT_EQ(server.Stats().dataSent.load(), 86u);  // nothing re-sent, nothing doubled
    EXPECT_TRUE(ui_.Questions().empty());
    EXPECT_TRUE(ui_.Messages().empty());
    EXPECT_TRUE(server.Stop());
    EXPECT_EQ(server.HasEnded(), 1);
}

TEST_F(Tftp, RepeatedAckSendsNothingAndALostBlockIsResentOnTheTimeout) {
    CTftp server(context_, kFastTiming);
    const std::uint16_t port = StartServer(server);
    TestClient client;
    client.SendRrq(port, "x");
    const auto first = client.Receive();
    ASSERT_TRUE(first && first->Block() == 1);
    // Pretend block 1 was lost: its re-send comes after one wait.
    const auto resent = client.Receive();
    ASSERT_TRUE(resent && resent->Block() == 1);
    client.SendAck(first->from, 1);
    auto second = client.Receive();
    ASSERT_TRUE(second && second->Block() == 2);
    client.SendAck(first->from, 1);  // repeated
    client.SendAck(first->from, 1);
    // Only the time-out re-send of block 2 may come, never block 3.
    const auto next = client.Receive(30ms);
    if (next) {
        EXPECT_EQ(next->Block(), 2);
    }
    EXPECT_TRUE(WaitUntil([&] { return server.Stats().ignoredAcks.load() == 2u; }));
    EXPECT_EQ(server.Stats().dataSent.load() - server.Stats().dataResent.load(), 2u);
}

TEST_F(Tftp, AnotherClientsRequestMidTransferIsServedApartAndRedirectsNothing) {
    if (!SecondLoopbackAddressIsSeen()) GTEST_SKIP() << "no second loopback host here";
    CTftp server(context_, kFastTiming);
    const std::uint16_t port = StartServer(server);
    TestClient board;
    TestClient stranger("127.0.0.2");
    TestClient third;
    board.SendRrq(port, "d:\\a.bin");
    auto data = board.Receive();
    ASSERT_TRUE(data.has_value());
    const os::SocketAddress transfer = data->from;
    stranger.SendRrq(port, "x");  // served on its own, then never answered
    const auto strangers = stranger.Receive();
    ASSERT_TRUE(strangers.has_value());
    EXPECT_EQ(strangers->Block(), 1);
    third.SendAck(transfer, 1);  // no transfer of its own: ignored
    EXPECT_TRUE(WaitUntil([&] { return server.Stats().foreignPackets.load() == 1u; }));
    Bytes content(data->bytes.begin() + kTftpDataOffset, data->bytes.end());
    for (std::uint16_t block = 1; data->bytes.size() == 516u; ++block) {
        board.SendAck(transfer, block);
        do {
            data = board.Receive();
            ASSERT_TRUE(data.has_value());
        } while (data->Block() == block);  // a time-out re-send of the acknowledged block
        content.insert(content.end(), data->bytes.begin() + kTftpDataOffset, data->bytes.end());
    }
    board.SendAck(transfer, data->Block());
    EXPECT_EQ(content.size(), static_cast<std::size_t>(kContentSize));
    EXPECT_EQ(std::memcmp(content.data(), app::FirmwareImage() + 28, kContentSize), 0);
    EXPECT_TRUE(log_.Contains("CTftp::HandleTftpRead - ignored 4 bytes from"));
    EXPECT_TRUE(WaitUntil([&] { return server.Stats().transfersDropped.load() == 1u; }));
    EXPECT_TRUE(ui_.Questions().empty());
}

// With BOOTP in the job the client is nobody's board until BOOTP gives its address,
// which comes here while the worker runs, as it would from a BOOTP thread.
TEST_F(Tftp, OnlyTheBoardsErrorShowsTheFlashMessageOncePerTransfer) {
    CTftp server(context_, kSlowTiming);
    server.ExpectBoardFromBootp();
    const std::uint16_t port = StartServer(server);
    TestClient client;
    client.SendRrq(port, "x");
    auto data = client.Receive();
    ASSERT_TRUE(data.has_value());
    client.SendError(data->from);  // ends its transfer, shows nothing
    EXPECT_TRUE(WaitUntil([&] { return server.Stats().errorsNotShown.load() == 1u; }));
    server.BoardAddressGiven(os::InetAddr("127.0.0.1"));
    client.SendRrq(port, "x");
    data = client.Receive();
    ASSERT_TRUE(data.has_value());
    client.SendError(data->from);
    client.SendError(data->from);
    EXPECT_TRUE(WaitUntil([&] { return server.Stats().errorsNotShown.load() == 2u; }));
    EXPECT_EQ(
        ui_.Messages(),
        std::vector<std::string>{"Error programming the flash on the motion control board.\n"
                                 "You will need to reset the board or cycle power and try again."});
}

TEST_F(Tftp, ErrorAfterTheLastBlockEndsTheTransferWithoutAMessage) {
    CTftp server(context_, kFastTiming);
    const std::uint16_t port = StartServer(server);
    TestClient client;
    client.SendRrq(port, "x");
    for (std::uint16_t block = 1;; ++block) {
        auto data = client.Receive();
        ASSERT_TRUE(data.has_value());
        if (data->Block() != block) {  // re-sent after a slow ACK
            --block;
            continue;
        }
        if (data->bytes.size() == 4u) {
            client.SendError(data->from);
            break;
        }
        client.SendAck(data->from, block);
    }
    EXPECT_TRUE(WaitUntil([&] { return server.CurrentState() == CTftpTransfer::Idle; }));
    EXPECT_TRUE(ui_.Messages().empty());
}

TEST_F(Tftp, SilenceAsksWithTheEmptyBoardNameAndRetryReturnsToIdle) {
    ui_.ScriptAnswers({true}, true);
    CTftp server(context_, kFastTiming);
    const std::uint16_t port = StartServer(server);
    TestClient client;
    client.SendRrq(port, "x");
    const auto first = client.Receive();
    ASSERT_TRUE(first.has_value());
    client.SendAck(first->from, 1);
    // The client goes quiet mid-transfer.
    EXPECT_TRUE(WaitUntil([&] { return !ui_.Questions().empty(); }));
    EXPECT_EQ(ui_.Questions()[0], " is not responding.\n\nRetry or Quit Plugin (cancel)?");
    EXPECT_TRUE(WaitUntil([&] { return server.CurrentState() == CTftpTransfer::Idle; }));
    EXPECT_EQ(server.HasEnded(), 0);
    EXPECT_TRUE(server.IsRunning());
}

TEST_F(Tftp, CancelInTheQuestionEndsTheWorker) {
    ui_.ScriptAnswers({false});
    CTftp server(context_, kFastTiming);
    StartServer(server);
    EXPECT_TRUE(WaitUntil([&] { return server.HasEnded() == 1; }));
    EXPECT_EQ(ui_.Questions().size(), 1u);
    EXPECT_TRUE(ui_.Window(0).destroyed);
    // A new Start replaces a worker that ended by itself.
    ui_.ScriptAnswers({}, true);
    ASSERT_TRUE(server.Start());
    EXPECT_TRUE(WaitUntil([&] { return server.ListeningPort() != 0; }));
    EXPECT_TRUE(server.IsRunning());
    EXPECT_TRUE(server.Stop());
}

TEST_F(Tftp, CancelInTheProgressWindowEndsTheWorker) {
    CTftp server(context_, CTftpTiming{2000, 2000, 8});
    const std::uint16_t port = StartServer(server);
    TestClient client;
    client.SendRrq(port, "x");
    ASSERT_TRUE(client.Receive().has_value());
    ui_.PressCancel(0);
    const auto data = client.Receive();  // none needed: the worker looks after its wait
    (void)data;
    EXPECT_TRUE(WaitUntil([&] { return server.HasEnded() == 1; }));
    EXPECT_TRUE(ui_.Window(0).destroyed);
    EXPECT_TRUE(ui_.Questions().empty());
}

TEST_F(Tftp, WithThePortAlreadyBoundTheWorkerStartsStopsAndSaysSo) {
    os::UdpSocket holder;
    ASSERT_TRUE(holder.Open());
    ASSERT_TRUE(holder.Bind(0, 0));
    ui_.ScriptAnswers({}, true);
    CTftp server(context_, kFastTiming);
    server.SetPort(holder.LocalPort());
    ASSERT_TRUE(server.Start());
    EXPECT_TRUE(WaitUntil([&] {
        return log_.Contains("CTftp::OpenServerSocket - cannot bind UDP port " +
                             std::to_string(holder.LocalPort()));
    }));
    EXPECT_TRUE(server.IsRunning());
    EXPECT_EQ(server.HasEnded(), 0);
    EXPECT_TRUE(server.Stop());
    EXPECT_EQ(server.HasEnded(), 1);
}

TEST_F(Tftp, StopEndsAnIdleWorkerAtOnceAndHasEndedStaysSet) {
    CTftp server(context_);  // the real waits: 3 s
    StartServer(server);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(server.Stop());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(server.HasEnded(), 1);
    EXPECT_TRUE(server.Stop());
    ASSERT_TRUE(server.Start());  // a new worker; the flag still says an earlier one ended
    EXPECT_EQ(server.HasEnded(), 1);
    EXPECT_TRUE(server.Stop());
}

}  // namespace
}  // namespace net
