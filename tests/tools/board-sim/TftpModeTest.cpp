// The simulated board's TFTP side against the configurator's server, on loopback.
#include "tools/board-sim/TftpMode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/firmware_image.h"
#include "diag/CLog.h"
#include "net/CTftp.h"
#include "tests/diag/RecordingUiPort.h"
#include "tools/board-sim/TftpClient.h"
#include "tools/board-sim/TftpOptions.h"

namespace board_sim {
namespace {

class TftpModeAgainstServer : public ::testing::Test {
  protected:
    TftpModeAgainstServer() {
        diag::theLog.SetConsole(nullptr);
        context_.image = app::FirmwareImage();
        context_.imageSize = app::kFirmwareImageSize;
        server_.SetPort(0);
        server_.Start();
        EXPECT_TRUE(diag::RecordingUiPort::WaitFor([&] { return server_.ListeningPort() != 0; }));
        out_ = std::tmpfile();
        err_ = std::tmpfile();
    }
    ~TftpModeAgainstServer() override {
        server_.Stop();
        std::fclose(out_);
        std::fclose(err_);
        diag::theLog.SetConsole(stdout);
    }
    TftpOptions Options(std::vector<std::string> extra = {}) {
        std::vector<std::string> arguments{
            "--server",   "127.0.0.1:" + std::to_string(server_.ListeningPort()),
            "--dally-ms", "300",
            "--duration", "20"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        std::string error;
        const auto options = ParseTftpOptions(arguments, error);
        EXPECT_TRUE(options.has_value()) << error;
        return options.value_or(TftpOptions{});
    }

    diag::RecordingUiPort ui_;
    net::BoardContext context_;
    net::CTftp server_{context_, net::CTftpTiming{1000, 100, 8}};
    std::FILE* out_ = nullptr;
    std::FILE* err_ = nullptr;
    std::atomic<bool> stop_{false};
};

TEST_F(TftpModeAgainstServer, CleanRunLoadsTheImageWithTheRightCrc) {
    TftpMode mode(Options(), out_, err_);
    EXPECT_EQ(mode.Run(stop_), 0) << mode.SummaryJson();
    EXPECT_TRUE(mode.Client().CrcOk());
    EXPECT_EQ(mode.Client().Counters().blocks, 43u);
    EXPECT_EQ(mode.Client().Counters().bytes, 21504u);
    // Only a time-out (a slow machine) may send a block twice.
    EXPECT_EQ(server_.Stats().dataSent.load() - server_.Stats().dataResent.load(), 43u);
    EXPECT_LE(mode.Client().Counters().duplicates, server_.Stats().dataResent.load());
}

TEST_F(TftpModeAgainstServer, TwentyPercentLossEachWayStillEndsWithTheRightCrc) {
    ui_.ScriptAnswers({}, true);
    // The board repeats only its request: every re-send comes from the server's time-outs,
    // and the drops follow from the seed alone. (Seed 1 loses eight round trips in a row
    // at block 20, and the server then asks whether the board is still there, as it must.)
    TftpMode mode(
        Options({"--drop-rx", "0.2", "--drop-tx", "0.2", "--seed", "3", "--retry-ms", "1000"}),
        out_, err_);
    EXPECT_EQ(mode.Run(stop_), 0) << mode.SummaryJson();
    EXPECT_TRUE(mode.Client().CrcOk());
    EXPECT_TRUE(ui_.Questions().empty())
        << "sent " << server_.Stats().dataSent.load() << " resent "
        << server_.Stats().dataResent.load() << " timeouts " << server_.Stats().timeouts.load()
        << " ignored " << server_.Stats().ignoredAcks.load() << " foreign "
        << server_.Stats().foreignPackets.load();
    // Each block goes out once, plus exactly one re-send per time-out: a repeated ACK
    // never makes the server send anything.
    const auto& stats = server_.Stats();
    EXPECT_EQ(stats.dataSent.load() - stats.dataResent.load(), 43u);
    EXPECT_LE(stats.dataResent.load(), stats.timeouts.load());
    EXPECT_GT(stats.dataResent.load(), 0u);
    EXPECT_LE(mode.Client().Counters().duplicates, stats.dataResent.load());
}

TEST_F(TftpModeAgainstServer, ErrorAtABlockShowsTheFlashMessageOnce) {
    TftpMode mode(Options({"--error-at-block", "5"}), out_, err_);
    EXPECT_EQ(mode.Run(stop_), 1);
    EXPECT_EQ(mode.Client().Counters().errorsSent, 1u);
    EXPECT_TRUE(diag::RecordingUiPort::WaitFor([&] { return ui_.Messages().size() == 1u; }));
    EXPECT_EQ(ui_.Messages()[0],
              "Error programming the flash on the motion control board.\n"
              "You will need to reset the board or cycle power and try again.");
}

TEST_F(TftpModeAgainstServer, AWrongHeaderCrcFailsTheCheck) {
    TftpMode mode(Options({"--header-hex",
                           "454d434201000000"
                           "1c540000deadbeef"}),
                  out_, err_);
    EXPECT_EQ(mode.Run(stop_), 1);
    EXPECT_TRUE(mode.Client().LengthOk());
    EXPECT_FALSE(mode.Client().CrcOk());
}

}  // namespace
}  // namespace board_sim
