#include "tools/board-sim/LinkOptions.h"

#include <arpa/inet.h>

#include <charconv>
#include <cmath>

#include "ui/cli/ArgumentList.h"

namespace board_sim {

const char* const kLinkHelp =
    "Usage: board-sim link --server ADDR[:PORT] [OPTIONS]\n"
    "\n"
    "Simulates a board on the datagram link: sends a status datagram to the server\n"
    "every --status-ms, answers each server datagram at once with its acknowledgement,\n"
    "keeps every new message once and in order, and checks every header and message.\n"
    "Prints a JSON summary on standard output at exit.\n"
    "\n"
    "  --server ADDR[:PORT]     the server, a loopback address 127.x.x.x (port 5020)\n"
    "  --drop-rx P              drop each incoming datagram with probability P (0..1)\n"
    "  --drop-tx P              drop each outgoing datagram with probability P\n"
    "  --dup P                  send an outgoing datagram twice, and process an incoming\n"
    "                           one twice, each with probability P\n"
    "  --seed N                 seed of the fault generator (default 1)\n"
    "  --status-ms MS           status interval, 1..60000 (default 100)\n"
    "  --duration SECONDS       stop after this long, up to 86400 (default 60)\n"
    "  --exit-after-disconnect  stop 300 ms after accepting a disconnect message\n"
    "  --flash FILE             store each configuration block whose CRC holds in FILE\n"
    "  --record FILE            append each accepted message to FILE as a LE u32 length\n"
    "                           and the bytes\n"
    "  --silent                 never send anything (a board that does not answer)\n"
    "  --help                   show this text\n"
    "\n"
    "Stops on SIGINT or SIGTERM as well. Exit status 0, 1 when a socket or file failed,\n"
    "2 for a bad command line.\n";

namespace {

constexpr std::uint32_t kMaxStatusIntervalMs = 60'000;
constexpr double kMaxDurationSeconds = 86'400;
constexpr double kMsPerSecond = 1000;
constexpr std::uint8_t kLoopbackNetwork = 127;
constexpr int kFirstOctetShift = 24;

template <typename Number>
std::optional<Number> ParseWhole(const std::string& text) {
    Number value{};
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || stop != end) return std::nullopt;
    return value;
}

std::optional<double> ParseDecimal(const std::string& text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    if (text.empty() || error != std::errc{} || stop != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

bool ReadTiming(const cli::ArgumentList& args, LinkOptions& options, std::string& error) {
    if (const auto text = args.Value("--status-ms")) {
        const auto value = ParseWhole<std::uint32_t>(*text);
        if (!value || *value == 0 || *value > kMaxStatusIntervalMs) {
            error = "--status-ms needs a whole number of milliseconds from 1 to 60000";
            return false;
        }
        options.statusIntervalMs = *value;
    }
    if (const auto text = args.Value("--duration")) {
        const auto value = ParseDecimal(*text);
        if (!value || *value <= 0.0 || *value > kMaxDurationSeconds) {
            error = "--duration needs a number of seconds above 0 and at most 86400";
            return false;
        }
        options.durationMs = static_cast<std::uint32_t>(std::ceil(*value * kMsPerSecond));
    }
    return true;
}

bool ReadFaults(const cli::ArgumentList& args, LinkOptions& options, std::string& error) {
    if (!ReadProbability(args, "--drop-rx", options.faultRates.dropIncoming, error) ||
        !ReadProbability(args, "--drop-tx", options.faultRates.dropOutgoing, error) ||
        !ReadProbability(args, "--dup", options.faultRates.duplicate, error)) {
        return false;
    }
    if (const auto text = args.Value("--seed")) {
        const auto value = ParseWhole<std::uint64_t>(*text);
        if (!value) {
            error = "--seed needs a whole number from 0 to 18446744073709551615";
            return false;
        }
        options.seed = *value;
    }
    return true;
}

}  // namespace

bool ReadProbability(const cli::ArgumentList& args, const char* flag, double& out,
                     std::string& error) {
    const auto text = args.Value(flag);
    if (!text) return true;
    const auto value = ParseDecimal(*text);
    if (!value || *value < 0.0 || *value > 1.0) {
        error = std::string(flag) + " needs a probability from 0 to 1, not '" + *text + "'";
        return false;
    }
    out = *value;
    return true;
}

std::optional<LinkOptions> ParseServer(const std::string& text, LinkOptions options,
                                       std::string& error) {
    const std::size_t colon = text.find(':');
    const std::string address = text.substr(0, colon);
    if (colon != std::string::npos) {
        const auto port = ParseWhole<std::uint16_t>(text.substr(colon + 1));
        if (!port || *port == 0) {
            error = "--server '" + text + "': the port must be a number from 1 to 65535";
            return std::nullopt;
        }
        options.serverPort = *port;
    }
    in_addr parsed{};
    if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) {
        error = "--server '" + text + "': the address must be a dotted IPv4 address";
        return std::nullopt;
    }
    const std::uint8_t firstOctet =
        static_cast<std::uint8_t>(ntohl(parsed.s_addr) >> kFirstOctetShift);
    if (firstOctet != kLoopbackNetwork) {
        error = "--server '" + text +
                "': the link mode talks only to a loopback address (127.x.x.x); traffic to "
                "any other address must not leave this machine";
        return std::nullopt;
    }
    options.serverAddressNetworkOrder = parsed.s_addr;
    options.serverText = address + ':' + std::to_string(options.serverPort);
    return options;
}

std::optional<LinkOptions> ParseLinkOptions(const std::vector<std::string>& arguments,
                                            std::string& error) {
    const cli::ArgumentList args(arguments,
                                 {"--server", "--drop-rx", "--drop-tx", "--dup", "--seed",
                                  "--status-ms", "--duration", "--flash", "--record"},
                                 {"--exit-after-disconnect", "--silent", "--help"});
    if (!args.Error().empty()) {
        error = args.Error();
        return std::nullopt;
    }
    LinkOptions options;
    if (args.Has("--help")) {
        options.help = true;
        return options;
    }
    const auto server = args.Value("--server");
    if (!server) {
        error = "--server ADDR[:PORT] is required";
        return std::nullopt;
    }
    if (!ReadFaults(args, options, error) || !ReadTiming(args, options, error)) {
        return std::nullopt;
    }
    options.exitAfterDisconnect = args.Has("--exit-after-disconnect");
    options.silent = args.Has("--silent");
    options.flashPath = args.Value("--flash").value_or("");
    options.recordPath = args.Value("--record").value_or("");
    return ParseServer(*server, options, error);
}

}  // namespace board_sim
