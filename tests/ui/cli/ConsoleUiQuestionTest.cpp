// The console's Retry/Cancel question at a terminal that has not answered yet, over
// pipes (POSIX only): the job's other threads must still get their lines out.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#include "diag/JobStage.h"
#include "os/settings_store.h"
#include "ui/cli/ConsoleUi.h"

namespace cli {
namespace {

using namespace std::chrono_literals;

// Everything written to the console, collected as it arrives.
class OutputPipe {
  public:
    OutputPipe() {
        int ends[2];
        EXPECT_EQ(pipe(ends), 0);
        write_ = fdopen(ends[1], "w");
        reader_ = std::thread([this, fd = ends[0]] {
            char buffer[256];
            for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) {
                std::lock_guard lock(mutex_);
                text_.append(buffer, static_cast<std::size_t>(got));
            }
            close(fd);
        });
    }
    ~OutputPipe() {
        std::fclose(write_);
        reader_.join();
    }
    std::FILE* get() const { return write_; }
    std::string Text() {
        std::lock_guard lock(mutex_);
        return text_;
    }
    bool WaitFor(const std::string& part) {
        for (auto end = std::chrono::steady_clock::now() + 10s;
             std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(5ms))
            if (Text().find(part) != std::string::npos) return true;
        return false;
    }

  private:
    std::FILE* write_ = nullptr;
    std::thread reader_;
    std::mutex mutex_;
    std::string text_;
};

TEST(ConsoleUiQuestion, WhileItWaitsForTheUserStagesAndMessagesStillGetOut) {
    int input[2];
    ASSERT_EQ(pipe(input), 0);
    std::FILE* in = fdopen(input[0], "r");
    {
        OutputPipe out;
        ConsoleUi ui({in, out.get(), true, false}, false,
                     os::SettingsStore("emcb-console-question-test",
                                       os::SettingsStore::ScratchRoot("console-question-test")));
        auto answer = std::async(std::launch::async,
                                 [&] { return ui.AskRetryCancel("Board is not responding."); });
        ASSERT_TRUE(out.WaitFor("[R]etry or [C]ancel? "));

        diag::JobStage stage;
        stage.kind = diag::JobStageKind::kAddressGiven;
        stage.text = "Gave 10.9.9.100 to 02-00-00-00-0C-01";
        auto others = std::async(std::launch::async, [&] {
            ui.OnJobStage(stage);  // a BOOTP thread, under the job's stage lock
            ui.ShowMessage("Error programming the flash.");
        });
        const bool printed = others.wait_for(10s) == std::future_status::ready;
        ASSERT_EQ(write(input[1], "r\n", 2), 2);  // answers, so that nothing hangs
        EXPECT_TRUE(printed) << "the question held the console while it waited";
        EXPECT_TRUE(answer.get());
        others.get();
        // Each line the user's prompt was interrupted by is followed by the prompt again
        // (written by now, but the reader may not have taken it from the pipe yet).
        EXPECT_TRUE(out.WaitFor("Gave 10.9.9.100 to 02-00-00-00-0C-01\n[R]etry or [C]ancel? "))
            << out.Text();
        EXPECT_TRUE(out.WaitFor("Error programming the flash.\n[R]etry or [C]ancel? "))
            << out.Text();
    }
    close(input[1]);
    std::fclose(in);
}

}  // namespace
}  // namespace cli
