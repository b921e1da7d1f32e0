#include "ui/cli/ConsoleUi.h"

#include <cctype>
#include <cstring>
#include <utility>

#include "os/terminal.h"
#include "ui/cli/ConsoleUiProgressWindow.h"

namespace cli {
namespace {

constexpr int kMaxQuestionAttempts = 5;
constexpr std::size_t kAnswerCapacity = 64;

}  // namespace

ConsoleUi::Streams ConsoleUi::ProcessStreams() {
    return {stdin, stderr, os::IsTerminal(stdin), os::IsTerminal(stderr)};
}

ConsoleUi::ConsoleUi(Streams streams, bool retryWhenUnattended, os::SettingsStore store)
    : streams_(streams), retryWhenUnattended_(retryWhenUnattended), settings_(std::move(store)) {}

void ConsoleUi::ShowMessage(const std::string& text) {
    std::lock_guard lock(mutex_);
    std::fprintf(streams_.out, "\n%s\n", text.c_str());
    PromptIfAsking();
    std::fflush(streams_.out);
}

// The answer is read with only the question's own lock held: the stages that the
// job's other threads print meanwhile (a BOOTP thread, holding the job's stage lock)
// must not wait for the user.
bool ConsoleUi::AskRetryCancel(const std::string& text) {
    std::lock_guard question(questionMutex_);
    {
        std::lock_guard lock(mutex_);
        std::fprintf(streams_.out, "\n%s\n", text.c_str());
        if (!streams_.inIsTerminal) {
            std::fprintf(streams_.out, "[not a terminal: %s]\n",
                         retryWhenUnattended_ ? "Retry" : "Cancel");
            std::fflush(streams_.out);
            return retryWhenUnattended_;
        }
    }
    bool retry = false;
    bool answered = false;
    for (int attempt = 0; attempt < kMaxQuestionAttempts && !answered; ++attempt) {
        {
            std::lock_guard lock(mutex_);
            asking_ = true;
            Prompt();
            std::fflush(streams_.out);
        }
        answered = ReadAnswer(retry);
        if (std::feof(streams_.in)) break;
    }
    std::lock_guard lock(mutex_);
    asking_ = false;
    if (answered) return retry;
    std::fputs("Cancel\n", streams_.out);
    std::fflush(streams_.out);
    return false;  // no usable answer: do not keep the job waiting
}

void ConsoleUi::Prompt() {
    std::fputs("[R]etry or [C]ancel? ", streams_.out);
}

void ConsoleUi::PromptIfAsking() {
    if (asking_) Prompt();
}

bool ConsoleUi::ReadAnswer(bool& retry) {
    char answer[kAnswerCapacity];
    if (std::fgets(answer, sizeof answer, streams_.in) == nullptr) return false;
    const char first = static_cast<char>(std::tolower(static_cast<unsigned char>(answer[0])));
    if (first != 'r' && first != 'c') return false;
    retry = first == 'r';
    return true;
}

std::unique_ptr<diag::ProgressWindow> ConsoleUi::CreateProgressWindow(const std::string& title,
                                                                      bool) {
    return std::make_unique<ConsoleUiProgressWindow>(title, quiet_ ? nullptr : streams_.out,
                                                     streams_.outIsTerminal);
}

std::string ConsoleUi::StageLine(const diag::JobStage& stage) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%7.3f s] ", stage.elapsedMs / 1000.0);
    if (stage.kind == diag::JobStageKind::kOutcome)
        return stamp + std::string("Outcome: ") + stage.outcome;  // the message follows it
    return stamp + stage.text;
}

void ConsoleUi::OnJobStage(const diag::JobStage& stage) {
    if (quiet_ && stage.kind != diag::JobStageKind::kOutcome) return;
    std::lock_guard lock(mutex_);
    std::fprintf(streams_.out, "%s%s\n", asking_ ? "\n" : "", StageLine(stage).c_str());
    PromptIfAsking();
    std::fflush(streams_.out);
}

}  // namespace cli
