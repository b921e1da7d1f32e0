// The system's own description of an error code.
#pragma once

#include <string>

namespace os {

// The platform's text for `code`, as FormatMessage gives it on Windows (usually
// ending in a line break); the empty text when the system has none. On Linux,
// Windows Sockets codes (os/wsa_errors.h) are described by the errno they map to.
std::string SystemErrorText(int code);

}  // namespace os
