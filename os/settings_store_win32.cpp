#include "os/settings_store.h"

#include <utility>

#include "os/windows_headers.h"

namespace os {
namespace {

constexpr const char* kKeyPrefix = "Software\\Local AppWizard-Generated Applications\\";

}  // namespace

SettingsStore::SettingsStore(std::string applicationName)
    : applicationName_(std::move(applicationName)) {}

std::string SettingsStore::Location() const {
    return std::string(kKeyPrefix) + applicationName_;
}

int SettingsStore::GetInt(const std::string& section, const std::string& key,
                          int defaultValue) const {
    const std::string path = Location() + "\\" + section;
    DWORD value = 0;
    DWORD size = sizeof value;
    const LSTATUS status = RegGetValueA(HKEY_CURRENT_USER, path.c_str(), key.c_str(),
                                        RRF_RT_REG_DWORD, nullptr, &value, &size);
    return status == ERROR_SUCCESS ? static_cast<int>(value) : defaultValue;
}

bool SettingsStore::SetInt(const std::string& section, const std::string& key, int value) {
    const std::string path = Location() + "\\" + section;
    HKEY handle = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &handle, nullptr) != ERROR_SUCCESS)
        return false;
    const DWORD data = static_cast<DWORD>(value);
    const LSTATUS status = RegSetValueExA(handle, key.c_str(), 0, REG_DWORD,
                                          reinterpret_cast<const BYTE*>(&data), sizeof data);
    RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

}  // namespace os
