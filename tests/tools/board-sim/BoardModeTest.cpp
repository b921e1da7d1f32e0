// The whole board's command line and the plan of a run of several boards: which
// hardware address and flash file each board has, and how its summaries name it.
#include "tools/board-sim/BoardMode.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace board_sim {
namespace {

using ::testing::HasSubstr;

std::optional<BoardOptions> Parse(std::vector<std::string> extra, std::string& error) {
    std::vector<std::string> arguments{"--interface", "veth0"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return ParseBoardOptions(arguments, error);
}

// A scratch file of `size` bytes counting up from 0, removed with the object.
class ScratchImage {
  public:
    explicit ScratchImage(std::size_t size)
        : path_(::testing::TempDir() + "board_mode_image_" + std::to_string(getpid()) + '_' +
                std::to_string(size)) {
        std::ofstream file(path_, std::ios::binary);
        for (std::size_t i = 0; i < size; ++i)
            file.put(static_cast<char>(i));
    }
    ~ScratchImage() { std::remove(path_.c_str()); }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

TEST(BoardOptions, OneBoardByDefaultAndSeveralNeedAFirstHardwareAddress) {
    std::string error;
    const auto single = Parse({}, error);
    ASSERT_TRUE(single) << error;
    EXPECT_EQ(single->boards, 1u);
    EXPECT_EQ(single->askAgain, 0u);
    EXPECT_EQ(single->pauseMs, 0u);
    EXPECT_EQ(single->askAgainAfterMs, 1000u);
    EXPECT_TRUE(single->image.empty());
    EXPECT_FALSE(single->bootp.imageHeader);

    EXPECT_FALSE(Parse({"--boards", "3"}, error));
    EXPECT_THAT(error, HasSubstr("--mac"));
    const auto three = Parse({"--boards", "3", "--mac", "02:00:00:00:0c:01", "--pause", "1.5",
                              "--ask-again", "3", "--ask-again-after", "0"},
                             error);
    ASSERT_TRUE(three) << error;
    EXPECT_EQ(three->boards, 3u);
    EXPECT_EQ(three->askAgain, 3u);
    EXPECT_EQ(three->pauseMs, 1500u);
    EXPECT_EQ(three->askAgainAfterMs, 0u);
}

TEST(BoardOptions, CountsPausesAndBoardNumbersOutOfRangeAreRefused) {
    const std::string mac = "02:00:00:00:0c:01";
    for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
             {"--boards", "0", "--mac", mac},
             {"--boards", "101", "--mac", mac},
             {"--boards", "2x", "--mac", mac},
             {"--boards", "-1", "--mac", mac},
             {"--boards", "3", "--mac", "02:00:00:00:0c:fe"},  // the third would be :00
             {"--ask-again", "2"},
             {"--ask-again", "0"},
             {"--boards", "2", "--mac", mac, "--ask-again", "3"},
             {"--pause", "61"},
             {"--pause", "-1"},
             {"--pause", "soon"},
             {"--tftp-delay", "x"},
             {"--ask-again-after", "11"}}) {
        std::string error;
        EXPECT_FALSE(Parse(bad, error)) << bad[0] << ' ' << bad[1];
        EXPECT_FALSE(error.empty());
    }
    std::string error;
    EXPECT_TRUE(Parse({"--boards", "3", "--mac", "02:00:00:00:0c:fd"}, error)) << error;
    EXPECT_TRUE(Parse({"--boards", "100", "--mac", "02:00:00:00:0c:00"}, error)) << error;
}

TEST(BoardOptions, MalformedSeedsAndDurationsAreRefusedRatherThanCrashingOrCut) {
    // A seed that is no number once ended the program with an uncaught exception, and a
    // duration was read up to its first stray character.
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"--seed", "abc"},
                                               {"--seed", "-3"},
                                               {"--duration", "5x"},
                                               {"--duration", "0"},
                                               {"--tftp-ack-delay-ms", "201"},
                                               {"--drop-rx", "nan"}}) {
        std::string error;
        EXPECT_FALSE(Parse(bad, error)) << bad[0] << ' ' << bad[1];
        EXPECT_THAT(error, HasSubstr(bad[0]));
    }
    std::string error;
    const auto options = Parse({"--seed", "18446744073709551615", "--duration", "2.5"}, error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->seed, 18446744073709551615u);
    EXPECT_EQ(options->durationMs, 2500u);
}

TEST(BoardOptions, AnImageFileGivesTheHeaderTheReplyMustCarry) {
    const ScratchImage image(40);
    std::string error;
    const auto options = Parse({"--image", image.Path()}, error);
    ASSERT_TRUE(options) << error;
    ASSERT_EQ(options->image.size(), 40u);
    EXPECT_EQ(options->image[39], 39);
    ASSERT_TRUE(options->bootp.imageHeader);
    for (std::size_t i = 0; i < kImageHeaderSize; ++i)
        EXPECT_EQ((*options->bootp.imageHeader)[i], i);
}

TEST(BoardOptions, AnImageShorterThanItsHeaderOrUnreadableIsRefused) {
    const ScratchImage shortImage(27);
    std::string error;
    EXPECT_FALSE(Parse({"--image", shortImage.Path()}, error));
    EXPECT_THAT(error, HasSubstr("28-byte"));
    EXPECT_FALSE(Parse({"--image", shortImage.Path() + ".missing"}, error));
    EXPECT_THAT(error, HasSubstr("cannot be read"));
    EXPECT_FALSE(Parse({"--image", ::testing::TempDir()}, error));
    EXPECT_THAT(error, HasSubstr("--image"));
}

TEST(BoardRun, EachBoardHasItsOwnHardwareAddressAndFlashFile) {
    const MacAddress base{0x02, 0x00, 0x00, 0x00, 0x0c, 0x01};
    EXPECT_EQ(MacOfBoard(base, 1), base);
    EXPECT_EQ(MacText(MacOfBoard(base, 3)), "02:00:00:00:0c:03");
    EXPECT_EQ(MacText(MacOfBoard({0x02, 0, 0, 0, 0x0c, 0x9c}, 100)), "02:00:00:00:0c:ff");

    EXPECT_EQ(FlashPathOfBoard("/w/flash.bin", 1, 1), "/w/flash.bin");
    EXPECT_EQ(FlashPathOfBoard("/w/flash.bin", 1, 3), "/w/flash.bin.1");
    EXPECT_EQ(FlashPathOfBoard("/w/flash.bin", 3, 3), "/w/flash.bin.3");
    EXPECT_EQ(FlashPathOfBoard("", 2, 3), "");
}

TEST(BoardRun, SummariesNameTheBoardAfterTheirMode) {
    EXPECT_EQ(WithBoardNumber("{\"mode\":\"tftp\",\"bytes\":5}", 7),
              "{\"mode\":\"tftp\",\"board\":7,\"bytes\":5}");
    EXPECT_EQ(WithBoardNumber("{\"mode\":\"link\"}", 2), "{\"mode\":\"link\",\"board\":2}");
}

}  // namespace
}  // namespace board_sim
