// The parts of the `program` command's JSON summary that a single job and a run of
// many boards share.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/ServedImage.h"
#include "diag/JobStage.h"

namespace cli {

// {"source":"built-in","bytes":21532,"crc32":"0x1234ABCD"}
std::string ImageJson(const app::ServedImage& image);
// The stages with their milliseconds since the start and the facts of each.
std::string StagesJson(const std::vector<diag::JobStage>& stages);
// Seconds with three decimals, or null.
std::string SecondsJson(const std::optional<std::uint32_t>& ms);
// A text, or null when it is empty.
std::string JsonTextOrNull(const std::string& text);

}  // namespace cli
