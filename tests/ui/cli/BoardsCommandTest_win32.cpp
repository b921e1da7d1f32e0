// A run whose report a spreadsheet holds open: the run goes on, and its report ends
// up beside the held one as REPORT.new.
#include <gtest/gtest.h>

#include <atomic>

#include "os/windows_headers.h"
#include "tests/support/NoBoardJobOptions.h"
#include "tests/support/ScratchFolder.h"
#include "ui/cli/BoardsCommand.h"

namespace cli {
namespace {

TEST(BoardsCommand, AReportHeldOpenThroughTheRunIsWrittenAsReportNew) {
    testsupport::ScratchFolder folder;
    const std::string list = folder.Write("boards.csv", "ip,nickname\n10.9.9.21,=held\n");
    const std::string report = folder.Write("report.csv", "the spreadsheet's copy");
    const HANDLE held = CreateFileA(report.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    std::string error;
    auto plan = PrepareBoards({list, report, false, false, ""}, error);
    ASSERT_TRUE(plan) << error;
    const std::atomic<bool> stop{false};
    EXPECT_EQ(RunBoards(*plan, testsupport::NoBoardJobOptions(), app::ServedImage::BuiltIn(), stop),
              1);
    CloseHandle(held);

    EXPECT_EQ(folder.Read("report.csv"), "the spreadsheet's copy");
    const std::string written = folder.Read("report.csv.new");
    EXPECT_NE(written.find(",\"'=held\",no-board,"), std::string::npos) << written;
}

}  // namespace
}  // namespace cli
