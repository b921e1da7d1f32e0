#include "tools/board-sim/BoardMode.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "tools/board-sim/AskingAgain.h"
#include "tools/board-sim/BootpMode.h"
#include "tools/board-sim/LinkMode.h"
#include "tools/board-sim/LinkOptions.h"
#include "tools/board-sim/PollLoop.h"
#include "tools/board-sim/TftpMode.h"
#include "tools/board-sim/TftpOptions.h"
#include "tools/board-sim/built_in_image.h"
#include "tools/board-sim/interface_address.h"
#include "tools/board-sim/json_line.h"
#include "ui/cli/ArgumentList.h"

namespace board_sim {

const char* const kBoardHelp =
    "Usage: board-sim board --interface IF [--mac MAC] [--flash FILE]\n"
    "                       [--drop-rx P] [--drop-tx P] [--dup P] [--seed N]\n"
    "                       [--duration SECONDS] [--tftp-ack-delay-ms MS]\n"
    "                       [--tftp-delay SECONDS] [--link-faults-only]\n"
    "                       [--boards N] [--pause SECONDS] [--ask-again K]\n"
    "                       [--ask-again-after SECONDS] [--image FILE]\n"
    "\n"
    "A whole board in BOOTP mode: BOOTP on IF, then TFTP from the server the reply\n"
    "names, then the datagram link to that server until the configurator disconnects.\n"
    "Prints one JSON summary line per stage, each naming the board (\"board\":K). Only\n"
    "inside a network namespace whose only interfaces are lo and IF.\n"
    "\n"
    "  --interface IF      the board's interface (no address yet)\n"
    "  --mac MAC           the hardware address to ask with (default: IF's)\n"
    "  --flash FILE        store the configuration block whose CRC holds in FILE\n"
    "                      (board K of several: FILE.K)\n"
    "  --drop-rx P         drop incoming TFTP and link datagrams with probability P\n"
    "  --drop-tx P         drop outgoing TFTP and link datagrams with probability P\n"
    "  --dup P             duplicate link datagrams with probability P\n"
    "  --seed N            seed of the fault generator (default 1)\n"
    "  --duration SECONDS  limit of the TFTP and link stages together, per board\n"
    "                      (default 120)\n"
    "  --tftp-ack-delay-ms MS  answer each TFTP block MS later (0 to 200), as a slow\n"
    "                      board would, so that the transfer can be watched\n"
    "  --tftp-delay SECONDS  wait this long after taking the address before asking for\n"
    "                      the firmware, as a slow board would (default 0)\n"
    "  --link-faults-only  inject the faults on the link only, not during TFTP\n"
    "  --boards N          play N boards (1 to 100) one after another, each starting\n"
    "                      when the one before was disconnected; board K asks with\n"
    "                      --mac's last octet plus K-1 (--mac is then required)\n"
    "  --pause SECONDS     between one board's end and the next one's start (0 to 60)\n"
    "  --ask-again K       once programmed, board K comes up again at the address it\n"
    "                      stored, jumper still fitted: while the next board is served\n"
    "                      it sends 5 BOOTP requests (one a second) and link status\n"
    "                      datagrams from that address, and fails the run if anything\n"
    "                      answers it (summary line \"mode\":\"ask-again\")\n"
    "  --ask-again-after SECONDS  how long that board takes to restart after its\n"
    "                      disconnect (0 to 10, default 1)\n"
    "  --image FILE        the firmware image the server serves instead of the built-in\n"
    "                      one: the reply must carry its first 16 bytes, and what TFTP\n"
    "                      loads is compared with its bytes 28 to the end\n"
    "\n"
    "Exit status 0 when every board was programmed (and a board asking again got no\n"
    "answer), 1 otherwise, 2 for a bad command line.\n";

namespace {

// A board that has its image starts it at once; the lingering after the last ACK (for
// a re-sent final block) is kept short so the link comes up as a real board's would.
constexpr std::uint32_t kBoardDallyMs = 100;
// Below the configurator's 250 ms transfer time-out, which would re-send every block.
constexpr std::uint32_t kMaxTftpAckDelayMs = 200;
constexpr std::uint32_t kMaxPauseSeconds = 60;
constexpr std::uint32_t kMaxTftpDelaySeconds = 60;
constexpr std::uint32_t kMaxRestartSeconds = 10;
constexpr std::size_t kReadChunk = 65536;

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

std::optional<std::uint32_t> ParseCount(const std::string& text) {
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, problem] = std::from_chars(text.data(), end, value);
    if (text.empty() || problem != std::errc{} || stop != end) return std::nullopt;
    return value;
}

// Seconds from 0 to `maxSeconds`, as a decimal number.
bool ReadSeconds(const cli::ArgumentList& args, const char* flag, std::uint32_t maxSeconds,
                 std::uint32_t& outMs, std::string& error) {
    const auto text = args.Value(flag);
    if (!text) return true;
    double seconds = -1;
    const char* end = text->data() + text->size();
    const auto [stop, problem] =
        std::from_chars(text->data(), end, seconds, std::chars_format::fixed);
    if (text->empty() || problem != std::errc{} || stop != end || !(seconds >= 0) ||
        seconds > maxSeconds) {
        error = std::string(flag) + " takes seconds from 0 to " + std::to_string(maxSeconds);
        return false;
    }
    outMs = static_cast<std::uint32_t>(seconds * 1000);
    return true;
}

// The whole file, or nothing when it cannot be opened or read (a directory included).
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                               &std::fclose);
    if (!file) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[kReadChunk];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    if (std::ferror(file.get())) return std::nullopt;
    return bytes;
}

bool ReadImage(const std::string& path, BoardOptions& options, std::string& error) {
    auto read = ReadWholeFile(path);
    if (!read) {
        error = "--image " + path + ": cannot be read";
        return false;
    }
    std::vector<std::uint8_t>& bytes = *read;
    if (bytes.size() < kImagePayloadOffset) {
        error = "--image " + path + ": shorter than the 28-byte image header";
        return false;
    }
    ImageHeader header{};
    std::copy_n(bytes.begin(), header.size(), header.begin());
    options.bootp.imageHeader = header;
    options.imagePath = path;
    options.image = std::move(bytes);
    return true;
}

bool ReadRun(const cli::ArgumentList& args, BoardOptions& options, std::string& error) {
    if (const auto text = args.Value("--boards")) {
        const auto count = ParseCount(*text);
        if (!count || *count == 0 || *count > kMaxBoards) {
            error = "--boards takes a whole number from 1 to 100";
            return false;
        }
        options.boards = *count;
    }
    if (options.boards > 1 && !options.bootp.mac) {
        error = "--boards above 1 needs --mac, the first board's hardware address";
        return false;
    }
    if (options.bootp.mac && (*options.bootp.mac)[kMacSize - 1] + options.boards - 1 > 0xFF) {
        error = "--mac's last octet plus --boards less one must stay within ff";
        return false;
    }
    if (const auto text = args.Value("--ask-again")) {
        const auto board = ParseCount(*text);
        if (!board || *board == 0 || *board > options.boards) {
            error = "--ask-again takes a board number from 1 to --boards";
            return false;
        }
        options.askAgain = *board;
    }
    if (!ReadSeconds(args, "--pause", kMaxPauseSeconds, options.pauseMs, error) ||
        !ReadSeconds(args, "--ask-again-after", kMaxRestartSeconds, options.askAgainAfterMs, error))
        return false;
    if (const auto path = args.Value("--image")) return ReadImage(*path, options, error);
    return true;
}

// What one board of the run ended with.
struct BoardResult {
    std::optional<BootpLease> lease;  // none: BOOTP gave it nothing, so nobody serves
    std::optional<ConfigBlock> storedBlock;
    bool programmed = false;
};

void PrintLine(std::FILE* out, const std::string& json) {
    std::fprintf(out, "%s\n", json.c_str());
    std::fflush(out);
}

std::string WithMember(const std::string& json, const std::string& key, bool value) {
    Json summary = Json::parse(json);
    summary[key] = value;
    return JsonLine(summary);
}

// An interruptible wait: between boards, or before a slow board asks for its firmware.
void Pause(std::uint32_t ms, const std::atomic<bool>& stopRequested) {
    PollLoop(stopRequested).SleepUntil(PollLoop::Clock::now() + std::chrono::milliseconds(ms));
}

class OneBoard {
  public:
    OneBoard(const BoardOptions& options, std::uint32_t board, std::FILE* out, std::FILE* err)
        : options_(options), board_(board), out_(out), err_(err) {}

    BoardResult Play(const std::atomic<bool>& stopRequested) {
        BootpOptions bootpOptions = options_.bootp;
        if (bootpOptions.mac) bootpOptions.mac = MacOfBoard(*bootpOptions.mac, board_);
        BootpMode bootp(bootpOptions, out_, err_);
        const bool leased = bootp.Obtain(stopRequested);
        PrintLine(out_, WithBoardNumber(bootp.SummaryJson(), board_));
        if (!leased || !bootp.Lease()) return result_;
        result_.lease = bootp.Lease();
        Pause(options_.tftpDelayMs, stopRequested);
        end_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(options_.durationMs);
        result_.programmed = LoadFirmware(stopRequested) && RunLink(stopRequested);
        return result_;
    }

  private:
    bool LoadFirmware(const std::atomic<bool>& stopRequested) {
        const BootpLease& lease = *result_.lease;
        TftpOptions tftp;
        tftp.serverAddressNetworkOrder = lease.serverAddressNetworkOrder;
        tftp.serverText = AddressText(lease.serverAddressNetworkOrder, tftp.serverPort);
        tftp.localAddressNetworkOrder = lease.yourAddressNetworkOrder;
        tftp.fileName = lease.bootFile;
        std::copy(lease.imageHeader.begin(), lease.imageHeader.end(), tftp.header.begin());
        if (!options_.faultsOnLinkOnly) {
            tftp.faultRates.dropIncoming = options_.faultRates.dropIncoming;
            tftp.faultRates.dropOutgoing = options_.faultRates.dropOutgoing;
        }
        tftp.seed = options_.seed;
        tftp.dallyMs = kBoardDallyMs;
        tftp.ackDelayMs = options_.tftpAckDelayMs;
        tftp.durationMs = RemainingMs(end_);
        TftpMode firmware(tftp, out_, err_);
        if (!firmware.Open()) return false;
        bool loaded = firmware.Transfer(stopRequested);
        std::string summary = WithBoardNumber(firmware.SummaryJson(), board_);
        if (!options_.image.empty()) {
            const auto& content = firmware.Client().Content();
            const bool same =
                std::equal(content.begin(), content.end(),
                           options_.image.begin() + kImagePayloadOffset, options_.image.end());
            summary = WithMember(summary, "image_matches", same);
            loaded = loaded && same;
        }
        PrintLine(out_, summary);
        return loaded;
    }

    bool RunLink(const std::atomic<bool>& stopRequested) {
        const BootpLease& lease = *result_.lease;
        LinkOptions link;
        link.serverAddressNetworkOrder = lease.serverAddressNetworkOrder;
        link.serverText = AddressText(lease.serverAddressNetworkOrder, link.serverPort);
        link.localAddressNetworkOrder = lease.yourAddressNetworkOrder;
        link.faultRates = options_.faultRates;
        link.seed = options_.seed;
        link.flashPath = FlashPathOfBoard(options_.flashPath, board_, options_.boards);
        link.exitAfterDisconnect = true;
        link.durationMs = RemainingMs(end_);
        LinkMode running(link, out_, err_);
        if (!running.Open()) return false;
        const int status = running.Serve(stopRequested);
        PrintLine(out_, WithBoardNumber(running.SummaryJson(), board_));
        result_.storedBlock = running.StoredBlocks().LastBlock();
        const LinkCounters& counters = running.Counters();
        return status == 0 && result_.storedBlock && counters.lastConfigCrcOk.value_or(false) &&
               counters.messagesByKind[static_cast<std::size_t>(MessageKind::kDisconnect)] > 0;
    }

    const BoardOptions& options_;
    std::uint32_t board_;
    std::FILE* out_;
    std::FILE* err_;
    std::chrono::steady_clock::time_point end_;
    BoardResult result_;
};

// Board K, done, comes up again beside the next board; nothing when it has no block.
std::unique_ptr<AskingAgain> StartAskingAgain(const BoardOptions& options,
                                              const BoardResult& result,
                                              const std::atomic<bool>& stopRequested,
                                              std::FILE* err) {
    if (!result.lease || !result.storedBlock) {
        std::fprintf(err, "board-sim board: board %u stored no block, so it cannot ask again\n",
                     static_cast<unsigned>(options.askAgain));
        return nullptr;
    }
    AskAgainPlan plan;
    plan.board = static_cast<int>(options.askAgain);
    plan.restartMs = options.askAgainAfterMs;
    plan.interfaceName = options.bootp.interfaceName;
    plan.mac = MacOfBoard(options.bootp.mac.value_or(MacAddress{}), options.askAgain);
    plan.configuredAddressNetworkOrder = ConfiguredAddress(*result.storedBlock);
    plan.serverAddressNetworkOrder = result.lease->serverAddressNetworkOrder;
    plan.imageHeader = result.lease->imageHeader;
    plan.flashPath = FlashPathOfBoard(options.flashPath, options.askAgain, options.boards);
    auto asking = std::make_unique<AskingAgain>(plan, err);
    asking->Start(stopRequested);
    return asking;
}

// The board is switched off: the next one takes the interface, and maybe the address.
void PowerOff(const BoardOptions& options, const BoardResult& result, std::FILE* err) {
    std::string error;
    if (result.lease && !RemoveInterfaceAddress(options.bootp.interfaceName,
                                                result.lease->yourAddressNetworkOrder, error))
        std::fprintf(err, "board-sim board: %s\n", error.c_str());
}

}  // namespace

MacAddress MacOfBoard(const MacAddress& base, std::uint32_t board) {
    MacAddress mac = base;
    mac[kMacSize - 1] = static_cast<std::uint8_t>(mac[kMacSize - 1] + board - 1);
    return mac;
}

std::string FlashPathOfBoard(const std::string& path, std::uint32_t board, std::uint32_t boards) {
    if (path.empty() || boards == 1) return path;
    return path + '.' + std::to_string(board);
}

std::string WithBoardNumber(const std::string& json, std::uint32_t board) {
    const Json summary = Json::parse(json);
    Json numbered;
    for (const auto& member : summary.items()) {
        numbered[member.key()] = member.value();
        if (member.key() == "mode") numbered["board"] = board;
    }
    return JsonLine(numbered);
}

std::optional<BoardOptions> ParseBoardOptions(const std::vector<std::string>& arguments,
                                              std::string& error) {
    const cli::ArgumentList args(
        arguments,
        {"--interface", "--mac", "--attempts", "--interval", "--flash", "--drop-rx", "--drop-tx",
         "--dup", "--seed", "--duration", "--tftp-ack-delay-ms", "--tftp-delay", "--boards",
         "--pause", "--ask-again", "--ask-again-after", "--image"},
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
    if (!ReadSeconds(args, "--tftp-delay", kMaxTftpDelaySeconds, options.tftpDelayMs, error) ||
        !ReadRun(args, options, error))
        return std::nullopt;
    options.faultsOnLinkOnly = args.Has("--link-faults-only");
    options.flashPath = args.Value("--flash").value_or("");
    return options;
}

int RunBoard(const BoardOptions& options, const std::atomic<bool>& stopRequested, std::FILE* out,
             std::FILE* err) {
    std::string error;
    if (options.askAgain != 0 && !PromoteSecondaryAddresses(options.bootp.interfaceName, error)) {
        std::fprintf(err, "board-sim board: %s\n", error.c_str());
        return 1;
    }
    const bool poweredOffBetween = options.boards > 1 || options.askAgain != 0;
    std::unique_ptr<AskingAgain> asking;
    bool allProgrammed = true;
    std::uint32_t played = 0;
    for (std::uint32_t board = 1; board <= options.boards && !stopRequested.load(); ++board) {
        if (board > 1) Pause(options.pauseMs, stopRequested);
        const BoardResult result = OneBoard(options, board, out, err).Play(stopRequested);
        ++played;
        allProgrammed = allProgrammed && result.programmed;
        if (poweredOffBetween) PowerOff(options, result, err);
        if (board == options.askAgain) {
            asking = StartAskingAgain(options, result, stopRequested, err);
            allProgrammed = allProgrammed && asking != nullptr;
        }
        // No reply at all: nobody is serving, and the next board would wait in vain.
        if (!result.lease) break;
    }
    if (asking) {
        asking->Finish();
        PrintLine(out, asking->SummaryJson());
        allProgrammed = allProgrammed && asking->Unanswered();
    }
    return allProgrammed && played == options.boards ? 0 : 1;
}

}  // namespace board_sim
