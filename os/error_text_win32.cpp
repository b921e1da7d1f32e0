#include "os/error_text.h"

#include "os/windows_headers.h"

namespace os {

std::string SystemErrorText(int code) {
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text,
                   sizeof text, nullptr);
    return text;
}

}  // namespace os
