#include "ui/cli/ProgramCommand.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "app/BoardReport.h"
#include "app/ProgrammingJob.h"
#include "diag/CLog.h"
#include "net/hardware_address.h"
#include "os/clock.h"
#include "ui/cli/ArgumentList.h"
#include "ui/cli/BoardsCommand.h"
#include "ui/cli/ConsoleUi.h"
#include "ui/cli/JobJson.h"
#include "ui/cli/JsonText.h"

namespace cli {

const char* const kProgramHelp =
    "Usage: emcb-config program [--ip TEXT] [--mac TEXT] [--nickname TEXT] [OPTIONS]\n"
    "       emcb-config program --boards FILE [--report FILE] [--retry-failed] [OPTIONS]\n"
    "\n"
    "Programs a board whose BOOTP jumper is fitted: answers its BOOTP request on every\n"
    "adapter (one that gets an IPv4 address during the job too), serves its firmware\n"
    "over TFTP, then writes its configuration block and disconnects. Exit status 0\n"
    "only when the board acknowledged the configuration.\n"
    "Each stage (adapters answering BOOTP, an adapter served or no longer served,\n"
    "address given, firmware sent, board heard, configuration and disconnect sent and\n"
    "acknowledged, outcome) is one line on standard error, with the seconds since the\n"
    "start.\n"
    "\n"
    "  --ip TEXT          the board's IP address (default 10.9.9.9): four numbers from\n"
    "                     0 to 255 joined by dots, no leading zeros, nothing around them\n"
    "  --mac TEXT         MAC address of the computer adapter the board is locked to,\n"
    "                     as 00-1B-2C-3D-4E-5F; FF-FF-FF-FF-FF-FF or empty for any\n"
    "                     computer (default FF-FF-FF-FF-FF-FF)\n"
    "  --nickname TEXT    a name for the board (default \"New Ethernet Orvantis\")\n"
    "  --image FILE       serve this firmware image instead of the built-in one (its\n"
    "                     first 16 bytes go in the BOOTP reply, bytes 28 on by TFTP);\n"
    "                     a regular file, not a pipe or a device\n"
    "  --only-hardware PREFIX  answer BOOTP only for hardware addresses that begin\n"
    "                     with PREFIX, such as 02-42-AC, so that no other computer or\n"
    "                     phone on the network is given an address\n"
    "  --on-silence ANSWER  how \"not responding\" is answered when standard input is\n"
    "                     not a terminal: retry or cancel (default cancel; retry with\n"
    "                     --boards)\n"
    "  --timeout SECONDS  give up waiting for the board after this long (default: wait);\n"
    "                     with --boards, for each board\n"
    "  --json             print a summary as JSON on standard output, the stages with\n"
    "                     their milliseconds since the start among it\n"
    "  --quiet            of the stages show the outcome alone, and no progress bar\n"
    "  --verbose          copy the diagnostic log to standard error\n"
    "\n"
    "Many boards in a row:\n"
    "  --boards FILE      program one board per row of FILE, a CSV file whose header\n"
    "                     row names the columns ip, mac and nickname (mac and nickname\n"
    "                     may be empty: the defaults). Every row is checked first; rows\n"
    "                     with every field empty are skipped, control characters are\n"
    "                     refused. A board programmed in the run is never programmed\n"
    "                     again in it.\n"
    "  --report FILE      after every board, write a CSV report: row, hardware_address,\n"
    "                     bootp_address, ip, mac, nickname, outcome, seconds (from the\n"
    "                     BOOTP reply to the result); rows not reached are \"not-run\".\n"
    "                     FILE may be neither the list nor the image. A field that a\n"
    "                     spreadsheet would take for a formula is written after an\n"
    "                     apostrophe. If another program holds FILE open, the run goes\n"
    "                     on; FILE is written at the end, or FILE.new if still held\n"
    "  --retry-failed     when every row has had its turn, try each failed row once more\n"
    "  Exit status 0 only when every row was programmed. Ctrl-C stops the run after the\n"
    "  current board; a second Ctrl-C cancels that board.\n"
    "\n"
    "For testing without adapters (loopback only):\n"
    "  --no-bootp         do not answer BOOTP\n"
    "  --tftp-port N      serve TFTP on port N instead of 69 (0: any free port)\n"
    "  --link-port N      use UDP port N for the board link instead of 5020\n"
    "\n"
    "Ctrl-C cancels a single job. A bad option, list of boards or image file gives exit\n"
    "status 2 before anything starts.\n";

namespace {

constexpr int kUsageStatus = 2;

std::atomic<bool> cancelRequested{false};
std::atomic<bool> stopAfterBoard{false};
std::atomic<bool> runningBoards{false};

// In a run of many boards the first interrupt ends the run after the current board
// and the next cancels that board; a single job is cancelled at once.
extern "C" void OnInterrupt(int) {
    if (runningBoards.load() && !stopAfterBoard.load())
        stopAfterBoard = true;
    else
        cancelRequested = true;
}

bool ParsePort(const std::optional<std::string>& text, std::uint16_t& port) {
    if (!text) return true;
    char* end = nullptr;
    const long value = std::strtol(text->c_str(), &end, 10);
    if (end == text->c_str() || *end != '\0' || value < 0 || value > 65535) return false;
    port = static_cast<std::uint16_t>(value);
    return true;
}

void PrintJson(const app::JobReport& report, const app::ServedImage& image) {
    const std::string json =
        JsonObject()
            .Add("outcome", JsonText(app::OutcomeName(report.outcome)))
            .Add("message", JsonText(report.message))
            .Add("board_address", JsonTextOrNull(report.boardAddress))
            .Add("hardware_address", JsonTextOrNull(report.hardwareAddress))
            .Add("bootp_address", JsonTextOrNull(report.bootpAddress))
            .Add("seconds", SecondsJson(report.msFromAddressToResult))
            .Add("image", ImageJson(image))
            .Add("tftp_bytes_served", std::to_string(report.tftpBytesServed))
            .Add("messages_sent", std::to_string(report.messagesSent))
            .Add("messages_acknowledged", std::to_string(report.messagesAcknowledged))
            .Add("bootp_interfaces", std::to_string(report.bootpInterfaces))
            .Add("stages", StagesJson(report.stages))
            .Text();
    std::printf("%s\n", json.c_str());
}

int Usage(const std::string& error) {
    std::fprintf(stderr, "emcb-config program: %s\n\n%s", error.c_str(), kProgramHelp);
    return kUsageStatus;
}

// A problem with a file the user named: the message alone, without the usage text.
int Refuse(const std::string& error) {
    std::fprintf(stderr, "emcb-config program: %s\n", error.c_str());
    return kUsageStatus;
}

// Everything but the fields and the list: the services, the limits, the image.
std::optional<std::string> ReadJobOptions(const ArgumentList& args, app::JobOptions& options) {
    if (const auto timeout = args.Value("--timeout")) {
        char* end = nullptr;
        const double seconds = std::strtod(timeout->c_str(), &end);
        if (end == timeout->c_str() || *end != '\0' || !(seconds > 0) || seconds > 86400 * 7)
            return std::string("--timeout takes a number of seconds above 0");
        options.timeoutMs = static_cast<std::uint32_t>(seconds * 1000);
    }
    options.services.bootp = !args.Has("--no-bootp");
    if (!ParsePort(args.Value("--tftp-port"), options.services.tftpPort) ||
        !ParsePort(args.Value("--link-port"), options.services.linkPort))
        return std::string("a port is a number from 0 to 65535");
    if (const auto prefix = args.Value("--only-hardware")) {
        const auto bytes = net::ParseHardwarePrefix(*prefix);
        if (!bytes)
            return "--only-hardware takes one to six pairs of hexadecimal digits, such as "
                   "02-42-AC, not \"" +
                   *prefix + "\"";
        options.services.admission.hardwarePrefix = *bytes;
    }
    return std::nullopt;
}

std::optional<std::string> CheckCombination(const ArgumentList& args) {
    if (args.Value("--boards")) {
        for (const char* field : {"--ip", "--mac", "--nickname"})
            if (args.Value(field))
                return std::string(field) +
                       " does not go with --boards: the list gives each "
                       "board its fields";
    } else {
        if (args.Value("--report")) return std::string("--report goes with --boards");
        if (args.Has("--retry-failed")) return std::string("--retry-failed goes with --boards");
    }
    return std::nullopt;
}

app::JobFields ReadFields(const ArgumentList& args) {
    app::JobFields fields;
    fields.ip = args.Value("--ip").value_or(fields.ip);
    fields.mac = args.Value("--mac").value_or(fields.mac);
    fields.nickname = args.Value("--nickname").value_or(fields.nickname);
    return fields;
}

// Installs the UI port and the interrupt handlers for its lifetime.
class ConsoleSession {
  public:
    ConsoleSession(const ArgumentList& args, bool retryOnSilence)
        : ui_(ConsoleUi::ProcessStreams(), retryOnSilence, os::SettingsStore("emcb-config")) {
        if (args.Has("--verbose")) diag::theLog.SetConsole(stderr);
        ui_.SetQuiet(args.Has("--quiet"));
        diag::SetUiPort(&ui_);
        std::signal(SIGINT, OnInterrupt);
        std::signal(SIGTERM, OnInterrupt);
    }
    ~ConsoleSession() {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        diag::SetUiPort(nullptr);
    }
    ConsoleSession(const ConsoleSession&) = delete;
    ConsoleSession& operator=(const ConsoleSession&) = delete;

  private:
    ConsoleUi ui_;
};

// Says once, from the job's own waits, that the first Ctrl-C was heard.
void AcknowledgeStopRequest(app::JobOptions& options) {
    options.sleepMs = [told = false](std::uint32_t ms) mutable {
        os::SleepMs(ms);
        if (told || !stopAfterBoard.load()) return;
        told = true;
        std::fputs("Stopping after this board; press Ctrl-C again to cancel it.\n", stderr);
    };
}

}  // namespace

int RunProgramCommand(const std::vector<std::string>& arguments) {
    const ArgumentList args(
        arguments,
        {"--ip", "--mac", "--nickname", "--on-silence", "--timeout", "--tftp-port", "--link-port",
         "--image", "--only-hardware", "--boards", "--report"},
        {"--json", "--help", "--verbose", "--no-bootp", "--quiet", "--retry-failed"});
    if (!args.Error().empty()) return Usage(args.Error());
    if (args.Has("--help")) {
        std::fputs(kProgramHelp, stdout);
        return 0;
    }
    if (const auto problem = CheckCombination(args)) return Usage(*problem);
    const auto boardsList = args.Value("--boards");
    const std::string onSilence =
        args.Value("--on-silence").value_or(boardsList ? "retry" : "cancel");
    if (onSilence != "retry" && onSilence != "cancel")
        return Usage("--on-silence takes retry or cancel");
    app::JobOptions options;
    if (const auto problem = ReadJobOptions(args, options)) return Usage(*problem);
    options.cancel = &cancelRequested;

    std::string error;
    std::optional<app::ServedImage> image = app::ServedImage::BuiltIn();
    if (const auto path = args.Value("--image")) {
        image = app::ServedImage::FromFile(*path, error);
        if (!image) return Refuse(error);
    }
    options.image = &*image;

    if (boardsList) {
        BoardsRequest request{*boardsList, args.Value("--report").value_or(""),
                              args.Has("--retry-failed"), args.Has("--json"),
                              args.Value("--image").value_or("")};
        auto plan = PrepareBoards(request, error);
        if (!plan) return Refuse(error);
        AcknowledgeStopRequest(options);
        runningBoards = true;
        const ConsoleSession session(args, onSilence == "retry");
        return RunBoards(*plan, options, *image, stopAfterBoard);
    }

    app::JobReport report;
    {
        const ConsoleSession session(args, onSilence == "retry");
        report = app::RunProgrammingJob(ReadFields(args), options);
    }
    if (args.Has("--json")) PrintJson(report, *image);
    return report.outcome == app::JobOutcome::kProgrammed ? 0 : 1;
}

}  // namespace cli
