// The command line, read with CLI11: the checks and options the modes share, and one
// mode's options parsed on their own (for the tests).
#pragma once

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace board_sim {

// The exit status for a command line that cannot be used.
constexpr int kUsageError = 2;

// `text` read whole as a T: decimal digits for a whole number, a finite decimal number
// without exponent otherwise; nothing for anything else.
template <typename T>
std::optional<T> ReadNumber(const std::string& text) {
    T value{};
    const char* end = text.data() + text.size();
    std::from_chars_result read{};
    if constexpr (std::is_floating_point_v<T>)
        read = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    else
        read = std::from_chars(text.data(), end, value);
    if (text.empty() || read.ec != std::errc{} || read.ptr != end) return std::nullopt;
    if constexpr (std::is_floating_point_v<T>) {
        if (!std::isfinite(value)) return std::nullopt;
    }
    return value;
}

// Refuses a value that does not read as a T for which `holds` is true, saying what
// the option needs.
template <typename T>
CLI::Validator Needs(std::function<bool(T)> holds, const std::string& need) {
    return CLI::Validator(
        [holds, need](std::string& text) {
            const std::optional<T> value = ReadNumber<T>(text);
            return value && holds(*value) ? std::string()
                                          : "needs " + need + ", not '" + text + "'";
        },
        std::string());
}

template <typename T>
CLI::Validator Between(T low, T high, const std::string& need) {
    return Needs<T>([low, high](T value) { return value >= low && value <= high; }, need);
}

// A mode's one-line description and the text after its options; a repeated option
// counts with its last value.
void BeginMode(CLI::App& app, const std::string& description, const std::string& footer);
// Fits the option descriptions of `app` and its modes into 80 columns.
void WrapHelp(CLI::App& app);
// A probability from 0 to 1, such as --drop-rx.
void AddProbability(CLI::App& app, const std::string& name, double& probability,
                    const std::string& description);
// --seed of the fault generator.
void AddSeed(CLI::App& app, std::uint64_t& seed);
// Seconds as a decimal number, kept as milliseconds rounded up.
void AddSeconds(CLI::App& app, const std::string& name, std::uint32_t& ms,
                std::function<bool(double)> holds, const std::string& need,
                const std::string& description);

struct ServerAddress {
    std::uint32_t addressNetworkOrder = 0;
    std::uint16_t port = 0;
    std::string text;  // "a.b.c.d:port"
};
// "ADDR[:PORT]" with ADDR a dotted IPv4 address; throws CLI::ValidationError saying
// what is wrong with it.
ServerAddress ReadServerAddress(const std::string& text, std::uint16_t defaultPort);
bool IsLoopbackAddress(std::uint32_t addressNetworkOrder);
// The same, with ADDR on the loopback network 127/8: the link and tftp modes send
// nowhere else (the link mode's --address aside). Throws CLI::ValidationError saying why not.
ServerAddress ReadLoopbackServer(const std::string& text, std::uint16_t defaultPort,
                                 const std::string& mode);
// A required --server read by ReadLoopbackServer and handed to `keep`.
void AddLoopbackServer(CLI::App& app, std::uint16_t defaultPort, const std::string& mode,
                       std::function<void(const ServerAddress&)> keep);
// The same, kept in the options' serverAddressNetworkOrder, serverPort and serverText.
template <typename Options>
void AddLoopbackServer(CLI::App& app, Options& options, std::uint16_t defaultPort,
                       const std::string& mode) {
    AddLoopbackServer(app, defaultPort, mode, [&options](const ServerAddress& server) {
        options.serverAddressNetworkOrder = server.addressNetworkOrder;
        options.serverPort = server.port;
        options.serverText = server.text;
    });
}

// One mode's `arguments` (after the mode's name) read with the options `add` defines:
// the options (with `help` set for --help), or nothing with `error` saying what is wrong.
template <typename Options>
std::optional<Options> ParseMode(std::vector<std::string> arguments,
                                 void (*add)(CLI::App&, Options&), std::string& error) {
    Options options;
    CLI::App app;
    add(app, options);
    std::reverse(arguments.begin(), arguments.end());  // CLI11 takes them from the back
    try {
        app.parse(arguments);
    } catch (const CLI::CallForHelp&) {
        options.help = true;
    } catch (const CLI::ParseError& failure) {
        error = failure.what();
        return std::nullopt;
    }
    return options;
}

}  // namespace board_sim
