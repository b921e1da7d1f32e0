#include "tools/board-sim/BoardMode.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

#include "tools/board-sim/AskingAgain.h"
#include "tools/board-sim/BootpMode.h"
#include "tools/board-sim/CommandLine.h"
#include "tools/board-sim/LinkMode.h"
#include "tools/board-sim/LinkOptions.h"
#include "tools/board-sim/PollLoop.h"
#include "tools/board-sim/TftpMode.h"
#include "tools/board-sim/TftpOptions.h"
#include "tools/board-sim/built_in_image.h"
#include "tools/board-sim/interface_address.h"
#include "tools/board-sim/json_line.h"

namespace board_sim {

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

std::uint32_t RemainingMs(std::chrono::steady_clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    return static_cast<std::uint32_t>(std::max<std::int64_t>(left.count(), 1));
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

// The image the server is expected to serve: its header, which the reply must carry,
// and its bytes, which TFTP must load.
void ReadImage(const std::string& path, BoardOptions& options) {
    auto read = ReadWholeFile(path);
    if (!read) throw CLI::ValidationError("--image", path + ": cannot be read");
    std::vector<std::uint8_t>& bytes = *read;
    if (bytes.size() < kImagePayloadOffset)
        throw CLI::ValidationError("--image", path + ": shorter than the 28-byte image header");
    ImageHeader header{};
    std::copy_n(bytes.begin(), header.size(), header.begin());
    options.bootp.imageHeader = header;
    options.image = std::move(bytes);
}

// What a run of several boards needs, once every option is read.
void CheckRun(const BoardOptions& options) {
    if (options.boards > 1 && !options.bootp.mac)
        throw CLI::ValidationError("--boards",
                                   "above 1 needs --mac, the first board's hardware address");
    if (options.bootp.mac && (*options.bootp.mac)[kMacSize - 1] + options.boards - 1 > 0xFF)
        throw CLI::ValidationError("--mac",
                                   "its last octet plus --boards less one must stay within ff");
    if (options.askAgain > options.boards)
        throw CLI::ValidationError("--ask-again", "takes a board number from 1 to --boards");
}

void AddSecondsUpTo(CLI::App& app, const std::string& name, std::uint32_t& ms, double maxSeconds,
                    const std::string& description) {
    char need[64];
    std::snprintf(need, sizeof need, "seconds from 0 to %g", maxSeconds);
    AddSeconds(
        app, name, ms, [maxSeconds](double s) { return s >= 0 && s <= maxSeconds; }, need,
        description);
}

// What one board of the run ended with.
struct BoardResult {
    std::optional<BootpLease> lease;  // none: BOOTP gave it nothing, so nobody serves
    std::optional<ConfigBlock> storedBlock;
    bool programmed = false;
};

std::string WithMember(const std::string& json, const std::string& key, bool value) {
    Json summary = Json::parse(json);
    summary[key] = value;
    return JsonLine(summary);
}

// An interruptible wait: between boards, or before a slow board asks for its firmware.
void Pause(std::uint32_t ms, const std::atomic<bool>& stopRequested) {
    PollLoop(stopRequested).SleepUntil(PollLoop::Clock::now() + std::chrono::milliseconds(ms));
}

// Points the tftp or link mode's options at the server and the address the lease gave.
template <typename ModeOptions>
void FollowLease(ModeOptions& options, const BootpLease& lease) {
    options.serverAddressNetworkOrder = lease.serverAddressNetworkOrder;
    options.serverText =
        DottedAddress(lease.serverAddressNetworkOrder) + ':' + std::to_string(options.serverPort);
    options.localAddressNetworkOrder = lease.yourAddressNetworkOrder;
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
        FollowLease(tftp, lease);
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
        FollowLease(link, lease);
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

void AddBoardOptions(CLI::App& app, BoardOptions& options) {
    BeginMode(app, "a whole board: bootp, then tftp, then the link",
              "A whole board in BOOTP mode: BOOTP on IF, then TFTP from the server the reply\n"
              "names, then the datagram link to that server until the configurator disconnects.\n"
              "Prints one JSON summary line per stage, each naming the board (\"board\":K). Only\n"
              "inside a network namespace whose only interfaces are lo and IF. Exit status 0 when\n"
              "every board was programmed (and a board asking again got no answer), 1 otherwise,\n"
              "2 for a bad command line.");
    AddBootpRequestOptions(app, options.bootp);
    app.add_option("--flash", options.flashPath,
                   "store the configuration block whose CRC holds in FILE (board K of several: "
                   "FILE.K)")
        ->type_name("FILE");
    AddProbability(app, "--drop-rx", options.faultRates.dropIncoming,
                   "drop incoming TFTP and link datagrams, probability P");
    AddProbability(app, "--drop-tx", options.faultRates.dropOutgoing,
                   "drop outgoing TFTP and link datagrams, probability P");
    AddProbability(app, "--dup", options.faultRates.duplicate,
                   "duplicate link datagrams with probability P");
    AddSeed(app, options.seed);
    AddSeconds(
        app, "--duration", options.durationMs, [](double s) { return s > 0 && s <= 86'400; },
        "seconds above 0, up to 86400",
        "limit of the TFTP and link stages together, per board (default 120)");
    app.add_option("--tftp-ack-delay-ms", options.tftpAckDelayMs,
                   "answer each TFTP block MS later (0 to 200), as a slow board would, so that "
                   "the transfer can be watched")
        ->type_name("MS")
        ->check(Between<std::uint32_t>(0, kMaxTftpAckDelayMs,
                                       "a whole number of milliseconds from 0 to 200"));
    AddSecondsUpTo(app, "--tftp-delay", options.tftpDelayMs, kMaxTftpDelaySeconds,
                   "wait this long after taking the address before asking for the firmware, as a "
                   "slow board would (default 0)");
    app.add_flag("--link-faults-only", options.faultsOnLinkOnly,
                 "inject the faults on the link only, not during TFTP");
    app.add_option("--boards", options.boards,
                   "play N boards (1 to 100) one after another, each starting when the one before "
                   "was disconnected; board K asks with --mac's last octet plus K-1 (--mac is then "
                   "required)")
        ->type_name("N")
        ->check(Between<std::uint32_t>(1, kMaxBoards, "a whole number from 1 to 100"));
    AddSecondsUpTo(app, "--pause", options.pauseMs, kMaxPauseSeconds,
                   "from one board's end to the next one's start (0 to 60)");
    app.add_option("--ask-again", options.askAgain,
                   "once programmed, board K comes up again at the address it stored, jumper "
                   "still fitted: while the next board is served it sends 5 BOOTP requests (one a "
                   "second) and link status datagrams from that address, and fails the run if "
                   "anything answers it (summary line \"mode\":\"ask-again\")")
        ->type_name("K")
        ->check(Between<std::uint32_t>(1, kMaxBoards, "a board number from 1 to --boards"));
    AddSecondsUpTo(app, "--ask-again-after", options.askAgainAfterMs, kMaxRestartSeconds,
                   "how long that board takes to restart after its disconnect (0 to 10, "
                   "default 1)");
    app.add_option_function<std::string>(
           "--image", [&options](const std::string& path) { ReadImage(path, options); },
           "the firmware image the server serves instead of the built-in one: the reply must "
           "carry its first 16 bytes, and what TFTP loads is compared with its bytes 28 to the "
           "end")
        ->type_name("FILE");
    app.callback([&options] { CheckRun(options); });
}

std::optional<BoardOptions> ParseBoardOptions(const std::vector<std::string>& arguments,
                                              std::string& error) {
    return ParseMode(arguments, &AddBoardOptions, error);
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
