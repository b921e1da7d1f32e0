#include "tools/board-sim/LinkOptions.h"

#include "tools/board-sim/CommandLine.h"

namespace board_sim {

void AddLinkOptions(CLI::App& app, LinkOptions& options) {
    BeginMode(app, "the datagram link: acknowledges, checks, records",
              "Simulates a board on the datagram link: sends a status datagram to the server\n"
              "every --status-ms, answers each server datagram at once with its\n"
              "acknowledgement, keeps every new message once and in order, and checks every\n"
              "header and message.\n"
              "Prints a JSON summary on standard output at exit. Stops on SIGINT or SIGTERM as\n"
              "well. Exit status 0, 1 when a socket or file failed, 2 for a bad command line.");
    AddLoopbackServer(app, options, kDefaultServerPort, "link");
    AddProbability(app, "--drop-rx", options.faultRates.dropIncoming,
                   "drop each incoming datagram with probability P (0..1)");
    AddProbability(app, "--drop-tx", options.faultRates.dropOutgoing,
                   "drop each outgoing datagram with probability P");
    AddProbability(app, "--dup", options.faultRates.duplicate,
                   "send an outgoing datagram twice, and process an incoming one twice, each "
                   "with probability P");
    AddSeed(app, options.seed);
    app.add_option("--status-ms", options.statusIntervalMs,
                   "status interval, 1..60000 (default 100)")
        ->type_name("MS")
        ->check(
            Between<std::uint32_t>(1, 60'000, "a whole number of milliseconds from 1 to 60000"));
    AddSeconds(
        app, "--duration", options.durationMs, [](double s) { return s > 0 && s <= 86'400; },
        "a number of seconds above 0 and at most 86400",
        "stop after this long, up to 86400 (default 60)");
    app.add_flag("--exit-after-disconnect", options.exitAfterDisconnect,
                 "stop 300 ms after accepting a disconnect message");
    app.add_option("--flash", options.flashPath,
                   "store each configuration block whose CRC holds in FILE")
        ->type_name("FILE");
    app.add_option("--record", options.recordPath,
                   "append each accepted message to FILE as a LE u32 length and the bytes")
        ->type_name("FILE");
    app.add_flag("--silent", options.silent, "never send anything (a board that does not answer)");
}

std::optional<LinkOptions> ParseLinkOptions(const std::vector<std::string>& arguments,
                                            std::string& error) {
    return ParseMode(arguments, &AddLinkOptions, error);
}

}  // namespace board_sim
