#include "tools/board-sim/LinkOptions.h"

#include <arpa/inet.h>

#include "tools/board-sim/CommandLine.h"

namespace board_sim {
namespace {

constexpr int kHostBits = 8;  // the board's network is a /24, as BOOTP's replies make it
constexpr std::uint32_t kHostMask = 0xFF;
constexpr std::uint32_t kLoopbackNetwork = 127;
constexpr std::uint32_t kFirstReservedNetwork = 224;  // multicast and above
constexpr int kFirstOctetShift = 24;

// An address a board's interface can hold: no loopback, "this network", multicast or
// reserved address, and neither the network's nor its broadcast address.
bool IsHostAddress(std::uint32_t hostOrder) {
    const std::uint32_t first = hostOrder >> kFirstOctetShift;
    const std::uint32_t host = hostOrder & kHostMask;
    return first != 0 && first != kLoopbackNetwork && first < kFirstReservedNetwork && host != 0 &&
           host != kHostMask;
}

// Another host of the board's own /24 network, which its interface reaches directly.
bool OnOwnNetwork(std::uint32_t serverNetworkOrder, std::uint32_t ownNetworkOrder) {
    const std::uint32_t server = ntohl(serverNetworkOrder);
    const std::uint32_t own = ntohl(ownNetworkOrder);
    return server >> kHostBits == own >> kHostBits && server != own && IsHostAddress(server);
}

void ReadOwnAddress(const std::string& text, LinkOptions& options) {
    in_addr parsed{};
    if (inet_pton(AF_INET, text.c_str(), &parsed) != 1 || !IsHostAddress(ntohl(parsed.s_addr)))
        throw CLI::ValidationError("--address", "'" + text +
                                                    "': needs a dotted IPv4 host address (not "
                                                    "loopback, multicast, .0 or .255)");
    options.localAddressNetworkOrder = parsed.s_addr;
}

// Only loopback, or with --address a host of the board's own network: nothing else can
// be reached from the namespace the board runs in.
void CheckServer(const LinkOptions& options) {
    if (IsLoopbackAddress(options.serverAddressNetworkOrder)) return;
    if (!options.interfaceName.empty() &&
        OnOwnNetwork(options.serverAddressNetworkOrder, options.localAddressNetworkOrder))
        return;
    throw CLI::ValidationError(
        "--server", "'" + options.serverText +
                        "': the link mode talks only to a loopback address (127.x.x.x), or with "
                        "--address to another host of that address's /24 network; traffic to "
                        "any other address must not leave this machine");
}

}  // namespace

void AddLinkOptions(CLI::App& app, LinkOptions& options) {
    BeginMode(app, "the datagram link: acknowledges, checks, records",
              "Simulates a board on the datagram link: sends a status datagram to the server\n"
              "every --status-ms, answers each server datagram at once with its\n"
              "acknowledgement, keeps every new message once and in order, and checks every\n"
              "header and message.\n"
              "Prints a JSON summary on standard output at exit. Stops on SIGINT or SIGTERM as\n"
              "well. Exit status 0, 1 when a socket, a file or the address failed, 2 for a bad\n"
              "command line.");
    app.add_option_function<std::string>(
           "--server",
           [&options](const std::string& text) {
               const ServerAddress server = ReadServerAddress(text, kDefaultServerPort);
               options.serverAddressNetworkOrder = server.addressNetworkOrder;
               options.serverPort = server.port;
               options.serverText = server.text;
           },
           "the server: a loopback address 127.x.x.x (port 5020), or with --address another "
           "host of that address's /24 network")
        ->type_name("ADDR[:PORT]")
        ->required();
    CLI::Option* const address =
        app.add_option_function<std::string>(
               "--address", [&options](const std::string& text) { ReadOwnAddress(text, options); },
               "a board that already runs its firmware at ADDR: ADDR/24 is put on --interface "
               "for the run and the datagrams go from there (only inside a network namespace "
               "whose interfaces are lo and IF)")
            ->type_name("ADDR");
    CLI::Option* const interfaceOption =
        app.add_option("--interface", options.interfaceName, "the interface --address goes on")
            ->type_name("IF");
    address->needs(interfaceOption);
    interfaceOption->needs(address);
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
    app.callback([&options] { CheckServer(options); });
}

std::optional<LinkOptions> ParseLinkOptions(const std::vector<std::string>& arguments,
                                            std::string& error) {
    return ParseMode(arguments, &AddLinkOptions, error);
}

}  // namespace board_sim
