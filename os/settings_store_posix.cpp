#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

#include "os/ini_document.h"
#include "os/settings_store.h"

namespace os {
namespace {

IniDocument ReadIni(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return IniDocument(text.str());
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t result = write(fd, text.data() + written, text.size() - written);
        if (result < 0) return false;
        written += static_cast<std::size_t>(result);
    }
    return true;
}

// The new text goes to a file of its own beside the old one, which it then replaces
// in one rename: a crash or a full disk leaves the old file or the new one, never
// half of either, and a reader never sees one being written.
bool ReplaceFile(const std::string& path, const std::string& text) {
    std::string temporary = path + ".XXXXXX";
    const int fd = mkstemp(temporary.data());
    if (fd < 0) return false;
    const bool written = WriteAll(fd, text) && fsync(fd) == 0;
    const bool closed = close(fd) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
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
    return ReplaceFile(path, document.Text());
}

bool SettingsStore::RemoveAll() {
    std::error_code error;
    std::filesystem::remove(Location(), error);
    return !error;
}

}  // namespace os
