#include "app/config_block.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/crc32.h"
#include "os/byte_order.h"
#include "tests/support/AddressTexts.h"

namespace app {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

ConfigBlock Build(const char* ip, const char* mac, const char* nickname) {
    ConfigBlock block{};
    BuildConfigBlock(ip, mac, nickname, block.data());
    return block;
}

std::vector<std::uint8_t> Bytes(const ConfigBlock& block, std::size_t offset, std::size_t count) {
    return {block.begin() + static_cast<std::ptrdiff_t>(offset),
            block.begin() + static_cast<std::ptrdiff_t>(offset + count)};
}

std::vector<std::uint8_t> Mac(const char* text, bool* parsed = nullptr) {
    std::vector<std::uint8_t> out(6, 0xFF);
    const bool ok = ParseMac(text, out.data()) != nullptr;
    if (parsed != nullptr) *parsed = ok;
    return out;
}

TEST(ConfigBlock, IpAddressIsStoredHostOrderLittleEndian) {
    EXPECT_THAT(Bytes(Build("10.9.9.9", "", ""), kIpAddressOffset, 4), ElementsAre(9, 9, 9, 10));
    EXPECT_THAT(Bytes(Build("192.168.1.20", "", ""), kIpAddressOffset, 4),
                ElementsAre(0x14, 0x01, 0xA8, 0xC0));
}

TEST(ConfigBlock, RejectedIpTextGivesAllOnes) {
    for (const char* text : {"", "10.9.9.300", "hello", "1.2.3.4.5"}) {
        EXPECT_THAT(Bytes(Build(text, "", ""), kIpAddressOffset, 4),
                    ElementsAre(0xFF, 0xFF, 0xFF, 0xFF))
            << text;
    }
}

TEST(ConfigBlock, LayoutAroundTheFields) {
    const ConfigBlock block = Build("192.168.1.20", "00-1b-2C-3d-4E-5f", "X");
    EXPECT_THAT(Bytes(block, kServerMacOffset, 6), ElementsAre(0x00, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F));
    EXPECT_THAT(Bytes(block, 14, 2), ElementsAre(0xFF, 0xFF));
    EXPECT_EQ(block[kNicknameOffset], 'X');
    EXPECT_EQ(Bytes(block, kNicknameOffset + 1, 63), std::vector<std::uint8_t>(63, 0));
    EXPECT_EQ(Bytes(block, 80, 944), std::vector<std::uint8_t>(944, 0xFF));
}

TEST(ConfigBlock, CrcCoversBytesFourToEndOnly) {
    ConfigBlock block = Build("10.9.9.9", "FF-FF-FF-FF-FF-FF", "New Ethernet Orvantis");
    const std::uint32_t stored = os::load_le32(block.data());
    EXPECT_EQ(stored, Crc32(block.data() + 4, 1020));
    EXPECT_EQ(stored, ConfigCrc(block.data()));

    block[0] ^= 0x5A;  // the CRC bytes are not part of the CRC
    EXPECT_EQ(ConfigCrc(block.data()), stored);
    block[1023] ^= 0x01;
    EXPECT_NE(ConfigCrc(block.data()), stored);
}

TEST(ConfigBlock, BoardCanCheckTheCrcFromTheFirst256Bytes) {
    const ConfigBlock block = Build("10.1.2.3", "01-02-03-04-05-06", "bench 7");
    std::vector<std::uint8_t> received(block.begin() + 4, block.begin() + 256);
    received.resize(1020, 0xFF);
    EXPECT_EQ(Crc32(received.data(), received.size()), os::load_le32(block.data()));
}

TEST(ConfigBlock, NicknameIsCutTo63CharactersAndAlwaysTerminated) {
    const std::string exact(63, 'n');
    ConfigBlock block = Build("10.9.9.9", "", exact.c_str());
    EXPECT_EQ(block[kNicknameOffset + 62], 'n');
    EXPECT_EQ(block[kNicknameOffset + 63], 0);

    const std::string longer(70, 'm');
    block = Build("10.9.9.9", "", longer.c_str());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&block[kNicknameOffset])),
              longer.substr(0, 63));
}

TEST(ParseMac, AcceptsOneOrTwoDigitsInEitherCase) {
    bool parsed = false;
    EXPECT_THAT(Mac("FF-FF-FF-FF-FF-FF", &parsed), ElementsAre(255, 255, 255, 255, 255, 255));
    EXPECT_TRUE(parsed);
    EXPECT_THAT(Mac("0-1-2-3-4-5", &parsed), ElementsAre(0, 1, 2, 3, 4, 5));
    EXPECT_TRUE(parsed);
    EXPECT_THAT(Mac("1-2-3-4-5-6 ", &parsed), ElementsAre(1, 2, 3, 4, 5, 6));
    EXPECT_TRUE(parsed);
    EXPECT_THAT(Mac("00-11-22-33-44-55xyz", &parsed), ElementsAre(0, 0x11, 0x22, 0x33, 0x44, 0x55));
    EXPECT_TRUE(parsed);
}

TEST(ParseMac, KeepsCompletedGroupsOnFailure) {
    bool parsed = true;
    EXPECT_THAT(Mac("12-34-5", &parsed), ElementsAre(0x12, 0x34, 0xFF, 0xFF, 0xFF, 0xFF));
    EXPECT_FALSE(parsed);
    EXPECT_THAT(Mac("", &parsed), ElementsAre(0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF));
    EXPECT_FALSE(parsed);
    EXPECT_THAT(Mac("12:34:56:78:9a:bc", &parsed), ElementsAre(0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF));
    EXPECT_FALSE(parsed);
    EXPECT_THAT(Mac("123456789abc", &parsed), ElementsAre(0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF));
    EXPECT_FALSE(parsed);
    EXPECT_THAT(Mac("12-34-56-78-9a-", &parsed), ElementsAre(0x12, 0x34, 0x56, 0x78, 0x9A, 0xFF));
    EXPECT_FALSE(parsed);
    EXPECT_THAT(Mac("12-g4-56-78-9a-bc", &parsed), ElementsAre(0x12, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF));
    EXPECT_FALSE(parsed);
}

TEST(ParseMac, MalformedTextInTheBlockKeepsThePartialMac) {
    EXPECT_THAT(Bytes(Build("10.9.9.9", "12-34-5", ""), kServerMacOffset, 6),
                ElementsAre(0x12, 0x34, 0xFF, 0xFF, 0xFF, 0xFF));
}

TEST(ConfigFieldProblem, NamesTheFieldAndTheTextThatCannotBeUsed) {
    EXPECT_FALSE(ConfigFieldProblem("10.9.9.9", "FF-FF-FF-FF-FF-FF"));
    for (const test::AddressText& ip : test::kIpTexts) {
        const auto problem = ConfigFieldProblem(ip.text, "");
        EXPECT_EQ(problem.has_value(), !ip.valid) << '"' << ip.text << '"';
        if (problem) {
            EXPECT_THAT(*problem, HasSubstr("IP address \"" + std::string(ip.text) + '"'));
        }
    }
    for (const char* ip : {"0.0.0.0", "255.255.255.255"}) {
        const auto problem = ConfigFieldProblem(ip, "");
        ASSERT_TRUE(problem) << ip;
        EXPECT_THAT(*problem, HasSubstr("cannot be given to a board")) << ip;
    }
    for (const test::AddressText& mac : test::kMacTexts) {
        const auto problem = ConfigFieldProblem("10.9.9.9", mac.text);
        EXPECT_EQ(problem.has_value(), !mac.valid) << '"' << mac.text << '"';
        if (problem) {
            EXPECT_THAT(*problem, HasSubstr("MAC address \"" + std::string(mac.text) + '"'));
        }
    }
}

TEST(CutField, KeepsWhatTheDialogBufferWouldRead) {
    EXPECT_EQ(CutField("192.168.100.100x", kIpTextLimit), "192.168.100.100");
    EXPECT_EQ(CutField("short", kMacTextLimit), "short");
}

}  // namespace
}  // namespace app
