// A replaced file on POSIX: the mode it had, 0666 less the umask when new, and under
// sudo the invoking user's (a report made mode 0600 by root is no use to them).
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "os/replace_file.h"
#include "tests/support/ScratchFolder.h"

namespace os {
namespace {

struct stat StatusOf(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
    return status;
}

mode_t ModeOf(const std::string& path) {
    return StatusOf(path).st_mode & 07777;
}

ReplaceOutcome Replace(const std::string& path, const std::string& text,
                       FileOwner owner = FileOwner::kProcess) {
    std::string error;
    const ReplaceOutcome outcome = ReplaceWholeFile(path, text, owner, error);
    EXPECT_EQ(outcome, ReplaceOutcome::kReplaced) << error;
    return outcome;
}

class ReplaceFileTest : public ::testing::Test {
  protected:
    ~ReplaceFileTest() override {
        umask(savedUmask_);
        unsetenv("SUDO_UID");
        unsetenv("SUDO_GID");
    }
    testsupport::ScratchFolder folder_;
    const mode_t savedUmask_ = umask(022);
};

TEST_F(ReplaceFileTest, ANewFileHas0666LessTheUmask) {
    for (const mode_t mask : {mode_t{022}, mode_t{027}, mode_t{0}, mode_t{077}}) {
        umask(mask);
        const std::string path = folder_.Path("new-" + std::to_string(mask));
        Replace(path, "text");
        EXPECT_EQ(ModeOf(path), 0666 & ~mask) << "umask " << mask;
    }
}

TEST_F(ReplaceFileTest, AReplacedFileKeepsItsModeAndNothingIsLeftBeside) {
    const std::string path = folder_.Write("report.csv", "old text, longer than the new");
    ASSERT_EQ(chmod(path.c_str(), 0604), 0);
    umask(077);
    Replace(path, "new");
    EXPECT_EQ(ModeOf(path), 0604u);
    EXPECT_EQ(folder_.Read("report.csv"), "new");
    EXPECT_EQ(folder_.Entries(), 1);
}

TEST_F(ReplaceFileTest, UnderSudoTheFileIsTheInvokingUsers) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root";
    setenv("SUDO_UID", "65534", 1);
    setenv("SUDO_GID", "65533", 1);
    const std::string report = folder_.Path("report.csv");
    Replace(report, "a", FileOwner::kInvokingUser);
    EXPECT_EQ(StatusOf(report).st_uid, 65534u);
    EXPECT_EQ(StatusOf(report).st_gid, 65533u);
    Replace(report, "b", FileOwner::kInvokingUser);  // and stays theirs
    EXPECT_EQ(StatusOf(report).st_uid, 65534u);
    // What the process keeps for itself (its settings) is not given away.
    const std::string own = folder_.Path("settings.ini");
    Replace(own, "a");
    EXPECT_EQ(StatusOf(own).st_uid, 0u);
    // Without sudo, root replacing someone's file leaves it theirs.
    unsetenv("SUDO_UID");
    ASSERT_EQ(chown(own.c_str(), 1234, 1235), 0);
    Replace(own, "b", FileOwner::kInvokingUser);
    EXPECT_EQ(StatusOf(own).st_uid, 1234u);
    EXPECT_EQ(StatusOf(own).st_gid, 1235u);
}

}  // namespace
}  // namespace os
