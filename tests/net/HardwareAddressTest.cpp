#include <gtest/gtest.h>

#include "net/hardware_address.h"

namespace net {
namespace {

using Prefix = std::vector<std::uint8_t>;

TEST(HardwareAddress, PrefixesOfOneToSixBytesInEitherSeparator) {
    EXPECT_EQ(ParseHardwarePrefix("02"), (Prefix{0x02}));
    EXPECT_EQ(ParseHardwarePrefix("02-42-AC"), (Prefix{0x02, 0x42, 0xAC}));
    EXPECT_EQ(ParseHardwarePrefix("02:42:ac:11:00:0f"),
              (Prefix{0x02, 0x42, 0xAC, 0x11, 0x00, 0x0F}));
    for (const char* bad : {"", "2", "02-4", "02-42-", "02:42-AC", "02.42", "0g",
                            "02-42-AC-11-00-0F-01", "02--42", " 02"})
        EXPECT_FALSE(ParseHardwarePrefix(bad)) << bad;
}

TEST(HardwareAddress, TextIsUpperCaseHexJoinedByDashes) {
    const std::uint8_t address[] = {0x02, 0x00, 0xab, 0x0c, 0xff, 0x01};
    EXPECT_EQ(HardwareAddressText(address, 6), "02-00-AB-0C-FF-01");
    EXPECT_EQ(ParseHardwarePrefix(HardwareAddressText(address, 6)),
              (Prefix(std::begin(address), std::end(address))));
}

TEST(HardwareAddress, WholeAddressNeedsSixBytes) {
    EXPECT_EQ(ParseEthernetAddress("02:42:ac:11:00:0f"),
              (EthernetAddress{0x02, 0x42, 0xAC, 0x11, 0x00, 0x0F}));
    EXPECT_FALSE(ParseEthernetAddress("02-42-AC-11-00"));
    EXPECT_FALSE(ParseEthernetAddress("02-42-AC-11-00-0F-01"));
    EXPECT_FALSE(ParseEthernetAddress(""));
}

}  // namespace
}  // namespace net
