// The boards of a run, read from a CSV file with a header row naming the columns
// `ip`, `mac` and `nickname` (any order; `mac` and `nickname` may be left out or
// empty, meaning the defaults). A row whose fields are all empty is no board (a
// spreadsheet writes a cleared row as ",,"). Every row is checked before the first
// board, its addresses as they stand and no field holding a byte below 0x20: a
// problem is reported with its line, and nothing is returned.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/ProgrammingJob.h"

namespace app {

struct BoardRow {
    int row = 0;   // among the boards, from 1
    int line = 0;  // in the file, from 1
    JobFields fields;
};

class BoardList {
  public:
    static constexpr std::size_t kMaxRows = 1000;

    // The rows of `text`; `name` is how messages call the file.
    static std::optional<std::vector<BoardRow>> Parse(const std::string& text,
                                                      const std::string& name, std::string& error);
    static std::optional<std::vector<BoardRow>> Load(const std::string& path, std::string& error);
};

}  // namespace app
