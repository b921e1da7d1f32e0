#include "diag/ProgressRules.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "tests/diag/RecordingUiPort.h"

namespace diag {
namespace {

constexpr int kImageSize = 21532;
constexpr int kBlock = 512;
constexpr int kContentSize = 21504;

TEST(ProgressPercent, RoundsHalvesUpAndTruncatesTowardZero) {
    EXPECT_EQ(ProgressPercent(50, 0, 10000), 1);  // 0.5 %
    EXPECT_EQ(ProgressPercent(49, 0, 10000), 0);  // 0.49 %
    EXPECT_EQ(ProgressPercent(10000, 0, 10000), 100);
    EXPECT_EQ(ProgressPercent(150, 100, 200), 50);
    // Below the range: -1.49 % + 0.5 truncates to 0, -1.5 % + 0.5 is exactly -1.
    EXPECT_EQ(ProgressPercent(-149, 0, 10000), 0);
    EXPECT_EQ(ProgressPercent(-150, 0, 10000), -1);
}

TEST(ProgressPercent, EmptyOrInvertedRangeIsZeroWithoutDividing) {
    EXPECT_EQ(ProgressPercent(5, 7, 7), 0);
    EXPECT_EQ(ProgressPercent(5, 9, 3), 0);
}

TEST(ProgressPercent, ExtremeRangesDoNotOverflow) {
    EXPECT_EQ(ProgressPercent(INT_MAX, INT_MIN, INT_MAX), 100);
    EXPECT_EQ(ProgressPercent(0, INT_MIN, INT_MAX), 50);
    EXPECT_EQ(ProgressPercent(INT_MAX, 0, 1), INT_MAX);
}

TEST(ProgressRules, CaptionStaysBareUntilThePercentageChanges) {
    ProgressRules rules("Tftp Uploading");
    rules.SetRange(0, kImageSize, 1);
    EXPECT_FALSE(rules.SetPos(0));
    EXPECT_EQ(rules.Caption(), "Tftp Uploading");
    EXPECT_TRUE(rules.SetPos(kBlock));
    EXPECT_EQ(rules.Caption(), "Tftp Uploading [2%]");
    EXPECT_FALSE(rules.SetPos(kBlock + 1));  // still 2 %
    EXPECT_EQ(rules.Position(), kBlock + 1);
}

TEST(ProgressRules, ARestartAtZeroShowsZeroPercent) {
    ProgressRules rules("Tftp Uploading");
    rules.SetRange(0, kImageSize, 1);
    rules.SetPos(10 * kBlock);
    EXPECT_TRUE(rules.SetPos(0));
    EXPECT_EQ(rules.Caption(), "Tftp Uploading [0%]");
}

TEST(ProgressRules, AWholeImageRunsThroughTwoFiveSevenTenUpToHundred) {
    ProgressRules rules("Tftp Uploading");
    rules.SetRange(0, kImageSize, 1);
    std::vector<std::string> captions{rules.Caption()};
    for (int position = 0; position <= kContentSize; position += kBlock)
        if (rules.SetPos(position)) captions.push_back(rules.Caption());
    ASSERT_EQ(captions.size(), 43u);  // the bare title and one per block after the first
    EXPECT_EQ(captions[0], "Tftp Uploading");
    EXPECT_EQ(captions[1], "Tftp Uploading [2%]");
    EXPECT_EQ(captions[2], "Tftp Uploading [5%]");
    EXPECT_EQ(captions[3], "Tftp Uploading [7%]");
    EXPECT_EQ(captions[4], "Tftp Uploading [10%]");
    EXPECT_EQ(captions.back(), "Tftp Uploading [100%]");  // 21,504 of 21,532
}

TEST(ProgressRules, RangeChangeKeepsThePositionAndLastPercent) {
    ProgressRules rules("FPGA Uploading");
    rules.SetPos(40);
    rules.SetRange(0, 1000, 5);
    EXPECT_EQ(rules.Position(), 40);
    EXPECT_EQ(rules.LastPercent(), 40);
    EXPECT_EQ(rules.Step(), 5);
    EXPECT_TRUE(rules.SetPos(40));  // now 4 %
    EXPECT_EQ(rules.Caption(), "FPGA Uploading [4%]");
}

class PositionMemory : public ::testing::Test {
  protected:
    RecordingUiPort ui_;
    SettingsPort& settings_ = ui_.Settings();
};

TEST_F(PositionMemory, SavedCornerOnTheScreenIsRestored) {
    SavePosition(settings_, {120, 340});
    EXPECT_EQ(settings_.GetInt("Settings", "X", -1), 120);
    EXPECT_EQ(settings_.GetInt("Settings", "Y", -1), 340);
    EXPECT_EQ(RestoredPosition(settings_, 1024, 768), (ScreenPoint{120, 340}));
}

TEST_F(PositionMemory, MissingOrOffScreenCornerMeansCentre) {
    EXPECT_FALSE(RestoredPosition(settings_, 1024, 768).has_value());
    SavePosition(settings_, {1024, 10});  // just past the right edge
    EXPECT_FALSE(RestoredPosition(settings_, 1024, 768).has_value());
    SavePosition(settings_, {10, 768});
    EXPECT_FALSE(RestoredPosition(settings_, 1024, 768).has_value());
    SavePosition(settings_, {-5, 10});
    EXPECT_FALSE(RestoredPosition(settings_, 1024, 768).has_value());
    SavePosition(settings_, {0, 0});
    EXPECT_EQ(RestoredPosition(settings_, 1024, 768), (ScreenPoint{0, 0}));
}

TEST_F(PositionMemory, SeveralScreensRestoreACornerOnAnyOfThem) {
    // Two screens side by side, 1024 x 768 and 1280 x 1024 to its right.
    const auto onAScreen = [](ScreenPoint corner) {
        return (corner.x < 1024 && corner.y < 768) ||
               (corner.x >= 1024 && corner.x < 2304 && corner.y < 1024);
    };
    SavePosition(settings_, {1500, 900});  // on the second screen only
    EXPECT_EQ(RestoredPosition(settings_, onAScreen), (ScreenPoint{1500, 900}));
    EXPECT_FALSE(RestoredPosition(settings_, 1024, 768).has_value());
    SavePosition(settings_, {500, 900});  // below the first, left of the second
    EXPECT_FALSE(RestoredPosition(settings_, onAScreen).has_value());
    SavePosition(settings_, {-1, 100});  // missing, or where no point is restored
    EXPECT_FALSE(RestoredPosition(settings_, [](ScreenPoint) { return true; }).has_value());
}

TEST(UiPortDefault, AnswersCancelAndTracksCaptions) {
    SetUiPort(nullptr);
    EXPECT_FALSE(Ui().AskRetryCancel("anyone there?"));
    auto window = Ui().CreateProgressWindow("Tftp Uploading", true);
    ASSERT_NE(window, nullptr);
    window->SetRange(0, 100, 1);
    window->SetPos(50);
    EXPECT_EQ(window->Caption(), "Tftp Uploading [50%]");
    EXPECT_FALSE(window->IsCancelled());
}

}  // namespace
}  // namespace diag
