// `program --boards FILE`: a run of many boards from a CSV list, with a CSV report
// rewritten after every board and, with --json, a summary of every row.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "app/BoardList.h"
#include "app/ProgrammingJob.h"
#include "app/ServedImage.h"

namespace cli {

struct BoardsRequest {
    std::string listPath;
    std::string reportPath;  // empty: no report
    bool retryFailed = false;
    bool json = false;
};

struct BoardsPlan {
    BoardsRequest request;
    std::vector<app::BoardRow> rows;
};

// Reads and checks the list, and writes the report's first version (every row
// "not-run"), so that a list or report problem is found before any board.
std::optional<BoardsPlan> PrepareBoards(const BoardsRequest& request, std::string& error);

// Programs the boards; the exit status: 0 when every row was programmed, else 1.
// `stopAfterBoard`, set (by Ctrl-C), ends the run after the current board.
int RunBoards(const BoardsPlan& plan, const app::JobOptions& options, const app::ServedImage& image,
              const std::atomic<bool>& stopAfterBoard);

}  // namespace cli
