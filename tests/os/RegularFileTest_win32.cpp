// A pipe or a device is no image.
#include <gtest/gtest.h>

#include "os/regular_file.h"
#include "os/windows_headers.h"

namespace os {
namespace {

TEST(ReadRegularFile, APipeOrADeviceIsRefused) {
    const std::string pipeName = "\\\\.\\pipe\\emcb-image-" + std::to_string(GetCurrentProcessId());
    const HANDLE pipe = CreateNamedPipeA(pipeName.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1,
                                         512, 512, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    EXPECT_NE(ReadRegularFile(pipeName, 100).result, FileRead::Result::kRead);
    CloseHandle(pipe);
    EXPECT_NE(ReadRegularFile("NUL", 100).result, FileRead::Result::kRead);
}

}  // namespace
}  // namespace os
