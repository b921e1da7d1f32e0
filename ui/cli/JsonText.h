// The little JSON the command line prints: strings escaped, objects and lists built
// by appending values that are already JSON.
#pragma once

#include <string>
#include <vector>

namespace cli {

// `text` as a JSON string. Bytes that are not UTF-8 become U+FFFD, so that a nickname
// of any bytes still gives valid JSON.
std::string JsonText(const std::string& text);

// (Appending also keeps GCC 12 at -O3 from a false -Wrestrict on chains of string +.)
class JsonObject {
  public:
    JsonObject& Add(const char* key, const std::string& json);
    std::string Text() const;

  private:
    std::string fields_;
};

std::string JsonList(const std::vector<std::string>& items);

}  // namespace cli
