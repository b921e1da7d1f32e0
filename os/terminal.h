// Whether a standard stream is an interactive terminal.
#pragma once

#include <cstdio>

namespace os {

// True when `stream` (stdin, stdout or stderr) is connected to a terminal.
bool IsTerminal(std::FILE* stream);

}  // namespace os
