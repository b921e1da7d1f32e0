// How much processor time an idle link costs: starts a CUdpServer with no board,
// sleeps, and reports the process's CPU time over that sleep as a share of one core.
// Prints one JSON line; exits 1 when the link cannot start.
#include <sys/resource.h>

#include <cstdint>
#include <cstdio>

#include "diag/CLog.h"
#include "net/CUdpServer.h"
#include "os/clock.h"

namespace {

constexpr std::uint32_t kIdleMs = 10'000;
constexpr double kMicrosecondsPerSecond = 1e6;
constexpr double kMsPerSecond = 1e3;
constexpr double kPercent = 100.0;

double Seconds(const timeval& time) {
    return static_cast<double>(time.tv_sec) +
           static_cast<double>(time.tv_usec) / kMicrosecondsPerSecond;
}

// User and system time of every thread of the process so far.
double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

}  // namespace

int main() {
    diag::theLog.SetConsole(stderr);
    net::CUdpServer server;
    server.SetPort(0);
    if (!server.Start()) {
        std::fprintf(stderr, "link_idle_cpu: cannot start the link\n");
        return 1;
    }
    const double cpuBefore = ProcessCpuSeconds();
    const std::uint32_t startMs = os::TickCountMs();
    os::SleepMs(kIdleMs);
    const double cpuSeconds = ProcessCpuSeconds() - cpuBefore;
    const double wallSeconds = (os::TickCountMs() - startMs) / kMsPerSecond;
    server.Stop();
    std::printf("{\"idle_seconds\":%.3f,\"cpu_seconds\":%.6f,\"cpu_percent_of_one_core\":%.4f}\n",
                wallSeconds, cpuSeconds, kPercent * cpuSeconds / wallSeconds);
    return 0;
}
