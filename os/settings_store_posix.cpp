#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "os/ini_document.h"
#include "os/replace_file.h"
#include "os/settings_store.h"

namespace os {
namespace {

IniDocument ReadIni(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return IniDocument(text.str());
}

}  // namespace

SettingsStore::SettingsStore(std::string applicationName, std::string root)
    : applicationName_(std::move(applicationName)), root_(std::move(root)) {}

std::string SettingsStore::ScratchRoot(const std::string& tag) {
    return (std::filesystem::temp_directory_path() /
            ("emcb-settings-" + tag + "-" + std::to_string(getpid())))
        .string();
}

std::string SettingsStore::Location() const {
    if (!root_.empty()) return root_ + "/" + applicationName_ + ".ini";
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/')
        return std::string(config) + "/" + applicationName_ + ".ini";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : ".") + "/.config/" + applicationName_ + ".ini";
}

int SettingsStore::GetInt(const std::string& section, const std::string& key,
                          int defaultValue) const {
    return ReadIni(Location()).GetInt(section, key).value_or(defaultValue);
}

bool SettingsStore::SetInt(const std::string& section, const std::string& key, int value) {
    const std::string path = Location();
    IniDocument document = ReadIni(path);
    document.SetInt(section, key, value);
    std::error_code ignored;  // a missing folder shows up as the failed write below
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    std::string error;
    return WriteFileAtomically(path, document.Text(), error);
}

bool SettingsStore::RemoveAll() {
    std::error_code error;
    std::filesystem::remove(Location(), error);
    return !error;
}

}  // namespace os
