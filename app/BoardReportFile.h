// The report file of a run, rewritten whole after every board. While another program
// holds it open so that it cannot be replaced (a spreadsheet, on Windows), the run
// goes on; at its end the report is tried again, a few times, and if it is still
// held the last report is written beside it as REPORT.new.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/BoardReport.h"
#include "os/replace_file.h"

namespace app {

class BoardReportFile {
  public:
    using Writer = std::function<os::ReplaceOutcome(const std::string& path,
                                                    const std::string& text, std::string& error)>;
    static constexpr int kFinalTries = 5;
    static constexpr std::uint32_t kFinalPauseMs = 1000;

    // `writer`: os::ReplaceWholeFile for the invoking user (tests inject one); `pause` runs
    // between the final tries.
    explicit BoardReportFile(std::string path, Writer writer = {},
                             std::function<void()> pause = {});

    // The report now holds `results` (kReplaced), or another program holds it (kHeld),
    // or it cannot be written (kFailed, `error`); either way Finish tries again.
    os::ReplaceOutcome Write(const std::vector<BoardResult>& results, std::string& error);

    // After the run: the file that holds the last results written or kept, the report
    // itself or REPORT.new; nothing, with `error`, when neither could be written.
    std::optional<std::string> Finish(std::string& error);

    const std::string& Path() const { return path_; }
    std::string FallbackPath() const { return path_ + ".new"; }

  private:
    std::string path_;
    Writer writer_;
    std::function<void()> pause_;
    std::optional<std::string> pending_;  // the text a held report has not taken yet
};

}  // namespace app
