// A Win32Ui installed as the process's UI port for one test, with a settings key of
// its own (never the configurator's real one), read and written here straight in the
// registry and removed at the end.
#pragma once

#include <optional>
#include <string>

#include "ui/win32/Win32Ui.h"

namespace win32::test {

class TestSettings {
  public:
    static constexpr const char* kTitle = "Ethernet Motion Control Board Configurator";

    TestSettings();
    ~TestSettings();
    TestSettings(const TestSettings&) = delete;
    TestSettings& operator=(const TestSettings&) = delete;

    Win32Ui& Ui() { return ui_; }
    // A value of section "Settings", read without the settings store; nothing if missing.
    std::optional<int> RegistryValue(const std::string& name) const;
    void SetRegistryValue(const std::string& name, int value);
    // The key below HKEY_CURRENT_USER.
    const std::string& Key() const { return key_; }

  private:
    std::string applicationName_;
    std::string key_;
    Win32Ui ui_;
};

}  // namespace win32::test
