// `program --boards FILE`: a run of many boards from a CSV list, with a CSV report
// rewritten after every board and, with --json, a summary of every row.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "app/BoardList.h"
#include "app/BoardReportFile.h"
#include "app/ProgrammingJob.h"
#include "app/ServedImage.h"

namespace cli {

struct BoardsRequest {
    std::string listPath;
    std::string reportPath;  // empty: no report
    bool retryFailed = false;
    bool json = false;
    std::string imagePath;  // empty: the built-in image
};

struct BoardsPlan {
    BoardsRequest request;
    std::vector<app::BoardRow> rows;
    std::optional<app::BoardReportFile> report;
    bool reportHeld = false;  // said once: another program held the report open
};

// Reads and checks the list, and writes the report's first version (every row
// "not-run"), so that a list or report problem is found before any board. The report
// may be neither the list nor the image (compared as files, not as names). A report
// that another program holds open is no reason to stop: it is said, and written
// when it is free or at the end.
std::optional<BoardsPlan> PrepareBoards(const BoardsRequest& request, std::string& error);

// Programs the boards; the exit status: 0 when every row was programmed and the
// report (if asked for) written, else 1. `stopAfterBoard`, set (by Ctrl-C), ends the
// run after the current board.
int RunBoards(BoardsPlan& plan, const app::JobOptions& options, const app::ServedImage& image,
              const std::atomic<bool>& stopAfterBoard);

}  // namespace cli
