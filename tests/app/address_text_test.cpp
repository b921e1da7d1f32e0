#include "app/address_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "os/inet_addr.h"
#include "tests/support/AddressTexts.h"

namespace app {
namespace {

std::uint32_t NetworkOrder(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    const std::uint8_t octets[4] = {a, b, c, d};
    std::uint32_t address = 0;
    std::memcpy(&address, octets, sizeof address);
    return address;
}

TEST(ParseIpv4Text, TakesFourPlainDecimalNumbersAndNothingElse) {
    for (const test::AddressText& entry : test::kIpTexts)
        EXPECT_EQ(ParseIpv4Text(entry.text).has_value(), entry.valid) << '"' << entry.text << '"';
    EXPECT_EQ(ParseIpv4Text("10.9.9.21"), NetworkOrder(10, 9, 9, 21));
    EXPECT_EQ(ParseIpv4Text("0.0.0.0"), 0u);
    EXPECT_EQ(ParseIpv4Text("255.255.255.255"), 0xFFFFFFFFu);
    for (const char* text : {"", ".", "1.2.3", "1.2.3.4.5", "1..2.3", "1.2.3.1000", "+1.2.3.4",
                             "1.2.3.-4", "1.2.3.4\n", "01.2.3.4"})
        EXPECT_FALSE(ParseIpv4Text(text)) << '"' << text << '"';
    EXPECT_FALSE(ParseIpv4Text(std::string("1.2.3.4\0", 8)));
}

// What it takes is exactly what inet_addr reads the same way a person does: the
// canonical text of the address inet_addr gives.
TEST(ParseIpv4Text, AcceptsATextExactlyWhenItIsTheCanonicalFormOfItsAddress) {
    std::mt19937 random(20);
    const std::string alphabet = "0123456789....x ";
    for (int round = 0; round < 200000; ++round) {
        std::string text;
        const int length = 1 + static_cast<int>(random() % 16);
        for (int i = 0; i < length; ++i)
            text += alphabet[random() % alphabet.size()];
        const std::uint32_t lenient = os::InetAddr(text.c_str());
        const bool canonical =
            Ipv4Text(lenient) == text;  // 255.255.255.255 is both the rejection and itself
        const auto strict = ParseIpv4Text(text);
        ASSERT_EQ(strict.has_value(), canonical) << '"' << text << '"';
        if (strict) {
            ASSERT_EQ(*strict, lenient) << text;
        }
    }
    for (int round = 0; round < 10000; ++round) {
        const std::uint32_t address = static_cast<std::uint32_t>(random());
        ASSERT_EQ(ParseIpv4Text(Ipv4Text(address)), address);
    }
}

}  // namespace
}  // namespace app
