#include "diag/DropSummary.h"

#include <utility>

#include "diag/CLog.h"

namespace diag {

DropSummary::DropSummary(std::string context, std::string what)
    : context_(std::move(context)), what_(std::move(what)) {}

bool DropSummary::Note(std::uint32_t nowMs) {
    ++total_;
    if (!started_ || nowMs - intervalStart_ >= kIntervalMs) {
        Flush(nowMs);
        started_ = true;
        intervalStart_ = nowMs;
        fullLinesLeft_ = kFullLinesPerInterval;
    }
    if (fullLinesLeft_ > 0) {
        --fullLinesLeft_;
        return true;
    }
    ++unlogged_;
    return false;
}

void DropSummary::Flush(std::uint32_t nowMs) {
    if (unlogged_ == 0) return;
    theLog.Print("%s - %llu more %s in %u ms, not logged one by one", context_.c_str(),
                 static_cast<unsigned long long>(unlogged_), what_.c_str(),
                 static_cast<unsigned>(nowMs - intervalStart_));
    unlogged_ = 0;
}

}  // namespace diag
