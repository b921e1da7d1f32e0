#include "ui/cli/JsonText.h"

#include <cstdio>

namespace cli {
namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";

// The length of the well-formed UTF-8 sequence at `at`, or 0.
std::size_t Utf8Length(const std::string& text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the second byte's range
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
    return length;
}

}  // namespace

std::string JsonText(const std::string& text) {
    std::string out = "\"";
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (c >= 0x80) {
            const std::size_t length = Utf8Length(text, at);
            out += length > 0 ? text.substr(at, length) : kReplacement;
            at += length > 0 ? length : 1;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
        ++at;
    }
    return out + "\"";
}

JsonObject& JsonObject::Add(const char* key, const std::string& json) {
    if (!fields_.empty()) fields_ += ',';
    fields_ += '"';
    fields_ += key;
    fields_ += "\":";
    fields_ += json;
    return *this;
}

std::string JsonObject::Text() const {
    std::string text = "{";
    text += fields_;
    text += '}';
    return text;
}

std::string JsonList(const std::vector<std::string>& items) {
    std::string text = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) text += ',';
        text += items[i];
    }
    text += ']';
    return text;
}

}  // namespace cli
