// Test support: the lines of the process log, collected while a test runs.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "diag/CLog.h"

namespace net {

// Collects the lines of the process log while a test runs.
class LogCapture {
  public:
    LogCapture() {
        diag::theLog.SetConsole(nullptr);
        diag::theLog.SetListBox([this](const char* line) {
            std::lock_guard lock(mutex_);
            lines_.emplace_back(line);
        });
    }
    ~LogCapture() {
        diag::theLog.ClearListBox();
        diag::theLog.SetConsole(stdout);
    }
    bool Contains(const std::string& text) {
        std::lock_guard lock(mutex_);
        for (const auto& line : lines_)
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

    int Count(const std::string& text) {
        std::lock_guard lock(mutex_);
        int count = 0;
        for (const auto& line : lines_)
            count += line.find(text) != std::string::npos;
        return count;
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace net
