// IPv4 address texts as a user types them, read strictly: four decimal numbers from
// 0 to 255 joined by dots, with no leading zeros and nothing before or after. The
// platform's inet_addr is lenient: it reads "010.9.9.21" as octal (8.9.9.21), fills
// "10.9.92" to 10.9.0.92 and stops at a blank, so a typing slip or a spreadsheet that
// pads octets would program a board with an address nobody meant.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace app {

// The address in network byte order, or nothing when the text is not one.
std::optional<std::uint32_t> ParseIpv4Text(std::string_view text);

// The dotted text of an address in network byte order ("10.9.9.21").
std::string Ipv4Text(std::uint32_t addressNetworkOrder);

}  // namespace app
