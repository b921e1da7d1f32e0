#include "net/hardware_address.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace net {

std::string HardwareAddressText(const std::uint8_t* bytes, int length) {
    std::string text;
    for (int i = 0; i < length; ++i) {
        char group[4];
        std::snprintf(group, sizeof group, i == 0 ? "%02X" : "-%02X", bytes[i]);
        text += group;
    }
    return text;
}

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    const int lower = std::tolower(static_cast<unsigned char>(c));
    if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
    return -1;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ParseHardwarePrefix(const std::string& text) {
    constexpr std::size_t kGroupWidth = 3;  // two digits and a separator
    if (text.size() % kGroupWidth != 2 || text.size() > kEthernetAddressSize * kGroupWidth - 1)
        return std::nullopt;
    const char separator = text.size() > 2 ? text[2] : '-';
    if (separator != '-' && separator != ':') return std::nullopt;
    std::vector<std::uint8_t> prefix;
    for (std::size_t at = 0; at < text.size(); at += kGroupWidth) {
        const int high = HexDigit(text[at]);
        const int low = HexDigit(text[at + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        if (at + 2 < text.size() && text[at + 2] != separator) return std::nullopt;
        prefix.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return prefix;
}

std::optional<EthernetAddress> ParseEthernetAddress(const std::string& text) {
    const auto bytes = ParseHardwarePrefix(text);
    if (!bytes || bytes->size() != kEthernetAddressSize) return std::nullopt;
    EthernetAddress address{};
    std::copy(bytes->begin(), bytes->end(), address.begin());
    return address;
}

}  // namespace net
