#include <cstdio>
#include <string>

#include "os/error_text.h"
#include "os/replace_file.h"
#include "os/windows_headers.h"

namespace os {
namespace {

// Whether the rename failed because another program has the file open (a spreadsheet
// does, without sharing its deletion): the file system then refuses to replace it
// with a sharing violation or, for a file that is open at all, with access denied.
// Access is also denied to a read-only file, which nobody holds: only a file that
// cannot be opened exclusively now is held.
bool HeldByAnother(const std::string& path, DWORD code) {
    if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) return true;
    if (code != ERROR_ACCESS_DENIED) return false;
    const HANDLE probe = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

}  // namespace

ReplaceOutcome ReplaceWholeFile(const std::string& path, const std::string& text, FileOwner,
                                std::string& error) {
    // Unique per process, so two copies writing beside each other never share it.
    const std::string temporary = path + ".tmp" + std::to_string(GetCurrentProcessId());
    const HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = SystemErrorText(static_cast<int>(GetLastError()));
        return ReplaceOutcome::kFailed;
    }
    DWORD written = 0;
    const bool ok =
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) != 0 &&
        written == text.size() && FlushFileBuffers(file) != 0;
    const DWORD writeError = GetLastError();
    CloseHandle(file);
    if (ok && MoveFileExA(temporary.c_str(), path.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0)
        return ReplaceOutcome::kReplaced;
    const DWORD code = ok ? GetLastError() : writeError;
    error = SystemErrorText(static_cast<int>(code));
    DeleteFileA(temporary.c_str());
    return ok && HeldByAnother(path, code) ? ReplaceOutcome::kHeld : ReplaceOutcome::kFailed;
}

}  // namespace os
