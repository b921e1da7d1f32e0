#include "app/BoardReport.h"

#include <cstdio>

#include "app/CsvTable.h"
#include "app/ProgrammingJob.h"

namespace app {

bool BoardResult::Programmed() const {
    return outcome == OutcomeName(JobOutcome::kProgrammed);
}

std::string SecondsText(std::uint32_t ms) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%03u", ms / 1000, ms % 1000);
    return text;
}

std::string BoardReport::Csv(const std::vector<BoardResult>& results) {
    std::string csv = std::string(kHeader) + "\n";
    for (const BoardResult& result : results) {
        const JobFields& fields = result.board.fields;
        csv += CsvLine(
            {std::to_string(result.board.row), result.hardwareAddress, result.bootpAddress,
             fields.ip, fields.mac, fields.nickname, result.outcome,
             result.msFromAddressToResult ? SecondsText(*result.msFromAddressToResult) : ""});
        csv += '\n';
    }
    return csv;
}

}  // namespace app
