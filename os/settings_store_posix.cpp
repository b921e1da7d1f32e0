#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

#include "os/settings_store.h"

namespace os {
namespace {

struct IniLine {
    std::string text;
    std::string section;  // the section the line belongs to
    std::string key;      // empty unless the line is "key=value"
};

std::vector<IniLine> ReadIni(const std::string& path) {
    std::vector<IniLine> lines;
    std::ifstream file(path);
    std::string text;
    std::string section;
    while (std::getline(file, text)) {
        IniLine line{text, section, ""};
        if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
            section = text.substr(1, text.size() - 2);
            line.section = section;
        } else if (const auto equals = text.find('='); equals != std::string::npos) {
            line.key = text.substr(0, equals);
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

bool ParseInt(const std::string& text, int& value) {
    errno = 0;
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || errno != 0 || parsed < INT32_MIN ||
        parsed > INT32_MAX)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

}  // namespace

SettingsStore::SettingsStore(std::string applicationName)
    : applicationName_(std::move(applicationName)) {}

std::string SettingsStore::Location() const {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/')
        return std::string(config) + "/" + applicationName_ + ".ini";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : ".") + "/.config/" + applicationName_ + ".ini";
}

int SettingsStore::GetInt(const std::string& section, const std::string& key,
                          int defaultValue) const {
    for (const IniLine& line : ReadIni(Location())) {
        int value = 0;
        if (line.section == section && line.key == key &&
            ParseInt(line.text.substr(key.size() + 1), value))
            return value;
    }
    return defaultValue;
}

bool SettingsStore::SetInt(const std::string& section, const std::string& key, int value) {
    const std::string path = Location();
    std::vector<IniLine> lines = ReadIni(path);
    const std::string entry = key + "=" + std::to_string(value);
    bool stored = false;
    std::size_t sectionEnd = lines.size();
    bool sectionSeen = false;
    for (std::size_t i = 0; i < lines.size() && !stored; ++i) {
        if (lines[i].section != section) {
            if (sectionSeen) {
                sectionEnd = i;
                break;
            }
            continue;
        }
        sectionSeen = true;
        sectionEnd = i + 1;
        if (lines[i].key == key) {
            lines[i].text = entry;
            stored = true;
        }
    }
    if (!stored) {
        std::vector<IniLine> added;
        if (!sectionSeen) added.push_back({"[" + section + "]", section, ""});
        added.push_back({entry, section, key});
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(sectionEnd), added.begin(),
                     added.end());
    }
    std::error_code ignored;  // a missing folder shows up as the failed write below
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    std::ostringstream text;
    for (const IniLine& line : lines)
        text << line.text << '\n';
    std::ofstream file(path, std::ios::trunc);
    file << text.str();
    return static_cast<bool>(file.flush());
}

}  // namespace os
