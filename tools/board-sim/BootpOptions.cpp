#include "tools/board-sim/BootpOptions.h"

#include <charconv>
#include <cmath>

#include "ui/cli/ArgumentList.h"

namespace board_sim {

const char* const kBootpHelp =
    "Usage: board-sim bootp --interface IF [OPTIONS]\n"
    "\n"
    "Plays a board in BOOTP mode on interface IF, which has no address: broadcasts a\n"
    "300-byte request from 0.0.0.0:68 to 255.255.255.255:67 every --interval until a\n"
    "reply comes, checks the reply, and puts its yiaddr on IF. Prints a JSON summary on\n"
    "standard output. Runs only inside a network namespace of its own, since it\n"
    "broadcasts.\n"
    "\n"
    "  --interface IF       the board's interface (required)\n"
    "  --mac XX:XX:XX:XX:XX:XX  the board's hardware address (default: IF's own)\n"
    "  --attempts N         requests to send at most, 1..100 (default 5)\n"
    "  --interval SECONDS   between requests, 0.1..60 (default 3)\n"
    "  --duration SECONDS   give up after this long, up to 600 (default 30)\n"
    "  --help               show this text\n"
    "\n"
    "Exit status 0 with a checked reply and the address in place, 1 otherwise, 2 for a\n"
    "bad command line.\n";

namespace {

constexpr std::uint32_t kMaxAttempts = 100;
constexpr double kMinIntervalSeconds = 0.1;
constexpr double kMaxIntervalSeconds = 60;
constexpr double kMaxDurationSeconds = 600;
constexpr double kMsPerSecond = 1000;

std::optional<double> ParseSeconds(const std::string& text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    if (text.empty() || error != std::errc{} || stop != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::uint32_t Milliseconds(double seconds) {
    return static_cast<std::uint32_t>(std::ceil(seconds * kMsPerSecond));
}

bool ReadNumbers(const cli::ArgumentList& args, BootpOptions& options, std::string& error) {
    if (const auto text = args.Value("--attempts")) {
        std::uint32_t value = 0;
        const char* end = text->data() + text->size();
        const auto [stop, problem] = std::from_chars(text->data(), end, value);
        if (problem != std::errc{} || stop != end || value == 0 || value > kMaxAttempts) {
            error = "--attempts needs a whole number from 1 to 100";
            return false;
        }
        options.attempts = value;
    }
    if (const auto text = args.Value("--interval")) {
        const auto value = ParseSeconds(*text);
        if (!value || *value < kMinIntervalSeconds || *value > kMaxIntervalSeconds) {
            error = "--interval needs a number of seconds from 0.1 to 60";
            return false;
        }
        options.intervalMs = Milliseconds(*value);
    }
    if (const auto text = args.Value("--duration")) {
        const auto value = ParseSeconds(*text);
        if (!value || *value <= 0.0 || *value > kMaxDurationSeconds) {
            error = "--duration needs a number of seconds above 0 and at most 600";
            return false;
        }
        options.durationMs = Milliseconds(*value);
    }
    return true;
}

}  // namespace

std::optional<BootpOptions> ParseBootpOptions(const std::vector<std::string>& arguments,
                                              std::string& error) {
    const cli::ArgumentList args(
        arguments, {"--interface", "--mac", "--attempts", "--interval", "--duration"}, {"--help"});
    if (!args.Error().empty()) {
        error = args.Error();
        return std::nullopt;
    }
    BootpOptions options;
    if (args.Has("--help")) {
        options.help = true;
        return options;
    }
    const auto interfaceName = args.Value("--interface");
    if (!interfaceName || interfaceName->empty()) {
        error = "--interface IF is required";
        return std::nullopt;
    }
    options.interfaceName = *interfaceName;
    if (const auto text = args.Value("--mac")) {
        options.mac = ParseMac(*text);
        if (!options.mac) {
            error = "--mac needs six hex bytes separated by colons, not '" + *text + "'";
            return std::nullopt;
        }
    }
    if (!ReadNumbers(args, options, error)) return std::nullopt;
    return options;
}

}  // namespace board_sim
