#include "tools/board-sim/BootpOptions.h"

#include "tools/board-sim/CommandLine.h"

namespace board_sim {

void AddBootpRequestOptions(CLI::App& app, BootpOptions& options) {
    app.add_option("--interface", options.interfaceName,
                   "the board's interface, which has no address yet")
        ->type_name("IF")
        ->required()
        ->check(CLI::Validator(
            [](std::string& text) { return text.empty() ? "needs an interface's name" : ""; },
            std::string()));
    app.add_option_function<std::string>(
           "--mac", [&options](const std::string& text) { options.mac = ParseMac(text); },
           "the board's hardware address (default: IF's own)")
        ->type_name("XX:XX:XX:XX:XX:XX")
        ->check(CLI::Validator(
            [](std::string& text) {
                return ParseMac(text)
                           ? std::string()
                           : "needs six hex bytes separated by colons, not '" + text + "'";
            },
            std::string()));
    app.add_option("--attempts", options.attempts, "requests to send at most, 1..100 (default 5)")
        ->type_name("N")
        ->check(Between<std::uint32_t>(1, 100, "a whole number from 1 to 100"));
    AddSeconds(
        app, "--interval", options.intervalMs, [](double s) { return s >= 0.1 && s <= 60; },
        "a number of seconds from 0.1 to 60", "between requests, 0.1..60 (default 3)");
}

void AddBootpOptions(CLI::App& app, BootpOptions& options) {
    BeginMode(app, "asks BOOTP for an address, checks the reply, takes it",
              "Plays a board in BOOTP mode on interface IF, which has no address: broadcasts a\n"
              "300-byte request from 0.0.0.0:68 to 255.255.255.255:67 every --interval until a\n"
              "reply comes, checks the reply, and puts its yiaddr on IF. Prints a JSON summary on\n"
              "standard output. Runs only inside a network namespace of its own, since it\n"
              "broadcasts. Exit status 0 with a checked reply and the address in place, 1\n"
              "otherwise, 2 for a bad command line.");
    AddBootpRequestOptions(app, options);
    AddSeconds(
        app, "--duration", options.durationMs, [](double s) { return s > 0 && s <= 600; },
        "a number of seconds above 0 and at most 600",
        "give up after this long, up to 600 (default 30)");
}

}  // namespace board_sim
