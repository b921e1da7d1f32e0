// Reading a file that must be regular: a pipe or a device is refused.
#include <gtest/gtest.h>

#include "os/regular_file.h"
#include "os/windows_headers.h"
#include "tests/support/ScratchFolder.h"

namespace os {
namespace {

using Result = FileRead::Result;

TEST(ReadRegularFile, OnlyARegularFileIsReadAndOnlyUpToTheLimit) {
    const std::string pipeName = "\\\\.\\pipe\\emcb-image-" + std::to_string(GetCurrentProcessId());
    const HANDLE pipe = CreateNamedPipeA(pipeName.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1,
                                         512, 512, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    EXPECT_NE(ReadRegularFile(pipeName, 100).result, Result::kRead);
    CloseHandle(pipe);
    EXPECT_NE(ReadRegularFile("NUL", 100).result, Result::kRead);

    testsupport::ScratchFolder folder;
    EXPECT_EQ(ReadRegularFile(folder.Path(""), 100).result, Result::kFolder);
    EXPECT_EQ(ReadRegularFile(folder.Path("none"), 100).result, Result::kFailed);
    const std::string file = folder.Write("image.bin", "0123456789");
    const FileRead read = ReadRegularFile(file, 10);
    EXPECT_EQ(read.result, Result::kRead);
    EXPECT_EQ(std::string(read.bytes.begin(), read.bytes.end()), "0123456789");
    const FileRead tooLong = ReadRegularFile(file, 9);
    EXPECT_EQ(tooLong.result, Result::kTooLong);
    EXPECT_EQ(tooLong.size, 10u);
}

}  // namespace
}  // namespace os
