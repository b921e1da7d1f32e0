#include "os/error_text.h"

#include <cstring>

#include "os/wsa_errors_posix.h"

namespace os {

std::string SystemErrorText(int code) {
    if (code == 0) return {};
    const int errnoCode = ErrnoFromWsaCode(code);
    char buffer[512] = "";
    // The GNU strerror_r may return a static text instead of filling the buffer.
    const char* text = strerror_r(errnoCode, buffer, sizeof buffer);
    return text != nullptr ? text : buffer;
}

}  // namespace os
