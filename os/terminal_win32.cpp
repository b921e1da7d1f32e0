#include <io.h>

#include "os/terminal.h"
#include "os/windows_headers.h"

namespace os {

bool IsTerminal(std::FILE* stream) {
    return stream != nullptr && _isatty(_fileno(stream)) != 0;
}

}  // namespace os
