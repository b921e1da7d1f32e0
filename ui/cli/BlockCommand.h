// The `block` command: builds the configuration block that a job would write to a
// board from the same three fields, and saves it or shows it as a hex dump.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace cli {

extern const char* const kBlockHelp;

// Returns the process exit code. Results go to `out`, diagnostics to `err`.
int RunBlockCommand(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err);

}  // namespace cli
