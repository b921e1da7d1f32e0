// Many boards in a row: one programming job per row of a board list, each with a new
// device, in order, then (when asked) each failed row once more. A board programmed
// in the run is never answered or heard again in it: its hardware address leaves
// BOOTP's admission, and its configured address (and, for the next job, the address it
// had there) is refused: BOOTP never gives it and the link never takes it for its
// peer. Runs on the caller's thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/BoardReport.h"
#include "app/ProgrammingJob.h"
#include "net/hardware_address.h"

namespace app {

class BoardRun {
  public:
    struct Hooks {
        // Before each job: what to tell the user (BoardPrompt's text).
        std::function<void(const std::string& prompt)> beforeBoard;
        // After each job: its row's result, and every row's so far.
        std::function<void(const BoardResult& result, const std::vector<BoardResult>& results)>
            afterBoard;
    };

    // `options` are every job's; their cancel flag ends the run as well as the job.
    BoardRun(std::vector<BoardRow> rows, JobOptions options);

    // Programs the rows; `stopAfterBoard`, once set, ends the run between two boards.
    void Run(bool retryFailed, const std::atomic<bool>* stopAfterBoard, const Hooks& hooks);

    const std::vector<BoardResult>& Results() const { return results_; }
    bool AllProgrammed() const;
    // The run ended before every row had its turn.
    bool Interrupted() const { return interrupted_; }

  private:
    void Program(BoardResult& result, bool retry, const Hooks& hooks);
    void Remember(const BoardResult& result, const JobReport& report);
    bool Stopping(const std::atomic<bool>* stopAfterBoard) const;

    std::vector<BoardResult> results_;
    JobOptions options_;
    std::vector<net::EthernetAddress> programmedHardware_;
    std::vector<std::uint32_t> configuredAddresses_;  // network order, every board's
    std::vector<std::uint32_t> lastBoardAddresses_;   // the last board's BOOTP and link ones
    bool interrupted_ = false;
};

// "Board 3 of 12: fit the BOOTP jumper and power it on".
std::string BoardPrompt(int row, std::size_t count, bool retry);

}  // namespace app
