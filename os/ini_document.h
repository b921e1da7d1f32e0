// The text of an ini file as the Linux settings store keeps it: "[section]" lines and
// "key=value" lines below them, every other line kept as it is. Reading never fails:
// a line that is neither is carried along untouched, and a value that is not a whole
// 32-bit decimal integer reads as missing. Plain data; no file, no platform.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace os {

class IniDocument {
  public:
    IniDocument() = default;
    explicit IniDocument(const std::string& text);

    // The value of the first `key` in `section`, if it reads as an integer.
    std::optional<int> GetInt(const std::string& section, const std::string& key) const;
    // Replaces the first `key` of `section`, or appends it to the section (the section
    // to the document), leaving every other line as it was.
    void SetInt(const std::string& section, const std::string& key, int value);
    // The whole text, one line end after each line.
    std::string Text() const;

  private:
    struct Line {
        std::string text;
        std::string section;  // the section the line belongs to
        std::string key;      // empty unless the line is "key=value"
    };

    std::vector<Line> lines_;
};

}  // namespace os
