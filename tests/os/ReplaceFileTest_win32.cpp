// A replaced file on Windows: one that another program holds open without sharing
// its deletion (as a spreadsheet does) is reported held, left as it was, and
// replaced once it is let go.
#include <gtest/gtest.h>

#include "os/replace_file.h"
#include "os/windows_headers.h"
#include "tests/support/ScratchFolder.h"

namespace os {
namespace {

TEST(ReplaceWholeFile, AFileHeldOpenIsReportedHeldAndReplacedOnceLetGo) {
    testsupport::ScratchFolder folder;
    const std::string path = folder.Write("report.csv", "old");
    for (const DWORD sharing :
         {DWORD{FILE_SHARE_READ}, DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE}}) {
        const HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        std::string error;
        EXPECT_EQ(ReplaceWholeFile(path, "new", FileOwner::kInvokingUser, error),
                  ReplaceOutcome::kHeld)
            << error;
        CloseHandle(held);
        EXPECT_EQ(folder.Read("report.csv"), "old");
        EXPECT_EQ(folder.Entries(), 1);
    }
    std::string error;
    EXPECT_EQ(ReplaceWholeFile(path, "new", FileOwner::kInvokingUser, error),
              ReplaceOutcome::kReplaced)
        << error;
    EXPECT_EQ(folder.Read("report.csv"), "new");
    // A folder that is not there is a failure, not a file held by someone.
    EXPECT_EQ(ReplaceWholeFile(folder.Path("missing\\r.csv"), "x", FileOwner::kProcess, error),
              ReplaceOutcome::kFailed);
}

}  // namespace
}  // namespace os
