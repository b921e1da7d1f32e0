#include <cstdio>
#include <string>

#include "os/error_text.h"
#include "os/replace_file.h"
#include "os/windows_headers.h"

namespace os {

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& error) {
    // Unique per process, so two copies writing beside each other never share it.
    const std::string temporary = path + ".tmp" + std::to_string(GetCurrentProcessId());
    const HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = SystemErrorText(static_cast<int>(GetLastError()));
        return false;
    }
    DWORD written = 0;
    const bool ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0 &&
        written == text.size() && FlushFileBuffers(file) != 0;
    const DWORD writeError = GetLastError();
    CloseHandle(file);
    if (ok && MoveFileExA(temporary.c_str(), path.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0)
        return true;
    error = SystemErrorText(static_cast<int>(ok ? GetLastError() : writeError));
    DeleteFileA(temporary.c_str());
    return false;
}

}  // namespace os
