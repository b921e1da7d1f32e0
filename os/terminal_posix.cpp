#include <unistd.h>

#include "os/terminal.h"

namespace os {

bool IsTerminal(std::FILE* stream) {
    return stream != nullptr && isatty(fileno(stream)) == 1;
}

}  // namespace os
