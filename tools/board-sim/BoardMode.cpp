#include "tools/board-sim/BoardMode.h"

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "tools/board-sim/BootpMode.h"
#include "tools/board-sim/LinkMode.h"
#include "tools/board-sim/LinkOptions.h"
#include "tools/board-sim/TftpMode.h"
#include "tools/board-sim/TftpOptions.h"
#include "ui/cli/ArgumentList.h"

namespace board_sim {

const char* const kBoardHelp =
    "Usage: board-sim board --interface IF [--mac MAC] [--flash FILE]\n"
    "                       [--drop-rx P] [--drop-tx P] [--dup P] [--seed N]\n"
    "                       [--duration SECONDS] [--tftp-ack-delay-ms MS]\n"
    "                       [--tftp-delay SECONDS] [--link-faults-only]\n"
    "\n"
    "A whole board in BOOTP mode: BOOTP on IF, then TFTP from the server the reply\n"
    "names, then the datagram link to that server until the configurator disconnects.\n"
    "Prints one JSON summary line per stage. Only inside a network namespace whose\n"
    "only interfaces are lo and IF.\n"
    "\n"
    "  --interface IF      the board's interface (no address yet)\n"
    "  --mac MAC           the hardware address to ask with (default: IF's)\n"
    "  --flash FILE        store the configuration block whose CRC holds in FILE\n"
    "  --drop-rx P         drop incoming TFTP and link datagrams with probability P\n"
    "  --drop-tx P         drop outgoing TFTP and link datagrams with probability P\n"
    "  --dup P             duplicate link datagrams with probability P\n"
    "  --seed N            seed of the fault generator (default 1)\n"
    "  --duration SECONDS  limit of the TFTP and link stages together (default 120)\n"
    "  --tftp-ack-delay-ms MS  answer each TFTP block MS later (0 to 200), as a slow\n"
    "                      board would, so that the transfer can be watched\n"
    "  --tftp-delay SECONDS  wait this long after taking the address before asking for\n"
    "                      the firmware, as a slow board would (default 0)\n"
    "  --link-faults-only  inject the faults on the link only, not during TFTP\n";

namespace {

// A board that has its image starts it at once; the lingering after the last ACK (for
// a re-sent final block) is kept short so the link comes up as a real board's would.
constexpr std::uint32_t kBoardDallyMs = 100;
// Below the configurator's 250 ms transfer time-out, which would re-send every block.
constexpr std::uint32_t kMaxTftpAckDelayMs = 200;

const std::vector<std::string> kBootpFlags = {"--interface", "--mac", "--attempts", "--interval"};

std::string AddressText(std::uint32_t addressNetworkOrder, std::uint16_t port) {
    in_addr address{};
    address.s_addr = addressNetworkOrder;
    return std::string(inet_ntoa(address)) + ':' + std::to_string(port);
}

std::uint32_t RemainingMs(std::chrono::steady_clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    return static_cast<std::uint32_t>(std::max<std::int64_t>(left.count(), 1));
}

}  // namespace

std::optional<BoardOptions> ParseBoardOptions(const std::vector<std::string>& arguments,
                                              std::string& error) {
    const cli::ArgumentList args(
        arguments,
        {"--interface", "--mac", "--attempts", "--interval", "--flash", "--drop-rx", "--drop-tx",
         "--dup", "--seed", "--duration", "--tftp-ack-delay-ms", "--tftp-delay"},
        {"--help", "--link-faults-only"});
    if (!args.Error().empty()) {
        error = args.Error();
        return std::nullopt;
    }
    BoardOptions options;
    if (args.Has("--help")) {
        options.help = true;
        return options;
    }
    std::vector<std::string> bootpArguments;
    for (const std::string& flag : kBootpFlags) {
        if (const auto value = args.Value(flag))
            bootpArguments.insert(bootpArguments.end(), {flag, *value});
    }
    const auto bootp = ParseBootpOptions(bootpArguments, error);
    if (!bootp) return std::nullopt;
    options.bootp = *bootp;
    if (!ReadProbability(args, "--drop-rx", options.faultRates.dropIncoming, error) ||
        !ReadProbability(args, "--drop-tx", options.faultRates.dropOutgoing, error) ||
        !ReadProbability(args, "--dup", options.faultRates.duplicate, error))
        return std::nullopt;
    if (const auto seed = args.Value("--seed")) options.seed = std::stoull(*seed);
    if (const auto duration = args.Value("--duration")) {
        const double seconds = std::atof(duration->c_str());
        if (!(seconds > 0 && seconds <= 86400)) {
            error = "--duration takes seconds above 0, up to 86400";
            return std::nullopt;
        }
        options.durationMs = static_cast<std::uint32_t>(seconds * 1000);
    }
    if (const auto delay = args.Value("--tftp-ack-delay-ms")) {
        char* end = nullptr;
        const unsigned long ms = std::strtoul(delay->c_str(), &end, 10);
        if (delay->empty() || *end != '\0' || ms > kMaxTftpAckDelayMs) {
            error = "--tftp-ack-delay-ms takes a whole number of milliseconds from 0 to 200";
            return std::nullopt;
        }
        options.tftpAckDelayMs = static_cast<std::uint32_t>(ms);
    }
    if (const auto delay = args.Value("--tftp-delay")) {
        const double seconds = std::atof(delay->c_str());
        if (!(seconds >= 0 && seconds <= 60)) {
            error = "--tftp-delay takes seconds from 0 to 60";
            return std::nullopt;
        }
        options.tftpDelayMs = static_cast<std::uint32_t>(seconds * 1000);
    }
    options.faultsOnLinkOnly = args.Has("--link-faults-only");
    options.flashPath = args.Value("--flash").value_or("");
    return options;
}

int RunBoard(const BoardOptions& options, const std::atomic<bool>& stopRequested, std::FILE* out,
             std::FILE* err) {
    BootpMode bootp(options.bootp, out, err);
    if (bootp.Run(stopRequested) != 0 || !bootp.Lease()) return 1;
    const BootpLease& lease = *bootp.Lease();
    std::this_thread::sleep_for(std::chrono::milliseconds(options.tftpDelayMs));
    const auto end =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(options.durationMs);

    TftpOptions tftp;
    tftp.serverAddressNetworkOrder = lease.serverAddressNetworkOrder;
    tftp.serverText = AddressText(lease.serverAddressNetworkOrder, tftp.serverPort);
    tftp.localAddressNetworkOrder = lease.yourAddressNetworkOrder;
    tftp.fileName = lease.bootFile;
    std::copy(lease.imageHeader.begin(), lease.imageHeader.end(), tftp.header.begin());
    if (!options.faultsOnLinkOnly) {
        tftp.faultRates.dropIncoming = options.faultRates.dropIncoming;
        tftp.faultRates.dropOutgoing = options.faultRates.dropOutgoing;
    }
    tftp.seed = options.seed;
    tftp.dallyMs = kBoardDallyMs;
    tftp.ackDelayMs = options.tftpAckDelayMs;
    tftp.durationMs = RemainingMs(end);
    TftpMode firmware(tftp, out, err);
    if (firmware.Run(stopRequested) != 0) return 1;

    LinkOptions link;
    link.serverAddressNetworkOrder = lease.serverAddressNetworkOrder;
    link.serverText = AddressText(lease.serverAddressNetworkOrder, link.serverPort);
    link.localAddressNetworkOrder = lease.yourAddressNetworkOrder;
    link.faultRates = options.faultRates;
    link.seed = options.seed;
    link.flashPath = options.flashPath;
    link.exitAfterDisconnect = true;
    link.durationMs = RemainingMs(end);
    LinkMode running(link, out, err);
    return running.Run(stopRequested);
}

}  // namespace board_sim
