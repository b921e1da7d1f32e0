// Serves the firmware image by TFTP and nothing else: the configurator's TFTP server
// on its own, for trying standard TFTP clients against it and for timing it.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "app/firmware_image.h"
#include "diag/CLog.h"
#include "net/CTftp.h"
#include "ui/cli/ArgumentList.h"
#include "ui/cli/ConsoleUi.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kMaxDurationSeconds = 86'400;
constexpr auto kPollInterval = std::chrono::milliseconds(50);

const char* const kUsage =
    "Usage: emcb-tftp-serve [--port N] [--duration SECONDS] [--quiet]\n"
    "       emcb-tftp-serve --write-content FILE\n"
    "\n"
    "Serves the built-in firmware image (bytes 28 to the end) to every TFTP read\n"
    "request, whatever file it names, until SIGINT/SIGTERM or the duration ends.\n"
    "Prints \"port N\" on standard output once it listens. When standard input is not a\n"
    "terminal, the question asked after a silent spell is answered Retry.\n"
    "\n"
    "  --port N            UDP port for requests (default 69; 0 lets the system choose)\n"
    "  --duration SECONDS  stop after this long (default 3600)\n"
    "  --quiet             no log lines on standard output\n"
    "  --write-content FILE  write the bytes a request gets to FILE and exit\n";

std::atomic<bool> stopRequested{false};

extern "C" void RequestStop(int) {
    stopRequested.store(true);
}

// The served file, for comparing what clients receive.
int WriteContent(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 1;
    const std::size_t size = app::kFirmwareImageSize - net::kTftpContentOffset;
    const bool written =
        std::fwrite(app::FirmwareImage() + net::kTftpContentOffset, 1, size, file) == size;
    return std::fclose(file) == 0 && written ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const cli::ArgumentList args(std::vector<std::string>(argv + 1, argv + argc),
                                 {"--port", "--duration", "--write-content"},
                                 {"--quiet", "--help"});
    if (!args.Error().empty() || args.Has("--help")) {
        std::fprintf(args.Has("--help") ? stdout : stderr, "%s", kUsage);
        return args.Has("--help") ? 0 : kUsageError;
    }
    if (const auto path = args.Value("--write-content")) return WriteContent(*path);

    int port = net::CTftp::kDefaultPort;
    int duration = 3600;
    try {
        if (const auto text = args.Value("--port")) port = std::stoi(*text);
        if (const auto text = args.Value("--duration")) duration = std::stoi(*text);
    } catch (const std::exception&) {
        port = -1;
    }
    if (port < 0 || port > 65535 || duration <= 0 || duration > kMaxDurationSeconds) {
        std::fprintf(stderr, "emcb-tftp-serve: bad --port or --duration\n\n%s", kUsage);
        return kUsageError;
    }
    if (args.Has("--quiet")) diag::theLog.SetConsole(nullptr);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // log lines reach a pipe as they happen

    cli::ConsoleUi ui(cli::ConsoleUi::ProcessStreams(), true, os::SettingsStore("emcb-tftp-serve"));
    diag::SetUiPort(&ui);
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);

    net::BoardContext context;
    context.image = app::FirmwareImage();
    context.imageSize = static_cast<std::uint32_t>(app::kFirmwareImageSize);
    int status = 0;
    {
        net::CTftp server(context);
        server.SetPort(static_cast<std::uint16_t>(port));
        server.Start();
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(duration);
        bool announced = false;
        while (!stopRequested.load() && server.HasEnded() == 0 &&
               std::chrono::steady_clock::now() < end) {
            if (!announced && server.ListeningPort() != 0) {
                std::printf("port %u\n", static_cast<unsigned>(server.ListeningPort()));
                std::fflush(stdout);
                announced = true;
            }
            std::this_thread::sleep_for(kPollInterval);
        }
        if (!announced) status = 1;  // never listened: the port was taken
        server.Stop();
    }
    diag::SetUiPort(nullptr);
    return status;
}
