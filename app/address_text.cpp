#include "app/address_text.h"

#include <cstring>

namespace app {
namespace {

constexpr int kOctets = 4;
constexpr int kMaxOctetDigits = 3;
constexpr unsigned kMaxOctet = 255;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::optional<std::uint32_t> ParseIpv4Text(std::string_view text) {
    std::uint8_t octets[kOctets] = {};
    std::size_t at = 0;
    for (int octet = 0; octet < kOctets; ++octet) {
        if (octet > 0) {
            if (at >= text.size() || text[at] != '.') return std::nullopt;
            ++at;
        }
        const std::size_t start = at;
        unsigned value = 0;
        while (at < text.size() && IsDigit(text[at]) && at - start < kMaxOctetDigits)
            value = value * 10 + static_cast<unsigned>(text[at++] - '0');
        const std::size_t digits = at - start;
        // A zero-padded number is ambiguous: octal to inet_addr, decimal to a person.
        if (digits == 0 || value > kMaxOctet || (digits > 1 && text[start] == '0'))
            return std::nullopt;
        octets[octet] = static_cast<std::uint8_t>(value);
    }
    if (at != text.size()) return std::nullopt;
    std::uint32_t address = 0;
    std::memcpy(&address, octets, sizeof address);  // the first number first: network order
    return address;
}

std::string Ipv4Text(std::uint32_t addressNetworkOrder) {
    std::uint8_t octets[kOctets];
    std::memcpy(octets, &addressNetworkOrder, sizeof octets);
    std::string text;
    for (int octet = 0; octet < kOctets; ++octet) {
        if (octet > 0) text += '.';
        text += std::to_string(octets[octet]);
    }
    return text;
}

}  // namespace app
