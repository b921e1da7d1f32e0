#include "tests/ui/win32/TestSettings.h"

#include <gtest/gtest.h>

#include "diag/UiPort.h"
#include "ui/win32/win32_headers.h"

namespace win32::test {
namespace {

constexpr const char* kPrefix = "Software\\Local AppWizard-Generated Applications\\";

std::string UniqueName() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    return "emcb-win32-ui-test-" + std::to_string(GetCurrentProcessId()) + "-" +
           (test != nullptr ? test->name() : "none");
}

}  // namespace

TestSettings::TestSettings()
    : applicationName_(UniqueName()),
      key_(kPrefix + applicationName_),
      ui_(kTitle, applicationName_) {
    RegDeleteTreeA(HKEY_CURRENT_USER, key_.c_str());
    diag::SetUiPort(&ui_);
}

TestSettings::~TestSettings() {
    diag::SetUiPort(nullptr);
    RegDeleteTreeA(HKEY_CURRENT_USER, key_.c_str());
}

std::optional<int> TestSettings::RegistryValue(const std::string& name) const {
    DWORD value = 0;
    DWORD size = sizeof value;
    const std::string path = key_ + "\\Settings";
    if (RegGetValueA(HKEY_CURRENT_USER, path.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr,
                     &value, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return static_cast<int>(value);
}

void TestSettings::SetRegistryValue(const std::string& name, int value) {
    const std::string path = key_ + "\\Settings";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD data = static_cast<DWORD>(value);
    RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                   sizeof data);
    RegCloseKey(key);
}

}  // namespace win32::test
