#include "tools/board-sim/BootpExchange.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "os/byte_order.h"
#include "tests/data/captured_packets.h"

namespace board_sim {
namespace {

using ::testing::ElementsAre;

const MacAddress kMac = {0x02, 0x00, 0x00, 0x00, 0x00, 0xb1};
constexpr std::uint32_t kXid = 0xCAFEF00Du;

ImageHeader Header() {
    ImageHeader header{};
    for (std::size_t i = 0; i < header.size(); ++i)
        header[i] = static_cast<std::uint8_t>(0x40 + i);
    return header;
}

// The reply a correct server makes of `request`.
std::vector<std::uint8_t> ServerReply(const std::array<std::uint8_t, kBootpSize>& request) {
    std::vector<std::uint8_t> reply(request.begin(), request.end());
    reply[0] = 2;
    const std::uint8_t yiaddr[4] = {10, 9, 9, 100};
    const std::uint8_t siaddr[4] = {10, 9, 9, 1};
    std::memcpy(&reply[16], yiaddr, 4);
    std::memcpy(&reply[20], siaddr, 4);
    std::memcpy(&reply[108], "d:\\a.bin", 9);
    const ImageHeader header = Header();
    std::memcpy(&reply[268], header.data(), header.size());
    return reply;
}

TEST(BootpExchange, RequestIsAnEthernetBootRequestCarryingTheMac) {
    const BootpExchange exchange(kMac, kXid, Header());
    const auto request = exchange.Request();
    EXPECT_EQ(request[0], 1);
    EXPECT_EQ(request[1], 1);
    EXPECT_EQ(request[2], 6);
    EXPECT_EQ(os::load_be32(&request[4]), kXid);
    EXPECT_EQ(std::memcmp(&request[28], kMac.data(), kMac.size()), 0);
    EXPECT_EQ(request[34], 0);
}

TEST(BootpExchange, CorrectReplyGivesTheLease) {
    const BootpExchange exchange(kMac, kXid, Header());
    const ReplyCheck check = exchange.Check(ServerReply(exchange.Request()));
    ASSERT_TRUE(check.ours);
    EXPECT_TRUE(check.failures.empty());
    EXPECT_EQ(DottedAddress(check.lease.yourAddressNetworkOrder), "10.9.9.100");
    EXPECT_EQ(DottedAddress(check.lease.serverAddressNetworkOrder), "10.9.9.1");
    EXPECT_EQ(check.lease.bootFile, "d:\\a.bin");
    EXPECT_EQ(check.lease.imageHeader, Header());
}

TEST(BootpExchange, EachWrongFieldIsNamed) {
    const BootpExchange exchange(kMac, kXid, Header());
    auto reply = ServerReply(exchange.Request());
    reply[265] = 1;
    reply[270] ^= 0xFF;
    reply[109] = 'x';
    std::memset(&reply[20], 0, 4);
    const ReplyCheck check = exchange.Check(reply);
    ASSERT_TRUE(check.ours);
    EXPECT_THAT(check.failures,
                ElementsAre("siaddr is 0.0.0.0", "file is not d:\\a.bin",
                            "vendor bytes 264..267 are not zero",
                            "vendor bytes 268..283 are not the image's first 16 bytes"));
}

TEST(BootpExchange, OtherTransactionsShortPacketsAndRequestsAreNotOurs) {
    const BootpExchange exchange(kMac, kXid, Header());
    auto reply = ServerReply(exchange.Request());
    auto other = reply;
    os::store_be32(&other[4], kXid + 1);
    EXPECT_FALSE(exchange.Check(other).ours);
    EXPECT_FALSE(exchange.Check(std::vector<std::uint8_t>(reply.begin(), reply.end() - 1)).ours);
    const auto request = exchange.Request();
    EXPECT_FALSE(exchange.Check(std::vector<std::uint8_t>(request.begin(), request.end())).ours);
}

TEST(BootpExchange, MacTextRoundTrips) {
    EXPECT_EQ(MacText(kMac), "02:00:00:00:00:b1");
    EXPECT_EQ(ParseMac("02:00:00:00:00:b1"), kMac);
    EXPECT_FALSE(ParseMac("02:00:00:00:00"));
    EXPECT_FALSE(ParseMac("02:00:00:00:00:b1:"));
}

// The captures of tests/data, from both sides: busybox udhcpc's DISCOVER carries the
// same BOOTP fields as the board's request for its transaction and hardware address,
// and the server's reply to it gives the board its lease.
const MacAddress kUdhcpcMac = {0xC6, 0x44, 0x01, 0x9E, 0x8F, 0x77};
constexpr std::uint32_t kUdhcpcXid = 0xF7594407u;
constexpr std::size_t kVendorOffset = 236;  // where udhcpc's DHCP options begin

TEST(BootpExchange, RequestHasTheBootpFieldsOfUdhcpcsDiscover) {
    const auto request = BootpExchange(kUdhcpcMac, kUdhcpcXid, Header()).Request();
    const std::vector<std::uint8_t> discover = testdata::AsBytes(testdata::kUdhcpcDiscover);
    ASSERT_EQ(discover.size(), request.size());
    EXPECT_TRUE(std::equal(request.begin(), request.begin() + kVendorOffset, discover.begin()));
    EXPECT_TRUE(std::all_of(request.begin() + kVendorOffset, request.end(),
                            [](std::uint8_t byte) { return byte == 0; }));
}

TEST(BootpExchange, ServersReplyToUdhcpcGivesTheLease) {
    ImageHeader header{};
    for (std::size_t i = 0; i < header.size(); ++i)
        header[i] = static_cast<std::uint8_t>(0xA0 + i);
    const ReplyCheck check =
        BootpExchange(kUdhcpcMac, kUdhcpcXid, header).Check(testdata::kBootpReplyToUdhcpc);
    ASSERT_TRUE(check.ours);
    EXPECT_TRUE(check.failures.empty()) << check.failures.front();
    EXPECT_EQ(DottedAddress(check.lease.yourAddressNetworkOrder), "10.9.9.100");
    EXPECT_EQ(DottedAddress(check.lease.serverAddressNetworkOrder), "10.9.9.1");
    EXPECT_EQ(check.lease.bootFile, "d:\\a.bin");
    EXPECT_EQ(check.lease.imageHeader, header);
}

}  // namespace
}  // namespace board_sim
