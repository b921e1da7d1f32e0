// Reading a file that must be regular, as every platform does it: a folder, a missing
// file, a file read whole and one over the limit, never read.
#include "os/regular_file.h"

#include <gtest/gtest.h>

#include "tests/support/ScratchFolder.h"

namespace os {
namespace {

using Result = FileRead::Result;

TEST(ReadRegularFile, AFileIsReadWholeAndOnlyUpToTheLimit) {
    testsupport::ScratchFolder folder;
    EXPECT_EQ(ReadRegularFile(folder.Path(""), 100).result, Result::kFolder);
    const FileRead missing = ReadRegularFile(folder.Path("none"), 100);
    EXPECT_EQ(missing.result, Result::kFailed);
    EXPECT_FALSE(missing.error.empty());
    const std::string file = folder.Write("image.bin", "0123456789");
    const FileRead read = ReadRegularFile(file, 10);
    EXPECT_EQ(read.result, Result::kRead);
    EXPECT_EQ(std::string(read.bytes.begin(), read.bytes.end()), "0123456789");
    const FileRead tooLong = ReadRegularFile(file, 9);
    EXPECT_EQ(tooLong.result, Result::kTooLong);
    EXPECT_EQ(tooLong.size, 10u);
    EXPECT_TRUE(tooLong.bytes.empty());
}

}  // namespace
}  // namespace os
