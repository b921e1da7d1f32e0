// The UI port of the command-line configurator: messages and questions as text, a
// text progress bar and a line per job stage on standard error, settings in the
// platform's store; quiet, it shows no bar and of the stages only the outcome. A
// question is asked at the terminal when standard input is one; otherwise (scripts,
// pipes) the configured answer is given at once and said on the error stream.
//
// Calls may come from several threads; each message or question is written whole. A
// question waiting for its answer holds no lock that the others need: the job's stages
// and messages go on being printed meanwhile, each followed by the prompt again.
#pragma once

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "diag/StoredSettings.h"
#include "diag/UiPort.h"

namespace cli {

class ConsoleUi final : public diag::UiPort {
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
    // `store` keeps the progress windows' position.
    ConsoleUi(Streams streams, bool retryWhenUnattended, os::SettingsStore store);

    void SetQuiet(bool quiet) { quiet_ = quiet; }

    void ShowMessage(const std::string& text) override;
    bool AskRetryCancel(const std::string& text) override;
    std::unique_ptr<diag::ProgressWindow> CreateProgressWindow(const std::string& title,
                                                               bool smooth) override;
    diag::SettingsPort& Settings() override { return settings_; }
    void OnJobStage(const diag::JobStage& stage) override;

    // "[  1.234 s] text", or for the outcome "[  5.678 s] Outcome: programmed".
    static std::string StageLine(const diag::JobStage& stage);

  private:
    bool ReadAnswer(bool& retry);
    void Prompt();          // under mutex_
    void PromptIfAsking();  // under mutex_

    Streams streams_;
    bool retryWhenUnattended_;
    bool quiet_ = false;
    std::mutex questionMutex_;  // one question at a time, held while it waits
    mutable std::mutex mutex_;  // the output stream, held only while writing
    bool asking_ = false;       // under mutex_: a question waits at the terminal
    diag::StoredSettings settings_;
};

}  // namespace cli
