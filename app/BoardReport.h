// What a run of many boards did, row by row, as the CSV report the user keeps: one
// line per row of the board list, rows not reached marked "not-run".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/BoardList.h"

namespace app {

struct BoardResult {
    static constexpr const char* kNotRun = "not-run";

    BoardRow board;
    std::string outcome = kNotRun;  // an OutcomeName, or kNotRun
    std::string message;            // what the user was told last
    std::string hardwareAddress;    // as BOOTP saw it; empty when BOOTP gave no address
    std::string bootpAddress;
    std::optional<std::uint32_t> msFromAddressToResult;
    int attempts = 0;

    bool Programmed() const;
};

class BoardReport {
  public:
    static constexpr const char* kHeader =
        "row,hardware_address,bootp_address,ip,mac,nickname,outcome,seconds";

    static std::string Csv(const std::vector<BoardResult>& results);
    // Replaces `path` whole, so that a run stopped at any moment leaves the last report.
    static bool Write(const std::string& path, const std::vector<BoardResult>& results,
                      std::string& error);
};

// "2.345": milliseconds as seconds, for the report and the JSON summary.
std::string SecondsText(std::uint32_t ms);

}  // namespace app
