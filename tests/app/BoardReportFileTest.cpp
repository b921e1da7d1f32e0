// The report file of a run: replaced whole, and a report another program holds open
// neither stops the run nor is lost.
#include "app/BoardReportFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

namespace app {
namespace {

using os::ReplaceOutcome;

std::vector<BoardResult> Results(const std::string& outcome) {
    std::vector<BoardResult> results(1);
    results[0].board.row = 1;
    results[0].board.fields.ip = "10.9.9.21";
    results[0].outcome = outcome;
    return results;
}

// Files that another program holds open until `heldFor` writes to them have failed.
struct FakeFiles {
    std::map<std::string, int> heldFor;
    std::map<std::string, std::string> written;
    int writes = 0;

    BoardReportFile::Writer Writer() {
        return [this](const std::string& path, const std::string& text, std::string& error) {
            ++writes;
            if (heldFor[path] > 0) {
                --heldFor[path];
                error = "held";
                return ReplaceOutcome::kHeld;
            }
            written[path] = text;
            return ReplaceOutcome::kReplaced;
        };
    }
};

TEST(BoardReportFile, AReportHeldDuringTheRunIsWrittenWhenItIsFreeAtTheEnd) {
    FakeFiles files;
    files.heldFor["report.csv"] = 3;
    int pauses = 0;
    BoardReportFile report("report.csv", files.Writer(), [&] { ++pauses; });
    std::string error;
    EXPECT_EQ(report.Write(Results("not-run"), error), ReplaceOutcome::kHeld);
    EXPECT_EQ(report.Write(Results("programmed"), error), ReplaceOutcome::kHeld);
    EXPECT_EQ(report.Finish(error), "report.csv");
    EXPECT_EQ(files.written["report.csv"], BoardReport::Csv(Results("programmed")));
    EXPECT_EQ(pauses, 1);
    EXPECT_EQ(files.written.count("report.csv.new"), 0u);
}

TEST(BoardReportFile, AReportStillHeldAtTheEndIsWrittenBesideItAsNew) {
    FakeFiles files;
    files.heldFor["report.csv"] = 1000;
    int pauses = 0;
    BoardReportFile report("report.csv", files.Writer(), [&] { ++pauses; });
    std::string error;
    EXPECT_EQ(report.Write(Results("programmed"), error), ReplaceOutcome::kHeld);
    EXPECT_EQ(report.Finish(error), "report.csv.new");
    EXPECT_EQ(files.written["report.csv.new"], BoardReport::Csv(Results("programmed")));
    EXPECT_EQ(pauses, BoardReportFile::kFinalTries - 1);
    // Nothing was pending once the report took the last results.
    FakeFiles free;
    BoardReportFile taken("r.csv", free.Writer(), [] {});
    EXPECT_EQ(taken.Write(Results("programmed"), error), ReplaceOutcome::kReplaced);
    EXPECT_EQ(taken.Finish(error), "r.csv");
    EXPECT_EQ(free.writes, 1);
}

TEST(BoardReportFile, WritingReplacesTheFileWholeAndLeavesNothingBeside) {
    const auto folder = std::filesystem::temp_directory_path() /
                        ("emcb-report-test-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "report.csv").string();
    std::ofstream(path) << "an older, longer report that must not survive in part\n";
    BoardReportFile report(path);
    std::string error;
    ASSERT_EQ(report.Write(Results("not-run"), error), ReplaceOutcome::kReplaced) << error;
    {
        std::ifstream file(path, std::ios::binary);  // closed before the folder goes (Windows)
        std::ostringstream text;
        text << file.rdbuf();
        EXPECT_EQ(text.str(), BoardReport::Csv(Results("not-run")));
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                            std::filesystem::directory_iterator()),
              1);
    // A report that cannot be written anywhere is not said to be written.
    BoardReportFile nowhere((folder / "missing" / "r.csv").string(), {}, [] {});
    EXPECT_EQ(nowhere.Write(Results("programmed"), error), ReplaceOutcome::kFailed);
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(nowhere.Finish(error));
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

}  // namespace
}  // namespace app
