#include "ui/cli/ProgramCommand.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "app/ProgrammingJob.h"
#include "diag/CLog.h"
#include "ui/cli/ArgumentList.h"
#include "ui/cli/ConsoleUi.h"

namespace cli {

const char* const kProgramHelp =
    "Usage: emcb-config program [--ip TEXT] [--mac TEXT] [--nickname TEXT]\n"
    "                           [--on-silence retry|cancel] [--timeout SECONDS] [--json]\n"
    "                           [--quiet]\n"
    "\n"
    "Programs a board whose BOOTP jumper is fitted: answers its BOOTP request on every\n"
    "adapter, serves its firmware over TFTP, then writes its configuration block and\n"
    "disconnects. Exit status 0 only when the board acknowledged the configuration.\n"
    "Each stage (adapters answering BOOTP, address given, firmware sent, board heard,\n"
    "configuration and disconnect sent and acknowledged, outcome) is one line on\n"
    "standard error, with the seconds since the start.\n"
    "\n"
    "  --ip TEXT          the board's IP address (default 10.9.9.9)\n"
    "  --mac TEXT         MAC address of the computer adapter the board is locked to,\n"
    "                     as 00-1B-2C-3D-4E-5F; FF-FF-FF-FF-FF-FF or empty for any\n"
    "                     computer (default FF-FF-FF-FF-FF-FF)\n"
    "  --nickname TEXT    a name for the board (default \"New Ethernet Orvantis\")\n"
    "  --on-silence ANSWER  how \"not responding\" is answered when standard input is\n"
    "                     not a terminal: retry or cancel (default cancel)\n"
    "  --timeout SECONDS  give up waiting for the board after this long (default: wait)\n"
    "  --json             print a summary as JSON on standard output, the stages with\n"
    "                     their milliseconds since the start among it\n"
    "  --quiet            of the stages show the outcome alone, and no progress bar\n"
    "  --verbose          copy the diagnostic log to standard error\n"
    "\n"
    "For testing without adapters (loopback only):\n"
    "  --no-bootp         do not answer BOOTP\n"
    "  --tftp-port N      serve TFTP on port N instead of 69 (0: any free port)\n"
    "  --link-port N      use UDP port N for the board link instead of 5020\n"
    "\n"
    "Ctrl-C cancels the job.\n";

namespace {

std::atomic<bool> cancelRequested{false};

extern "C" void OnInterrupt(int) {
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

std::string JsonText(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// A JSON object built by appending, its values already JSON. (Appending also keeps
// GCC 12 at -O3 from a false -Wrestrict on chains of string +.)
class JsonObject {
  public:
    JsonObject& Add(const char* key, const std::string& json) {
        if (!fields_.empty()) fields_ += ',';
        fields_ += '"';
        fields_ += key;
        fields_ += "\":";
        fields_ += json;
        return *this;
    }
    std::string Text() const {
        std::string text = "{";
        text += fields_;
        text += '}';
        return text;
    }

  private:
    std::string fields_;
};

std::string JsonList(const std::vector<std::string>& items) {
    std::string text = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += ',';
        text += items[i];
    }
    text += ']';
    return text;
}

// The facts each kind of stage carries, after its name, time and text.
void AddStageFacts(const diag::JobStage& stage, JsonObject& json) {
    using diag::JobStageKind;
    switch (stage.kind) {
        case JobStageKind::kBootpAdapters: {
            std::vector<std::string> adapters;
            for (const diag::JobAdapter& adapter : stage.adapters)
                adapters.push_back(JsonObject()
                                       .Add("name", JsonText(adapter.name))
                                       .Add("address", JsonText(adapter.address))
                                       .Text());
            json.Add("adapters", JsonList(adapters));
            break;
        }
        case JobStageKind::kAddressGiven:
            json.Add("adapter", JsonText(stage.adapter))
                .Add("hardware_address", JsonText(stage.hardwareAddress))
                .Add("address", JsonText(stage.address))
                .Add("from_arp_table", stage.fromArpTable ? "true" : "false");
            break;
        case JobStageKind::kTransferStarted:
        case JobStageKind::kTransferFinished:
            json.Add("client", JsonText(stage.address)).Add("bytes", std::to_string(stage.bytes));
            break;
        case JobStageKind::kBoardHeard:
            json.Add("address", JsonText(stage.address));
            break;
        case JobStageKind::kOutcome:
            json.Add("outcome", JsonText(stage.outcome));
            break;
        default:
            break;
    }
}

std::string StagesJson(const std::vector<diag::JobStage>& stages) {
    std::vector<std::string> items;
    for (const diag::JobStage& stage : stages) {
        JsonObject json;
        json.Add("stage", JsonText(diag::JobStageName(stage.kind)))
            .Add("ms", std::to_string(stage.elapsedMs))
            .Add("text", JsonText(stage.text));
        AddStageFacts(stage, json);
        items.push_back(json.Text());
    }
    return JsonList(items);
}

void PrintJson(const app::JobReport& report) {
    std::printf(
        "{\"outcome\":\"%s\",\"message\":%s,\"board_address\":%s,\"tftp_bytes_served\":%u,"
        "\"messages_sent\":%u,\"messages_acknowledged\":%u,\"bootp_interfaces\":%d,"
        "\"stages\":%s}\n",
        app::OutcomeName(report.outcome), JsonText(report.message).c_str(),
        report.boardAddress.empty() ? "null" : JsonText(report.boardAddress).c_str(),
        report.tftpBytesServed, report.messagesSent, report.messagesAcknowledged,
        report.bootpInterfaces, StagesJson(report.stages).c_str());
}

int Usage(const std::string& error) {
    std::fprintf(stderr, "emcb-config program: %s\n\n%s", error.c_str(), kProgramHelp);
    return 2;
}

}  // namespace

int RunProgramCommand(const std::vector<std::string>& arguments) {
    const ArgumentList args(
        arguments,
        {"--ip", "--mac", "--nickname", "--on-silence", "--timeout", "--tftp-port", "--link-port"},
        {"--json", "--help", "--verbose", "--no-bootp", "--quiet"});
    if (!args.Error().empty()) return Usage(args.Error());
    if (args.Has("--help")) {
        std::fputs(kProgramHelp, stdout);
        return 0;
    }

    app::JobFields fields;
    fields.ip = args.Value("--ip").value_or(fields.ip);
    fields.mac = args.Value("--mac").value_or(fields.mac);
    fields.nickname = args.Value("--nickname").value_or(fields.nickname);

    const std::string onSilence = args.Value("--on-silence").value_or("cancel");
    if (onSilence != "retry" && onSilence != "cancel")
        return Usage("--on-silence takes retry or cancel");

    app::JobOptions options;
    if (const auto timeout = args.Value("--timeout")) {
        char* end = nullptr;
        const double seconds = std::strtod(timeout->c_str(), &end);
        if (end == timeout->c_str() || *end != '\0' || !(seconds > 0) || seconds > 86400 * 7)
            return Usage("--timeout takes a number of seconds above 0");
        options.timeoutMs = static_cast<std::uint32_t>(seconds * 1000);
    }
    options.services.bootp = !args.Has("--no-bootp");
    if (!ParsePort(args.Value("--tftp-port"), options.services.tftpPort) ||
        !ParsePort(args.Value("--link-port"), options.services.linkPort))
        return Usage("a port is a number from 0 to 65535");
    options.cancel = &cancelRequested;

    if (args.Has("--verbose")) diag::theLog.SetConsole(stderr);
    ConsoleUi ui(ConsoleUi::ProcessStreams(), onSilence == "retry",
                 os::SettingsStore("emcb-config"));
    ui.SetQuiet(args.Has("--quiet"));
    diag::SetUiPort(&ui);
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);

    const app::JobReport report = app::RunProgrammingJob(fields, options);

    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    diag::SetUiPort(nullptr);
    if (args.Has("--json")) PrintJson(report);
    return report.outcome == app::JobOutcome::kProgrammed ? 0 : 1;
}

}  // namespace cli
