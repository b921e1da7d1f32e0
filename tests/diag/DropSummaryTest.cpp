#include "diag/DropSummary.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diag/CLog.h"

namespace diag {
namespace {

class DropSummaryTest : public ::testing::Test {
  protected:
    DropSummaryTest() {
        theLog.SetConsole(nullptr);
        theLog.SetListBox([this](const char* line) { lines_.emplace_back(line); });
    }
    ~DropSummaryTest() override {
        theLog.ClearListBox();
        theLog.SetConsole(stdout);
    }
    std::vector<std::string> lines_;
};

TEST_F(DropSummaryTest, FirstDropsOfAnIntervalAreLoggedInFullTheRestCountedOnce) {
    DropSummary drops("Ctx");
    int full = 0;
    for (int k = 0; k < 1000; ++k)
        full += drops.Note(100 + static_cast<std::uint32_t>(k));
    EXPECT_EQ(full, DropSummary::kFullLinesPerInterval);
    EXPECT_TRUE(lines_.empty());
    EXPECT_TRUE(drops.Note(100 + DropSummary::kIntervalMs));  // a new interval
    ASSERT_EQ(lines_.size(), 1u);
    EXPECT_NE(lines_[0].find("Ctx - 992 more datagrams dropped in 5000 ms"), std::string::npos)
        << lines_[0];
    EXPECT_EQ(drops.Total(), 1001u);
}

TEST_F(DropSummaryTest, FlushLogsOnlyWhatWasNotLogged) {
    DropSummary drops("Ctx");
    drops.Note(0);
    drops.Flush(10);
    EXPECT_TRUE(lines_.empty());
    for (int k = 0; k < DropSummary::kFullLinesPerInterval + 3; ++k)
        drops.Note(20);
    drops.Flush(30);
    drops.Flush(40);
    ASSERT_EQ(lines_.size(), 1u);
    EXPECT_NE(lines_[0].find("Ctx - 4 more datagrams"), std::string::npos) << lines_[0];
}

TEST_F(DropSummaryTest, IntervalsHoldAcrossAWrapOfTheTickCount) {
    DropSummary drops("Ctx");
    for (int k = 0; k <= DropSummary::kFullLinesPerInterval; ++k)
        drops.Note(0xFFFFFF00u);
    EXPECT_FALSE(drops.Note(0x00000100u));  // 512 ms later: the same interval
    EXPECT_TRUE(drops.Note(0xFFFFFF00u + DropSummary::kIntervalMs));
}

}  // namespace
}  // namespace diag
