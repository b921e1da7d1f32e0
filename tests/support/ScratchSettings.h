// Test support: a settings store of the test's own, in a scratch root that no other
// test and nothing of the user's shares, removed when the test ends.
#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "os/settings_store.h"

namespace testsupport {

class ScratchSettings {
  public:
    explicit ScratchSettings(const std::string& application = "emcb-test")
        : root_(os::SettingsStore::ScratchRoot(TestTag())), application_(application) {}
    ~ScratchSettings() {
        Store().RemoveAll();
        std::error_code ignored;  // on Windows the root is a key, not a folder
        std::filesystem::remove_all(root_, ignored);
    }
    ScratchSettings(const ScratchSettings&) = delete;
    ScratchSettings& operator=(const ScratchSettings&) = delete;

    // A new store object on the same values each time.
    os::SettingsStore Store() const { return os::SettingsStore(application_, root_); }

  private:
    static std::string TestTag() {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string tag =
            test != nullptr ? std::string(test->test_suite_name()) + "." + test->name() : "no-test";
        for (char& c : tag)
            if (c == '/' || c == '\\') c = '_';
        return tag;
    }

    std::string root_;
    std::string application_;
};

}  // namespace testsupport
