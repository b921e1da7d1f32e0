#include "tools/board-sim/TftpOptions.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "tools/board-sim/LinkOptions.h"
#include "tools/board-sim/built_in_image.h"
#include "ui/cli/ArgumentList.h"

namespace board_sim {

const char* const kTftpHelp =
    "Usage: board-sim tftp --server ADDR[:PORT] [OPTIONS]\n"
    "\n"
    "Simulates a board loading its firmware image: sends a TFTP read request, answers\n"
    "every DATA block with its ACK and checks the file's length and CRC-32 against the\n"
    "image header that BOOTP would have given it. Prints a JSON summary on standard\n"
    "output at exit.\n"
    "\n"
    "  --server ADDR[:PORT]  the server, a loopback address 127.x.x.x (port 69)\n"
    "  --file NAME           the file to ask for (default d:\\a.bin)\n"
    "  --header-hex HEX      the image's first 16 bytes as 32 hex digits (default: the\n"
    "                        built-in image's)\n"
    "  --drop-rx P           drop each incoming datagram with probability P (0..1)\n"
    "  --drop-tx P           drop each outgoing datagram with probability P\n"
    "  --seed N              seed of the fault generator (default 1)\n"
    "  --error-at-block N    answer DATA block N with an ERROR packet and stop\n"
    "  --retry-ms MS         repeat the request, or the last ACK, when nothing came for\n"
    "                        this long (500)\n"
    "  --dally-ms MS         after the last ACK, stay this long to answer a re-sent\n"
    "                        last block (1000)\n"
    "  --duration SECONDS    give up after this long (default 30)\n"
    "  --help                show this text\n"
    "\n"
    "Exit status 0 when the file arrived whole with the right CRC, 1 otherwise, 2 for\n"
    "a bad command line.\n";

namespace {

constexpr std::uint32_t kMaxMs = 600'000;
constexpr int kHexBase = 16;
constexpr std::size_t kHexDigitsPerByte = 2;

template <typename Number>
std::optional<Number> ParseWhole(const std::string& text, int base = 10) {
    Number value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || error != std::errc{} || stop != end) return std::nullopt;
    return value;
}

bool ReadMs(const cli::ArgumentList& args, const char* flag, std::uint32_t& out,
            std::string& error) {
    const auto text = args.Value(flag);
    if (!text) return true;
    const auto value = ParseWhole<std::uint32_t>(*text);
    if (!value || *value == 0 || *value > kMaxMs) {
        error = std::string(flag) + " needs a whole number of milliseconds from 1 to 600000";
        return false;
    }
    out = *value;
    return true;
}

bool ReadHeader(const cli::ArgumentList& args, TftpOptions& options, std::string& error) {
    const auto text = args.Value("--header-hex");
    if (!text) {
        options.header = BuiltInImageHeader();
        return true;
    }
    if (text->size() != kImageHeaderSize * kHexDigitsPerByte) {
        error = "--header-hex needs exactly 32 hex digits (16 bytes)";
        return false;
    }
    for (std::size_t i = 0; i < kImageHeaderSize; ++i) {
        const auto byte = ParseWhole<std::uint8_t>(
            text->substr(i * kHexDigitsPerByte, kHexDigitsPerByte), kHexBase);
        if (!byte) {
            error = "--header-hex '" + *text + "' is not hexadecimal";
            return false;
        }
        options.header[i] = *byte;
    }
    return true;
}

bool ReadNumbers(const cli::ArgumentList& args, TftpOptions& options, std::string& error) {
    if (const auto text = args.Value("--seed")) {
        const auto value = ParseWhole<std::uint64_t>(*text);
        if (!value) {
            error = "--seed needs a whole number";
            return false;
        }
        options.seed = *value;
    }
    if (const auto text = args.Value("--error-at-block")) {
        const auto value = ParseWhole<std::uint16_t>(*text);
        if (!value || *value == 0) {
            error = "--error-at-block needs a block number from 1 to 65535";
            return false;
        }
        options.errorAtBlock = *value;
    }
    if (const auto text = args.Value("--duration")) {
        const auto value = ParseWhole<std::uint32_t>(*text);
        if (!value || *value == 0 || *value > kMaxMs / 1000) {
            error = "--duration needs a whole number of seconds from 1 to 600";
            return false;
        }
        options.durationMs = *value * 1000;
    }
    return ReadMs(args, "--retry-ms", options.retryMs, error) &&
           ReadMs(args, "--dally-ms", options.dallyMs, error);
}

}  // namespace

std::optional<TftpOptions> ParseTftpOptions(const std::vector<std::string>& arguments,
                                            std::string& error) {
    const cli::ArgumentList args(
        arguments,
        {"--server", "--file", "--header-hex", "--drop-rx", "--drop-tx", "--seed",
         "--error-at-block", "--retry-ms", "--dally-ms", "--duration"},
        {"--help"});
    if (!args.Error().empty()) {
        error = args.Error();
        return std::nullopt;
    }
    TftpOptions options;
    if (args.Has("--help")) {
        options.help = true;
        return options;
    }
    const auto server = args.Value("--server");
    if (!server) {
        error = "--server ADDR[:PORT] is required";
        return std::nullopt;
    }
    if (!ReadProbability(args, "--drop-rx", options.faultRates.dropIncoming, error) ||
        !ReadProbability(args, "--drop-tx", options.faultRates.dropOutgoing, error) ||
        !ReadNumbers(args, options, error) || !ReadHeader(args, options, error))
        return std::nullopt;
    options.fileName = args.Value("--file").value_or(options.fileName);

    // The same loopback-only address check as the link mode, with TFTP's port.
    LinkOptions link;
    link.serverPort = kDefaultTftpPort;
    const auto parsed = ParseServer(*server, link, error);
    if (!parsed) {
        const std::string linkMode = "the link mode";
        if (const auto at = error.find(linkMode); at != std::string::npos)
            error.replace(at, linkMode.size(), "the tftp mode");
        return std::nullopt;
    }
    options.serverAddressNetworkOrder = parsed->serverAddressNetworkOrder;
    options.serverPort = parsed->serverPort;
    options.serverText = parsed->serverText;
    return options;
}

}  // namespace board_sim
