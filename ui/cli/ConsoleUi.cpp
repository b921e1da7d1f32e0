#include "ui/cli/ConsoleUi.h"

#include <cctype>
#include <cstring>

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

ConsoleUi::ConsoleUi(Streams streams, bool retryWhenUnattended, const std::string& applicationName)
    : streams_(streams), retryWhenUnattended_(retryWhenUnattended), store_(applicationName) {}

void ConsoleUi::ShowMessage(const std::string& text) {
    std::lock_guard lock(mutex_);
    std::fprintf(streams_.out, "\n%s\n", text.c_str());
    std::fflush(streams_.out);
}

bool ConsoleUi::AskRetryCancel(const std::string& text) {
    std::lock_guard lock(mutex_);
    std::fprintf(streams_.out, "\n%s\n", text.c_str());
    if (!streams_.inIsTerminal) {
        std::fprintf(streams_.out, "[not a terminal: %s]\n",
                     retryWhenUnattended_ ? "Retry" : "Cancel");
        std::fflush(streams_.out);
        return retryWhenUnattended_;
    }
    for (int attempt = 0; attempt < kMaxQuestionAttempts; ++attempt) {
        std::fputs("[R]etry or [C]ancel? ", streams_.out);
        std::fflush(streams_.out);
        bool retry = false;
        if (ReadAnswer(retry)) return retry;
        if (std::feof(streams_.in)) break;
    }
    std::fputs("Cancel\n", streams_.out);
    std::fflush(streams_.out);
    return false;  // no usable answer: do not keep the job waiting
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
    return std::make_unique<ConsoleUiProgressWindow>(title, streams_.out, streams_.outIsTerminal);
}

int ConsoleUi::GetInt(const std::string& section, const std::string& key, int defaultValue) const {
    std::lock_guard lock(mutex_);
    return store_.GetInt(section, key, defaultValue);
}

bool ConsoleUi::SetInt(const std::string& section, const std::string& key, int value) {
    std::lock_guard lock(mutex_);
    return store_.SetInt(section, key, value);
}

}  // namespace cli
