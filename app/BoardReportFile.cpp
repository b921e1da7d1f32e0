#include "app/BoardReportFile.h"

#include <utility>

#include "os/clock.h"

namespace app {

BoardReportFile::BoardReportFile(std::string path, Writer writer, std::function<void()> pause)
    : path_(std::move(path)), writer_(std::move(writer)), pause_(std::move(pause)) {
    if (!writer_) {
        writer_ = [](const std::string& to, const std::string& text, std::string& error) {
            return os::ReplaceWholeFile(to, text, os::FileOwner::kInvokingUser, error);
        };
    }
    if (!pause_) pause_ = [] { os::SleepMs(kFinalPauseMs); };
}

os::ReplaceOutcome BoardReportFile::Write(const std::vector<BoardResult>& results,
                                          std::string& error) {
    const std::string text = BoardReport::Csv(results);
    const os::ReplaceOutcome outcome = writer_(path_, text, error);
    if (outcome == os::ReplaceOutcome::kReplaced)
        pending_.reset();
    else
        pending_ = text;
    return outcome;
}

std::optional<std::string> BoardReportFile::Finish(std::string& error) {
    if (!pending_) return path_;
    for (int attempt = 0; attempt < kFinalTries; ++attempt) {
        if (attempt > 0) pause_();
        const os::ReplaceOutcome outcome = writer_(path_, *pending_, error);
        if (outcome == os::ReplaceOutcome::kReplaced) {
            pending_.reset();
            return path_;
        }
        if (outcome == os::ReplaceOutcome::kFailed) break;
    }
    if (writer_(FallbackPath(), *pending_, error) != os::ReplaceOutcome::kReplaced)
        return std::nullopt;
    pending_.reset();
    return FallbackPath();
}

}  // namespace app
