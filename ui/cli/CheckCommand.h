// The `check` command: before a job, says in a few lines what a job would do on this
// computer and what would stop it, without sending anything.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace cli {

extern const char* const kCheckHelp;

// The exit code: 0 when a job could program a board in BOOTP mode, 1 when something
// would stop it, 2 for a bad argument. The report goes to `out`; with --json the
// JSON goes to `out` and the report to `err`.
int RunCheckCommand(const std::vector<std::string>& arguments, std::FILE* out, std::FILE* err);

}  // namespace cli
