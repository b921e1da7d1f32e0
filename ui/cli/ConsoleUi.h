// The UI port of the command-line configurator: messages and questions as text, a
// text progress bar on standard error, settings in the platform's store. A question
// is asked at the terminal when standard input is one; otherwise (scripts, pipes) the
// configured answer is given at once and said on the error stream.
//
// Calls may come from several threads; each message or question is written whole.
#pragma once

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "diag/UiPort.h"
#include "os/settings_store.h"

namespace cli {

class ConsoleUi final : public diag::UiPort, private diag::SettingsPort {
  public:
    struct Streams {
        std::FILE* in = stdin;
        std::FILE* out = stderr;  // messages, questions, progress bars
        bool inIsTerminal = false;
        bool outIsTerminal = false;
    };

    // The streams of this process, with their terminal status.
    static Streams ProcessStreams();

    // `retryWhenUnattended`: the answer to Retry/Cancel when nobody can be asked.
    ConsoleUi(Streams streams, bool retryWhenUnattended, const std::string& applicationName);

    void ShowMessage(const std::string& text) override;
    bool AskRetryCancel(const std::string& text) override;
    std::unique_ptr<diag::ProgressWindow> CreateProgressWindow(const std::string& title,
                                                               bool smooth) override;
    diag::SettingsPort& Settings() override { return *this; }

  private:
    int GetInt(const std::string& section, const std::string& key, int defaultValue) const override;
    bool SetInt(const std::string& section, const std::string& key, int value) override;
    bool ReadAnswer(bool& retry);

    Streams streams_;
    bool retryWhenUnattended_;
    mutable std::mutex mutex_;
    os::SettingsStore store_;
};

}  // namespace cli
