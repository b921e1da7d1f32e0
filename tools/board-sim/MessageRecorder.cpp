#include "tools/board-sim/MessageRecorder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tools/board-sim/byte_fields.h"

namespace board_sim {

std::vector<std::uint8_t> MessageRecorder::EncodeRecord(std::span<const std::uint8_t> message) {
    std::vector<std::uint8_t> record(kRecordLengthSize + message.size());
    store_le32(record.data(), static_cast<std::uint32_t>(message.size()));
    std::ranges::copy(message, record.begin() + kRecordLengthSize);
    return record;
}

bool MessageRecorder::Open(const std::string& path) {
    path_ = path;
    file_.reset(std::fopen(path.c_str(), "ab"));
    if (!file_) lastError_ = "cannot open " + path + ": " + std::strerror(errno);
    return file_ != nullptr;
}

bool MessageRecorder::Append(std::span<const std::uint8_t> message) {
    if (!file_) return true;
    const std::vector<std::uint8_t> record = EncodeRecord(message);
    const bool written = std::fwrite(record.data(), 1, record.size(), file_.get()) == record.size();
    if (written && std::fflush(file_.get()) == 0) return true;
    ++writeFailures_;
    lastError_ = "cannot write " + path_ + ": " + std::strerror(errno);
    return false;
}

}  // namespace board_sim
