// A FIFO or a device is no image: refused at once, where a plain open of a FIFO
// without a writer would block for ever and a device would never end.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "os/regular_file.h"
#include "tests/support/ScratchFolder.h"

namespace os {
namespace {

TEST(ReadRegularFile, AFifoOrADeviceIsRefusedWithoutWaiting) {
    testsupport::ScratchFolder folder;
    const std::string fifo = folder.Path("image.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ReadRegularFile(fifo, 100).result, FileRead::Result::kNotRegular);
    EXPECT_EQ(ReadRegularFile("/dev/zero", 100).result, FileRead::Result::kNotRegular);
}

}  // namespace
}  // namespace os
