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

    // The report's text; BoardReportFile writes it whole, so that a run stopped at
    // any moment leaves the last report.
    static std::string Csv(const std::vector<BoardResult>& results);
};

// "2.345": milliseconds as seconds, for the report and the JSON summary.
std::string SecondsText(std::uint32_t ms);

}  // namespace app
