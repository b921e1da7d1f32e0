// Runs the BOOTP server with the built-in firmware image for a number of seconds,
// logging to standard output, for the integration tests. It binds every adapter it
// finds and broadcasts its replies: run it only inside a network namespace that a
// test made for it.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/firmware_image.h"
#include "diag/CLog.h"
#include "net/CBootP.h"
#include "os/clock.h"

namespace {

constexpr int kMaxSeconds = 600;
constexpr std::uint32_t kMsPerSecond = 1000;

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc == 2 ? std::atoi(argv[1]) : 0;
    if (seconds <= 0 || seconds > kMaxSeconds) {
        std::fprintf(stderr, "Usage: bootp_serve SECONDS (1..600)\n");
        return 2;
    }
    // Unbuffered (the Windows runtime buffers a "line-buffered" stream whole), so a
    // test reading the output sees each line as it is logged.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    net::BoardContext context;
    context.image = app::FirmwareImage();
    context.imageSize = static_cast<std::uint32_t>(app::kFirmwareImageSize);
    auto server = std::make_unique<net::CBootP>(context);
    server->Init();
    os::SleepMs(static_cast<std::uint32_t>(seconds) * kMsPerSecond);
    server->StopAll();
    diag::theLog.Print("bootp_serve - stopped after %d s", seconds);
    return 0;
}
