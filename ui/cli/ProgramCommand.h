// The `program` command: the whole job against a board in BOOTP mode, with message
// boxes as text, a text progress bar and an exit code (0 only after "Programming
// Complete").
#pragma once

#include <string>
#include <vector>

namespace cli {

extern const char* const kProgramHelp;

int RunProgramCommand(const std::vector<std::string>& arguments);

}  // namespace cli
