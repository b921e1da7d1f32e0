// Reading a whole file that must be a regular one. A FIFO would block the open for
// ever (or until some program writes to it) and a device may never end: both are
// refused, by the type seen before opening and again on the open file, and the open
// itself never waits.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace os {

struct FileRead {
    enum class Result {
        kRead,
        kFolder,
        kNotRegular,  // a FIFO, a device, a socket
        kTooLong,     // longer than asked for: nothing was read
        kChanged,     // it grew or shrank while it was read
        kFailed,      // missing or unreadable: `error` says why
    };
    Result result = Result::kFailed;
    std::uint64_t size = 0;           // the file's length, with kRead and kTooLong
    std::vector<std::uint8_t> bytes;  // with kRead
    std::string error;

    static FileRead Ended(Result result, std::uint64_t size = 0) {
        FileRead read;
        read.result = result;
        read.size = size;
        return read;
    }
    static FileRead Failure(std::string why) {
        FileRead read;
        read.error = std::move(why);
        return read;
    }
};

FileRead ReadRegularFile(const std::string& path, std::uint64_t maxSize);

}  // namespace os
