#include "os/settings_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "os/ini_document.h"
#include "tests/support/ScratchSettings.h"

namespace os {
namespace {

TEST(SettingsStore, ValuesSurviveANewStoreAndMissingOnesGiveTheDefault) {
    const testsupport::ScratchSettings scratch;
    SettingsStore store = scratch.Store();
    EXPECT_EQ(store.GetInt("Settings", "Nothing", -1), -1);
    ASSERT_TRUE(store.SetInt("Settings", "X", 120));
    ASSERT_TRUE(store.SetInt("Settings", "Y", -7));
    ASSERT_TRUE(store.SetInt("Other", "X", 5));
    ASSERT_TRUE(store.SetInt("Settings", "X", 130));
    const SettingsStore again = scratch.Store();
    EXPECT_EQ(again.GetInt("Settings", "X", -1), 130);
    EXPECT_EQ(again.GetInt("Settings", "Y", -1), -7);
    EXPECT_EQ(again.GetInt("Other", "X", -1), 5);
    EXPECT_TRUE(store.RemoveAll());
    EXPECT_EQ(again.GetInt("Settings", "X", -1), -1);
}

TEST(SettingsStore, ScratchRootsAreTheTestsOwnAndNotTheUsers) {
    const SettingsStore users("emcb-test");
    const SettingsStore scratch("emcb-test", SettingsStore::ScratchRoot("a"));
    EXPECT_NE(scratch.Location(), users.Location());
    EXPECT_NE(SettingsStore::ScratchRoot("a"), SettingsStore::ScratchRoot("b"));
}

// A reader beside a writer (the progress window of another job, say) sees the old
// value or the new one, never a file being written.
TEST(SettingsStore, AReaderNeverSeesAHalfWrittenStore) {
    const testsupport::ScratchSettings scratch;
    SettingsStore writer = scratch.Store();
    ASSERT_TRUE(writer.SetInt("Settings", "X", 0));
    for (int i = 0; i < 40; ++i) {  // enough text that a write takes a while
        std::string key = "P";
        key += std::to_string(i);  // not "P" + ...: a false -Wrestrict of GCC 12 at -O3
        ASSERT_TRUE(writer.SetInt("Padding", key, i));
    }
    constexpr int kWrites = 200;
    std::atomic<bool> done{false};
    std::thread writing([&] {
        for (int i = 1; i <= kWrites; ++i)
            writer.SetInt("Settings", "X", i);
        done = true;
    });
    const SettingsStore reader = scratch.Store();
    int misses = 0;
    int reads = 0;
    while (!done.load()) {
        misses += reader.GetInt("Settings", "X", -1) < 0;
        ++reads;
    }
    writing.join();
    EXPECT_EQ(misses, 0) << "of " << reads << " reads";
    EXPECT_EQ(reader.GetInt("Settings", "X", -1), kWrites);
}

TEST(SettingsStore, AWriteLeavesNoOtherFileBehind) {
    const testsupport::ScratchSettings scratch;
    SettingsStore store = scratch.Store();
    ASSERT_TRUE(store.SetInt("Settings", "X", 1));
    ASSERT_TRUE(store.SetInt("Settings", "Y", 2));
    const std::filesystem::path file(store.Location());
    if (!std::filesystem::exists(file)) GTEST_SKIP() << "the store is not a file here";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(file.parent_path())) {
        EXPECT_EQ(entry.path(), file);
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST(IniDocument, KeepsWhatItDoesNotKnowAndChangesOnlyTheValueAsked) {
    const std::string text =
        "; written by hand\n[Settings]\nX=12\nnot a value line\nY=oops\n[Other]\nX=3\n";
    IniDocument document(text);
    EXPECT_EQ(document.GetInt("Settings", "X"), 12);
    EXPECT_EQ(document.GetInt("Settings", "Y"), std::nullopt);
    EXPECT_EQ(document.GetInt("Other", "X"), 3);
    EXPECT_EQ(document.GetInt("", "X"), std::nullopt);
    EXPECT_EQ(document.Text(), text);
    document.SetInt("Settings", "X", -5);
    document.SetInt("Settings", "Z", 7);
    document.SetInt("New", "X", 1);
    EXPECT_EQ(document.Text(),
              "; written by hand\n[Settings]\nX=-5\nnot a value line\nY=oops\nZ=7\n[Other]\nX=3\n"
              "[New]\nX=1\n");
}

TEST(IniDocument, OnlyWholeThirtyTwoBitIntegersAreValues) {
    const IniDocument document(
        "[S]\nA=2147483647\nB=2147483648\nC=-2147483648\nD=12 \nE=\nF=0x10\nG=+4\n");
    EXPECT_EQ(document.GetInt("S", "A"), 2147483647);
    EXPECT_EQ(document.GetInt("S", "B"), std::nullopt);
    EXPECT_EQ(document.GetInt("S", "C"), -2147483647 - 1);
    EXPECT_EQ(document.GetInt("S", "D"), std::nullopt);
    EXPECT_EQ(document.GetInt("S", "E"), std::nullopt);
    EXPECT_EQ(document.GetInt("S", "F"), std::nullopt);
    EXPECT_EQ(document.GetInt("S", "G"), 4);
}

TEST(IniDocument, ASectionLineIsNeverTakenForAValue) {
    IniDocument document("[X=1]\n");
    EXPECT_EQ(document.GetInt("X=1", "[X"), std::nullopt);
    document.SetInt("X=1", "[X", 2);
    EXPECT_EQ(document.GetInt("X=1", "[X"), 2);
    EXPECT_EQ(document.Text(), "[X=1]\n[X=2\n");
}

}  // namespace
}  // namespace os
