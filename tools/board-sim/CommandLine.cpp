#include "tools/board-sim/CommandLine.h"

#include <arpa/inet.h>

#include <sstream>

namespace board_sim {
namespace {

constexpr double kMsPerSecond = 1000;
constexpr std::uint8_t kLoopbackNetwork = 127;
constexpr int kFirstOctetShift = 24;
constexpr std::size_t kHelpWidth = 80;
constexpr std::size_t kNameColumn = 26;  // the option names, then their descriptions

// `text` broken at spaces into lines that fit beside the option names.
std::string Wrapped(const std::string& text) {
    std::istringstream words(text);
    std::string wrapped;
    std::size_t lineLength = 0;
    for (std::string word; words >> word; lineLength += word.size(), wrapped += word) {
        if (lineLength == 0) continue;
        const bool fits = lineLength + 1 + word.size() <= kHelpWidth - kNameColumn;
        wrapped += fits ? ' ' : '\n';
        lineLength = fits ? lineLength + 1 : 0;
    }
    return wrapped;
}

}  // namespace

void WrapHelp(CLI::App& app) {
    app.get_formatter()->column_width(kNameColumn);
    for (CLI::Option* option : app.get_options())
        option->description(Wrapped(option->get_description()));
    for (CLI::App* mode : app.get_subcommands([](CLI::App*) { return true; }))
        WrapHelp(*mode);
}

void BeginMode(CLI::App& app, const std::string& description, const std::string& footer) {
    app.description(description);
    app.footer(footer);
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

void AddProbability(CLI::App& app, const std::string& name, double& probability,
                    const std::string& description) {
    app.add_option(name, probability, description)
        ->type_name("P")
        ->check(Between(0.0, 1.0, "a probability from 0 to 1"));
}

void AddSeed(CLI::App& app, std::uint64_t& seed) {
    app.add_option("--seed", seed, "seed of the fault generator (default 1)")
        ->type_name("N")
        ->check(Needs<std::uint64_t>([](std::uint64_t) { return true; },
                                     "a whole number from 0 to 18446744073709551615"));
}

void AddSeconds(CLI::App& app, const std::string& name, std::uint32_t& ms,
                std::function<bool(double)> holds, const std::string& need,
                const std::string& description) {
    app.add_option_function<double>(
           name,
           [&ms](double seconds) {
               ms = static_cast<std::uint32_t>(std::ceil(seconds * kMsPerSecond));
           },
           description)
        ->type_name("SECONDS")
        ->check(Needs<double>(std::move(holds), need));
}

ServerAddress ReadServerAddress(const std::string& text, std::uint16_t defaultPort) {
    const auto refuse = [&text](const std::string& why) {
        return CLI::ValidationError("--server", "'" + text + "': " + why);
    };
    ServerAddress server;
    server.port = defaultPort;
    const std::size_t colon = text.find(':');
    const std::string address = text.substr(0, colon);
    if (colon != std::string::npos) {
        const auto port = ReadNumber<std::uint16_t>(text.substr(colon + 1));
        if (!port || *port == 0) throw refuse("the port must be a number from 1 to 65535");
        server.port = *port;
    }
    in_addr parsed{};
    if (inet_pton(AF_INET, address.c_str(), &parsed) != 1)
        throw refuse("the address must be a dotted IPv4 address");
    server.addressNetworkOrder = parsed.s_addr;
    server.text = address + ':' + std::to_string(server.port);
    return server;
}

bool IsLoopbackAddress(std::uint32_t addressNetworkOrder) {
    return ntohl(addressNetworkOrder) >> kFirstOctetShift == kLoopbackNetwork;
}

ServerAddress ReadLoopbackServer(const std::string& text, std::uint16_t defaultPort,
                                 const std::string& mode) {
    const ServerAddress server = ReadServerAddress(text, defaultPort);
    if (!IsLoopbackAddress(server.addressNetworkOrder)) {
        throw CLI::ValidationError(
            "--server", "'" + text + "': the " + mode +
                            " mode talks only to a loopback address (127.x.x.x); traffic to any "
                            "other address must not leave this machine");
    }
    return server;
}

void AddLoopbackServer(CLI::App& app, std::uint16_t defaultPort, const std::string& mode,
                       std::function<void(const ServerAddress&)> keep) {
    app.add_option_function<std::string>(
           "--server",
           [defaultPort, mode, keep = std::move(keep)](const std::string& text) {
               keep(ReadLoopbackServer(text, defaultPort, mode));
           },
           "the server, a loopback address 127.x.x.x (port " + std::to_string(defaultPort) + ")")
        ->type_name("ADDR[:PORT]")
        ->required();
}

}  // namespace board_sim
