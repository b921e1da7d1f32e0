// The job, again and again in one process: one board after another, a new device for
// each, and after each job the process's threads and open descriptors counted against
// what it had before the first. Runs in the computer's namespace of a scenario, which
// starts each board once this program says it is ready for it (Linux: /proc).
//
//   job_soak ROUNDS SETTINGS_FOLDER
//
// Prints "ready N" before job N and one JSON line after it; exit status 0 when every
// job ended in "Programming Complete" and nothing was left over.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "app/ProgrammingJob.h"
#include "diag/UiPort.h"
#include "os/settings_store.h"
#include "ui/cli/ConsoleUi.h"

namespace {

constexpr std::uint32_t kJobTimeoutMs = 60000;
constexpr int kSettleAttempts = 100;
constexpr int kSettlePauseMs = 10;

std::size_t EntriesIn(const char* folder) {
    std::size_t count = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error))
        ++count;
    return count;
}

std::size_t Threads() {
    return EntriesIn("/proc/self/task");
}

std::size_t Descriptors() {
    return EntriesIn("/proc/self/fd") - 1;  // the listing's own descriptor
}

// A joined thread's entry leaves /proc/self/task a moment after the join returns (the
// kernel wakes the joiner before it reaps the thread), so a count above the baseline is
// read again for a while before it counts as left over.
bool SettlesTo(std::size_t threadsBefore, std::size_t descriptorsBefore, std::size_t& threads,
               std::size_t& descriptors) {
    for (int attempt = 0;; ++attempt) {
        threads = Threads();
        descriptors = Descriptors();
        if (threads == threadsBefore && descriptors == descriptorsBefore) return true;
        if (attempt == kSettleAttempts) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(kSettlePauseMs));
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc == 3 ? std::atoi(argv[1]) : 0;
    if (rounds <= 0 || rounds > 1000) {
        std::fputs("usage: job_soak ROUNDS SETTINGS_FOLDER\n", stderr);
        return 2;
    }
    cli::ConsoleUi ui(cli::ConsoleUi::ProcessStreams(), false,
                      os::SettingsStore("emcb-job-soak", argv[2]));
    diag::SetUiPort(&ui);

    // A runtime's helper threads (ThreadSanitizer's) start with the first thread.
    std::thread([] {}).join();
    const std::size_t threadsBefore = Threads();
    const std::size_t descriptorsBefore = Descriptors();
    int failures = 0;
    for (int round = 1; round <= rounds; ++round) {
        std::printf("ready %d\n", round);
        std::fflush(stdout);
        app::JobFields fields;
        fields.ip = "10.9.9." + std::to_string(20 + round % 200);
        fields.nickname = "Soak board " + std::to_string(round);
        app::JobOptions options;
        options.timeoutMs = kJobTimeoutMs;
        const app::JobReport report = app::RunProgrammingJob(fields, options);
        std::size_t threads = 0;
        std::size_t descriptors = 0;
        const bool clean = SettlesTo(threadsBefore, descriptorsBefore, threads, descriptors);
        const bool programmed = report.outcome == app::JobOutcome::kProgrammed;
        failures += programmed && clean ? 0 : 1;
        std::printf(
            "{\"round\":%d,\"outcome\":\"%s\",\"threads\":%zu,\"threads_before\":%zu,"
            "\"descriptors\":%zu,\"descriptors_before\":%zu}\n",
            round, app::OutcomeName(report.outcome), threads, threadsBefore, descriptors,
            descriptorsBefore);
        std::fflush(stdout);
    }
    diag::SetUiPort(nullptr);
    return failures == 0 ? 0 : 1;
}
