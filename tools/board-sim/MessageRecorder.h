// Appends every accepted message to a file, in order, as a little-endian u32 length
// followed by the message bytes, so a test can compare what arrived with what it
// sent byte for byte.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace board_sim {

constexpr std::size_t kRecordLengthSize = 4;

class MessageRecorder {
  public:
    // One record as it goes into the file.
    static std::vector<std::uint8_t> EncodeRecord(std::span<const std::uint8_t> message);

    // Opens `path` for appending; false (see LastError) when it cannot be opened.
    bool Open(const std::string& path);

    // Writes and flushes one record, so the file is complete whenever the process
    // stops. Does nothing and returns true while no file is open.
    bool Append(std::span<const std::uint8_t> message);

    std::uint64_t WriteFailures() const { return writeFailures_; }
    const std::string& LastError() const { return lastError_; }

  private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    std::unique_ptr<std::FILE, FileCloser> file_;
    std::string path_;
    std::uint64_t writeFailures_ = 0;
    std::string lastError_;
};

}  // namespace board_sim
