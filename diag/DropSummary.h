// Keeps a flood of dropped datagrams from flooding the log. Within each interval the
// first few drops are logged in full by the caller; the rest are only counted, and
// their number is logged in one line when the interval is over (at the next drop, or
// at Flush). So a sustained flood writes a few lines per interval, whatever its rate.
//
// One thread uses an object; times are the caller's millisecond ticks (wrapping).
#pragma once

#include <cstdint>
#include <string>

namespace diag {

class DropSummary {
  public:
    static constexpr int kFullLinesPerInterval = 8;
    static constexpr std::uint32_t kIntervalMs = 5000;

    // `context` starts the summary line, as "CBootP::HandleRead( 1 )"; `what` names
    // the things counted in it.
    explicit DropSummary(std::string context, std::string what = "datagrams dropped");

    // One more drop at `nowMs`: true when the caller should log it in full.
    bool Note(std::uint32_t nowMs);
    // Logs the count of drops not logged in full, if any.
    void Flush(std::uint32_t nowMs);

    std::uint64_t Total() const { return total_; }
    std::uint64_t Unlogged() const { return unlogged_; }

  private:
    std::string context_;
    std::string what_;
    std::uint32_t intervalStart_ = 0;
    bool started_ = false;
    int fullLinesLeft_ = 0;
    std::uint64_t unlogged_ = 0;
    std::uint64_t total_ = 0;
};

}  // namespace diag
