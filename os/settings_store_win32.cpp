#include "os/settings_store.h"

#include <string>
#include <utility>

#include "os/windows_headers.h"

namespace os {
namespace {

constexpr const char* kKeyPrefix = "Software\\Local AppWizard-Generated Applications\\";
constexpr const char* kScratchPrefix = "Software\\Ethernet Board Configurator Scratch\\";

}  // namespace

SettingsStore::SettingsStore(std::string applicationName, std::string root)
    : applicationName_(std::move(applicationName)), root_(std::move(root)) {}

std::string SettingsStore::ScratchRoot(const std::string& tag) {
    return std::string(kScratchPrefix) + tag + "-" + std::to_string(GetCurrentProcessId());
}

std::string SettingsStore::Location() const {
    if (!root_.empty()) return root_ + "\\" + applicationName_;
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

bool SettingsStore::RemoveAll() {
    const LSTATUS status = RegDeleteTreeA(HKEY_CURRENT_USER, Location().c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace os
