#include "os/ini_document.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <utility>

namespace os {
namespace {

bool IsSectionLine(const std::string& text) {
    return text.size() >= 2 && text.front() == '[' && text.back() == ']';
}

// A whole decimal integer: no blank, no trailing text, within 32 bits.
std::optional<int> ParseInt(const std::string& text) {
    if (text.empty() || text.find('\0') != std::string::npos) return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || errno != 0 || parsed < INT32_MIN ||
        parsed > INT32_MAX)
        return std::nullopt;
    return static_cast<int>(parsed);
}

}  // namespace

IniDocument::IniDocument(const std::string& text) {
    std::istringstream stream(text);
    std::string lineText;
    std::string section;
    while (std::getline(stream, lineText)) {
        Line line{lineText, section, ""};
        if (IsSectionLine(lineText)) {
            section = lineText.substr(1, lineText.size() - 2);
            line.section = section;
        } else if (const auto equals = lineText.find('='); equals != std::string::npos) {
            line.key = lineText.substr(0, equals);
        }
        lines_.push_back(std::move(line));
    }
}

std::optional<int> IniDocument::GetInt(const std::string& section, const std::string& key) const {
    for (const Line& line : lines_) {
        if (line.section == section && !IsSectionLine(line.text) && line.key == key &&
            line.text.size() > key.size())
            return ParseInt(line.text.substr(key.size() + 1));
    }
    return std::nullopt;
}

void IniDocument::SetInt(const std::string& section, const std::string& key, int value) {
    const std::string entry = key + "=" + std::to_string(value);
    std::size_t sectionEnd = lines_.size();
    bool sectionSeen = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].section != section) {
            if (sectionSeen) break;
            continue;
        }
        sectionSeen = true;
        sectionEnd = i + 1;
        if (!IsSectionLine(lines_[i].text) && lines_[i].key == key) {
            lines_[i].text = entry;
            return;
        }
    }
    std::vector<Line> added;
    if (!sectionSeen) added.push_back({"[" + section + "]", section, ""});
    added.push_back({entry, section, key});
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(sectionEnd), added.begin(),
                  added.end());
}

std::string IniDocument::Text() const {
    std::string text;
    for (const Line& line : lines_)
        text += line.text + '\n';
    return text;
}

}  // namespace os
