// A run of many boards before its first board: the report may replace neither the
// list nor the firmware image, whatever name it is given.
#include "ui/cli/BoardsCommand.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/ScratchFolder.h"

namespace cli {
namespace {

TEST(BoardsCommand, TheReportMayBeNeitherTheListNorTheImageByAnyName) {
    testsupport::ScratchFolder folder;
    const std::string list = folder.Write("boards.csv", "ip\n10.9.9.21\n");
    const std::string image = folder.Write("image.bin", std::string(28, 'i'));
    const std::string link = folder.Path("image-link.bin");
    std::filesystem::create_hard_link(image, link);
    const std::string otherSpelling =
        (std::filesystem::path(folder.Path("")) / "." / "boards.csv").string();
    const struct {
        std::string report;
        const char* refusal;
    } cases[] = {
        {list, "would replace the list of boards"},
        {otherSpelling, "would replace the list of boards"},
        {image, "would replace the firmware image"},
        {link, "would replace the firmware image"},
    };
    for (const auto& entry : cases) {
        std::string error;
        EXPECT_FALSE(PrepareBoards({list, entry.report, false, false, image}, error))
            << entry.report;
        EXPECT_NE(error.find(entry.refusal), std::string::npos) << entry.report << ": " << error;
    }
    EXPECT_EQ(folder.Read("image.bin"), std::string(28, 'i'));
    EXPECT_EQ(folder.Read("boards.csv"), "ip\n10.9.9.21\n");

    // A report that does not exist yet is no other file.
    std::string error;
    const auto plan = PrepareBoards({list, folder.Path("report.csv"), false, false, image}, error);
    ASSERT_TRUE(plan) << error;
    EXPECT_NE(folder.Read("report.csv").find(",not-run,"), std::string::npos);
}

}  // namespace
}  // namespace cli
