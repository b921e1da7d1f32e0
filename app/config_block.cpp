#include "app/config_block.h"

#include <cctype>
#include <cstring>

#include "app/address_text.h"
#include "app/crc32.h"
#include "os/byte_order.h"
#include "os/inet_addr.h"

namespace app {
namespace {

constexpr int kMacGroups = 6;

int HexValue(char c) {
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower >= '0' && lower <= '9') return lower - '0';
    if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
    return -1;
}

bool IsSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// Parses the six groups; returns the position after the last group, or null at the
// first malformed group. Every completed group is stored before the next is read.
const char* ParseMacGroups(const char* p, std::uint8_t* out) {
    for (int group = 0; group < kMacGroups; ++group) {
        const bool last = group == kMacGroups - 1;
        int value = HexValue(*p);
        if (value < 0) return nullptr;
        ++p;
        const bool oneDigit = last ? (*p == '\0' || IsSpace(*p)) : *p == '-';
        if (!oneDigit) {
            const int low = HexValue(*p);
            if (low < 0) return nullptr;
            value = value * 16 + low;
            ++p;
            if (!last && *p != '-') return nullptr;
        }
        out[group] = static_cast<std::uint8_t>(value);
        if (!last) ++p;  // past the '-'
    }
    return p;
}

}  // namespace

std::uint8_t* ParseMac(const char* text, std::uint8_t* out) {
    return ParseMacGroups(text, out) != nullptr ? out : nullptr;
}

std::uint32_t ConfigCrc(const std::uint8_t* block) {
    return Crc32(block + kIpAddressOffset, kConfigBlockSize - kIpAddressOffset);
}

void BuildConfigBlock(const char* ipText, const char* macText, const char* nicknameText,
                      std::uint8_t* block) {
    std::memset(block, 0xFF, kConfigBlockSize);

    // inet_addr gives network order; the block holds the host-order value, little-endian.
    os::store_le32(block + kIpAddressOffset, os::ntoh32(os::InetAddr(ipText)));

    ParseMac(macText, block + kServerMacOffset);  // a partial MAC is kept as it stands

    // At most 63 characters, so the nickname is always NUL-terminated on the board.
    std::memset(block + kNicknameOffset, 0, kNicknameSize);
    const std::size_t nicknameLength = strnlen(nicknameText, kNicknameSize - 1);
    std::memcpy(block + kNicknameOffset, nicknameText, nicknameLength);

    os::store_le32(block + kCrcOffset, ConfigCrc(block));
}

std::string CutField(std::string_view text, std::size_t limit) {
    return std::string(text.substr(0, limit));
}

std::optional<std::string> ConfigFieldProblem(std::string_view ipText, std::string_view macText) {
    const std::string ip(ipText);
    const auto address = ParseIpv4Text(ipText);
    if (!address) {
        return "The IP address \"" + ip +
               "\" is not valid. Enter four numbers from 0 to 255 separated by dots, with no "
               "leading zeros and nothing before or after, such as 10.9.9.9.";
    }
    if (*address == 0 || *address == os::kInaddrNone) {
        return "The IP address \"" + ip +
               "\" cannot be given to a board. Enter four numbers from 0 to 255 separated by "
               "dots, such as 10.9.9.9 (not 0.0.0.0 or 255.255.255.255).";
    }
    if (!macText.empty()) {
        // Whole, with nothing after it: the builder stops at a blank, the user would
        // not know which of the two texts the board got.
        const std::string mac(macText);
        std::uint8_t bytes[kMacSize];
        const char* end = ParseMacGroups(mac.c_str(), bytes);
        if (end != mac.c_str() + mac.size()) {
            return "The server MAC address \"" + mac +
                   "\" is not valid. Enter six pairs of hexadecimal digits separated by dashes, "
                   "such as 00-1B-2C-3D-4E-5F, or FF-FF-FF-FF-FF-FF (or nothing) for any "
                   "computer.";
        }
    }
    return std::nullopt;
}

}  // namespace app
