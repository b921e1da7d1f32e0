#include "os/regular_file.h"

#include "os/error_text.h"
#include "os/owned_handle_win32.h"
#include "os/windows_headers.h"

namespace os {
namespace {

using Result = FileRead::Result;

constexpr DWORD kChunk = 1 << 20;

FileRead Failed(DWORD code) {
    std::string why = SystemErrorText(static_cast<int>(code));
    while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == '.'))
        why.pop_back();
    return FileRead::Failure(why);
}

FileRead ReadWhole(HANDLE file, std::uint64_t size) {
    FileRead read = FileRead::Ended(Result::kRead, size);
    read.bytes.resize(static_cast<std::size_t>(size));
    std::size_t done = 0;
    while (done < read.bytes.size()) {
        const std::size_t left = read.bytes.size() - done;
        const DWORD want = left < kChunk ? static_cast<DWORD>(left) : kChunk;
        DWORD got = 0;
        if (ReadFile(file, read.bytes.data() + done, want, &got, nullptr) == 0)
            return Failed(GetLastError());
        if (got == 0) return FileRead::Ended(Result::kChanged);
        done += got;
    }
    char extra = 0;
    DWORD more = 0;
    if (ReadFile(file, &extra, 1, &more, nullptr) == 0) return Failed(GetLastError());
    if (more != 0) return FileRead::Ended(Result::kChanged);
    return read;
}

}  // namespace

FileRead ReadRegularFile(const std::string& path, std::uint64_t maxSize) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Failed(GetLastError());
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return FileRead::Ended(Result::kFolder);
    const OwnedHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Get() == INVALID_HANDLE_VALUE) return Failed(GetLastError());
    // A pipe, a console or another device is no file of bytes that ends.
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) return FileRead::Ended(Result::kNotRegular);
    LARGE_INTEGER length{};
    if (GetFileSizeEx(file.Get(), &length) == 0) return Failed(GetLastError());
    const auto size = static_cast<std::uint64_t>(length.QuadPart);
    if (size > maxSize) return FileRead::Ended(Result::kTooLong, size);
    return ReadWhole(file.Get(), size);
}

}  // namespace os
