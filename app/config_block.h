// The 1024-byte board configuration block: the board's IP address, the MAC address
// of the one computer adapter it is locked to, and its nickname, under a CRC-32.
// Only bytes 0..255 travel to the board; bytes 80..1023 are always FF when built.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace app {

constexpr std::size_t kConfigBlockSize = 1024;
constexpr std::size_t kCrcOffset = 0;
constexpr std::size_t kIpAddressOffset = 4;
constexpr std::size_t kServerMacOffset = 8;
constexpr std::size_t kMacSize = 6;
constexpr std::size_t kNicknameOffset = 16;
constexpr std::size_t kNicknameSize = 64;

// How many characters of each field the dialog reads (its buffers less the NUL).
constexpr std::size_t kIpTextLimit = 15;
constexpr std::size_t kMacTextLimit = 17;
constexpr std::size_t kNicknameTextLimit = 63;

constexpr const char* kDefaultIpText = "10.9.9.9";
constexpr const char* kDefaultMacText = "FF-FF-FF-FF-FF-FF";
constexpr const char* kDefaultNicknameText = "New Ethernet Orvantis";

using ConfigBlock = std::array<std::uint8_t, kConfigBlockSize>;

// Fills `block` (1024 bytes). Reports nothing: an IP text that inet_addr rejects
// gives FF FF FF FF, a malformed MAC keeps the groups parsed before the fault.
void BuildConfigBlock(const char* ipText, const char* macText, const char* nicknameText,
                      std::uint8_t* block);

// Six groups of one or two hex digits separated by '-'. Returns `out`, or null on a
// malformed text; the groups completed before the fault stay written.
std::uint8_t* ParseMac(const char* text, std::uint8_t* out);

// CRC-32 of bytes 4..1023 of `block`.
std::uint32_t ConfigCrc(const std::uint8_t* block);

// `text` cut to at most `limit` characters, as a fixed-size edit buffer reads it.
std::string CutField(std::string_view text, std::size_t limit);

// Why the board could not use a block built from these texts, as a message for the
// user naming the field, the text and the form it takes; nothing when both are
// usable. The texts are checked whole, as typed: an IP address as ParseIpv4Text reads
// it (neither 0.0.0.0 nor 255.255.255.255), a MAC address as ParseMac reads it with
// nothing after it. An empty MAC text is usable: it means any computer.
std::optional<std::string> ConfigFieldProblem(std::string_view ipText, std::string_view macText);

}  // namespace app
