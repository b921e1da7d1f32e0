// Hardware (MAC) addresses as the user writes them and as BOOTP carries them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace net {

constexpr int kEthernetAddressSize = 6;
using EthernetAddress = std::array<std::uint8_t, kEthernetAddressSize>;

// "02-00-00-00-0C-01": two upper-case hex digits per byte, joined by '-'.
std::string HardwareAddressText(const std::uint8_t* bytes, int length);

// The first one to six bytes of a hardware address, as "02-42-AC" or "02:42:ac" (two
// hex digits per byte, one kind of separator); nothing when the text is not one.
std::optional<std::vector<std::uint8_t>> ParseHardwarePrefix(const std::string& text);

// A whole Ethernet address in the same notation; nothing for a prefix or a bad text.
std::optional<EthernetAddress> ParseEthernetAddress(const std::string& text);

}  // namespace net
