#include "tools/board-sim/BootpExchange.h"

#include <cstdio>
#include <cstring>

#include "tools/board-sim/byte_fields.h"

namespace board_sim {
namespace {

// RFC 951 field offsets.
constexpr std::size_t kOpOffset = 0;
constexpr std::size_t kHtypeOffset = 1;
constexpr std::size_t kHlenOffset = 2;
constexpr std::size_t kXidOffset = 4;
constexpr std::size_t kYiaddrOffset = 16;
constexpr std::size_t kSiaddrOffset = 20;
constexpr std::size_t kChaddrOffset = 28;
constexpr std::size_t kFileOffset = 108;
constexpr std::size_t kFileSize = 128;
constexpr std::size_t kVendorZeroOffset = 264;
constexpr std::size_t kVendorZeroSize = 4;
constexpr std::size_t kVendorHeaderOffset = 268;
constexpr std::uint8_t kOpRequest = 1;
constexpr std::uint8_t kOpReply = 2;
constexpr std::uint8_t kHtypeEthernet = 1;
constexpr const char* kExpectedBootFile = "d:\\a.bin";

std::uint32_t LoadAddress(const std::uint8_t* field) {
    std::uint32_t address = 0;
    std::memcpy(&address, field, sizeof address);  // kept in network order
    return address;
}

}  // namespace

BootpExchange::BootpExchange(const MacAddress& mac, std::uint32_t transactionId,
                             const ImageHeader& expectedHeader)
    : mac_(mac), transactionId_(transactionId), expectedHeader_(expectedHeader) {}

std::array<std::uint8_t, kBootpSize> BootpExchange::Request() const {
    std::array<std::uint8_t, kBootpSize> request{};
    request[kOpOffset] = kOpRequest;
    request[kHtypeOffset] = kHtypeEthernet;
    request[kHlenOffset] = kMacSize;
    store_be32(&request[kXidOffset], transactionId_);
    std::memcpy(&request[kChaddrOffset], mac_.data(), mac_.size());
    return request;
}

ReplyCheck BootpExchange::Check(std::span<const std::uint8_t> reply) const {
    ReplyCheck check;
    if (reply.size() < kBootpSize || reply[kOpOffset] == kOpRequest ||
        load_be32(&reply[kXidOffset]) != transactionId_) {
        return check;
    }
    check.ours = true;
    auto require = [&check](bool holds, const char* what) {
        if (!holds) check.failures.emplace_back(what);
    };
    require(reply[kOpOffset] == kOpReply, "op is not 2");
    require(std::memcmp(&reply[kChaddrOffset], mac_.data(), mac_.size()) == 0,
            "chaddr is not the board's MAC");
    BootpLease& lease = check.lease;
    lease.yourAddressNetworkOrder = LoadAddress(&reply[kYiaddrOffset]);
    lease.serverAddressNetworkOrder = LoadAddress(&reply[kSiaddrOffset]);
    require(lease.yourAddressNetworkOrder != 0, "yiaddr is 0.0.0.0");
    require(lease.serverAddressNetworkOrder != 0, "siaddr is 0.0.0.0");
    const char* file = reinterpret_cast<const char*>(&reply[kFileOffset]);
    lease.bootFile.assign(file, strnlen(file, kFileSize));
    require(lease.bootFile == kExpectedBootFile, "file is not d:\\a.bin");
    bool zeros = true;
    for (std::size_t k = 0; k < kVendorZeroSize; ++k)
        zeros = zeros && reply[kVendorZeroOffset + k] == 0;
    require(zeros, "vendor bytes 264..267 are not zero");
    std::memcpy(lease.imageHeader.data(), &reply[kVendorHeaderOffset], kImageHeaderSize);
    require(lease.imageHeader == expectedHeader_,
            "vendor bytes 268..283 are not the image's first 16 bytes");
    return check;
}

std::string DottedAddress(std::uint32_t addressNetworkOrder) {
    std::uint8_t octets[sizeof addressNetworkOrder];
    std::memcpy(octets, &addressNetworkOrder, sizeof octets);
    return std::to_string(octets[0]) + '.' + std::to_string(octets[1]) + '.' +
           std::to_string(octets[2]) + '.' + std::to_string(octets[3]);
}

std::optional<MacAddress> ParseMac(const std::string& text) {
    MacAddress mac{};
    unsigned values[kMacSize] = {};
    char end = '\0';
    if (std::sscanf(text.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x%c", &values[0], &values[1], &values[2],
                    &values[3], &values[4], &values[5], &end) != static_cast<int>(kMacSize)) {
        return std::nullopt;
    }
    for (std::size_t k = 0; k < kMacSize; ++k)
        mac[k] = static_cast<std::uint8_t>(values[k]);
    return mac;
}

std::string MacText(const MacAddress& mac) {
    char text[3 * kMacSize] = "";
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2],
                  mac[3], mac[4], mac[5]);
    return text;
}

}  // namespace board_sim
