// MAC and IP text parsing with the block build: three texts split from the input at
// zero bytes, read as the dialog reads them. Properties: the block keeps its fixed
// bytes and its CRC holds; a MAC text that parses gives bytes that print and parse
// back the same; the strict IP text is inet_addr's canonical text; the job's field
// check never passes what the parsers refuse.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/address_text.h"
#include "app/config_block.h"
#include "fuzz/FuzzReader.h"
#include "os/byte_order.h"
#include "os/inet_addr.h"

namespace {

std::string NextText(fuzz::FuzzReader& input) {
    std::string text;
    while (!input.Empty()) {
        const char c = static_cast<char>(input.U8());
        if (c == '\0') break;
        text.push_back(c);
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzReader input(data, size);
    const std::string ip = app::CutField(NextText(input), app::kIpTextLimit);
    const std::string mac = app::CutField(NextText(input), app::kMacTextLimit);
    const std::string nickname = app::CutField(NextText(input), app::kNicknameTextLimit);

    app::ConfigBlock block{};
    app::BuildConfigBlock(ip.c_str(), mac.c_str(), nickname.c_str(), block.data());
    FUZZ_CHECK(os::load_le32(block.data() + app::kCrcOffset) == app::ConfigCrc(block.data()));
    FUZZ_CHECK(block[14] == 0xFF && block[15] == 0xFF);
    for (std::size_t i = app::kNicknameOffset + app::kNicknameSize; i < block.size(); ++i)
        FUZZ_CHECK(block[i] == 0xFF);
    FUZZ_CHECK(std::memcmp(block.data() + app::kNicknameOffset, nickname.data(), nickname.size()) ==
               0);
    for (std::size_t i = app::kNicknameOffset + nickname.size();
         i < app::kNicknameOffset + app::kNicknameSize; ++i)
        FUZZ_CHECK(block[i] == 0);
    // The address the way the block stores it: the first number in the highest byte.
    const std::uint32_t address = os::InetAddr(ip.c_str());
    std::uint8_t octets[4];
    std::memcpy(octets, &address, sizeof octets);
    for (int k = 0; k < 4; ++k)
        FUZZ_CHECK(block[app::kIpAddressOffset + 3 - static_cast<std::size_t>(k)] == octets[k]);

    std::uint8_t parsed[app::kMacSize];
    std::memset(parsed, 0xFF, sizeof parsed);
    const bool macParses = app::ParseMac(mac.c_str(), parsed) != nullptr;
    if (macParses) {
        FUZZ_CHECK(std::memcmp(block.data() + app::kServerMacOffset, parsed, sizeof parsed) == 0);
        char printed[18];
        std::snprintf(printed, sizeof printed, "%02X-%02X-%02X-%02X-%02X-%02X", parsed[0],
                      parsed[1], parsed[2], parsed[3], parsed[4], parsed[5]);
        std::uint8_t again[app::kMacSize];
        FUZZ_CHECK(app::ParseMac(printed, again) != nullptr);
        FUZZ_CHECK(std::memcmp(again, parsed, sizeof again) == 0);
    }
    // The check asks more of both texts than the builder's parsers: the IP text must
    // be the canonical form of the address inet_addr makes of it, the MAC text whole.
    const auto strict = app::ParseIpv4Text(ip);
    if (strict) FUZZ_CHECK(*strict == address && app::Ipv4Text(address) == ip);
    const bool ipUsable = strict && address != os::kInaddrNone && address != 0;
    const bool problem = app::ConfigFieldProblem(ip, mac).has_value();
    if (!problem) FUZZ_CHECK(ipUsable && (mac.empty() || macParses));
    if (ipUsable && mac.empty()) FUZZ_CHECK(!problem);
    if (!ipUsable) FUZZ_CHECK(problem);
    return 0;
}
