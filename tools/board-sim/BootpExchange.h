// The board's half of BOOTP, without sockets: the 300-byte request it sends and the
// checks it makes of the reply. What a checked reply gives the board (its address,
// the server, the boot file and the image header) is kept in a BootpLease so that
// the TFTP and link steps can follow it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace board_sim {

constexpr std::size_t kBootpSize = 300;
constexpr std::size_t kMacSize = 6;
constexpr std::size_t kImageHeaderSize = 16;
constexpr std::uint16_t kBootpServerPort = 67;
constexpr std::uint16_t kBootpClientPort = 68;

using MacAddress = std::array<std::uint8_t, kMacSize>;
using ImageHeader = std::array<std::uint8_t, kImageHeaderSize>;

struct BootpLease {
    std::uint32_t yourAddressNetworkOrder = 0;    // yiaddr: the board's address
    std::uint32_t serverAddressNetworkOrder = 0;  // siaddr: where TFTP and the link go
    std::string bootFile;                         // the file to ask TFTP for
    ImageHeader imageHeader{};                    // the firmware image's first 16 bytes
};

struct ReplyCheck {
    bool ours = false;                  // a BOOTP reply to this board's transaction
    std::vector<std::string> failures;  // empty when every check held
    BootpLease lease;
};

class BootpExchange {
  public:
    BootpExchange(const MacAddress& mac, std::uint32_t transactionId,
                  const ImageHeader& expectedHeader);

    // op 1, htype 1, hlen 6, the transaction id, the MAC in chaddr, zero elsewhere.
    std::array<std::uint8_t, kBootpSize> Request() const;
    // Checks a UDP payload from the server: op 2, the transaction id, chaddr,
    // yiaddr and siaddr set, file "d:\a.bin", vendor bytes 264..267 zero and
    // 268..283 the image header. A payload of another transaction is not ours.
    ReplyCheck Check(std::span<const std::uint8_t> reply) const;

  private:
    MacAddress mac_;
    std::uint32_t transactionId_;
    ImageHeader expectedHeader_;
};

// "a.b.c.d" of an address in network order.
std::string DottedAddress(std::uint32_t addressNetworkOrder);
// "xx:xx:xx:xx:xx:xx", or nothing when the text is not one.
std::optional<MacAddress> ParseMac(const std::string& text);
std::string MacText(const MacAddress& mac);

}  // namespace board_sim
