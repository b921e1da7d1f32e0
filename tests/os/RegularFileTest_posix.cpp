// Reading a file that must be regular: a FIFO or a device is refused at once, where a
// plain open of a FIFO without a writer would block for ever.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "os/regular_file.h"
#include "tests/support/ScratchFolder.h"

namespace os {
namespace {

using Result = FileRead::Result;

TEST(ReadRegularFile, OnlyARegularFileIsReadAndOnlyUpToTheLimit) {
    testsupport::ScratchFolder folder;
    const std::string fifo = folder.Path("image.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ReadRegularFile(fifo, 100).result, Result::kNotRegular);
    EXPECT_EQ(ReadRegularFile("/dev/zero", 100).result, Result::kNotRegular);
    EXPECT_EQ(ReadRegularFile(folder.Path(""), 100).result, Result::kFolder);
    const FileRead missing = ReadRegularFile(folder.Path("none"), 100);
    EXPECT_EQ(missing.result, Result::kFailed);
    EXPECT_EQ(missing.error, "No such file or directory");

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
