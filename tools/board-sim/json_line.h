// The summaries: JSON objects printed one to a line, their members in the order they
// were added (ordered_json), as the scripts and the people who read them expect.
#pragma once

#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace board_sim {

using Json = nlohmann::ordered_json;

// One line. Bytes that are not UTF-8 (a name that came over the network) are replaced
// rather than thrown on.
inline std::string JsonLine(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// Prints `line` and a newline, at once: a script may be waiting for it.
inline void PrintLine(std::FILE* out, const std::string& line) {
    std::fprintf(out, "%s\n", line.c_str());
    std::fflush(out);
}

// The value, or null.
template <typename T>
Json OrNull(const std::optional<T>& value) {
    return value ? Json(*value) : Json();
}

}  // namespace board_sim
