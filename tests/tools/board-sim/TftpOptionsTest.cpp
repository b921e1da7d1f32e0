#include "tools/board-sim/TftpOptions.h"

#include <gtest/gtest.h>

#include <cstring>

#include "app/firmware_image.h"

namespace board_sim {
namespace {

std::optional<TftpOptions> Parse(std::vector<std::string> arguments, std::string& error) {
    return ParseTftpOptions(arguments, error);
}

TEST(TftpOptions, DefaultsToTheBuiltInImageHeaderAndTheBootFileName) {
    std::string error;
    const auto options = Parse({"--server", "127.0.0.1"}, error);
    ASSERT_TRUE(options.has_value()) << error;
    EXPECT_EQ(options->serverPort, 69);
    EXPECT_EQ(options->fileName, "d:\\a.bin");
    EXPECT_EQ(std::memcmp(options->header.data(), app::FirmwareImage(), 16), 0);
}

TEST(TftpOptions, HeaderHexGivesTheSixteenBytes) {
    std::string error;
    const auto options = Parse(
        {"--server", "127.0.0.1:6969", "--header-hex", "00112233445566778899aabbccddeeff"}, error);
    ASSERT_TRUE(options.has_value()) << error;
    EXPECT_EQ(options->serverPort, 6969);
    EXPECT_EQ(options->header[0], 0x00);
    EXPECT_EQ(options->header[9], 0x99);
    EXPECT_EQ(options->header[15], 0xFF);
}

TEST(TftpOptions, RefusesAnythingButLoopbackAndBadValues) {
    std::string error;
    EXPECT_FALSE(Parse({"--server", "192.168.1.5:69"}, error).has_value());
    EXPECT_NE(error.find("loopback"), std::string::npos);
    EXPECT_FALSE(Parse({}, error).has_value());
    EXPECT_FALSE(Parse({"--server", "127.0.0.1", "--drop-rx", "1.5"}, error).has_value());
    EXPECT_FALSE(Parse({"--server", "127.0.0.1", "--header-hex", "0011"}, error).has_value());
    EXPECT_FALSE(
        Parse({"--server", "127.0.0.1", "--header-hex", "zz112233445566778899aabbccddeeff"}, error)
            .has_value());
    EXPECT_FALSE(Parse({"--server", "127.0.0.1", "--error-at-block", "0"}, error).has_value());
}

}  // namespace
}  // namespace board_sim
