#include "diag/CLog.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>

#include "os/clock.h"
#include "os/log_folder.h"

namespace diag {

CLog theLog;

namespace {

constexpr std::size_t kTimestampLength = 14;  // "HH:MM:SS.mmm  "
constexpr int kHexDumpBytesPerRow = 16;
constexpr int kHexDumpMarkerColumn = 8;

// Appends formatted text at `used`, never past the buffer; returns the new length.
std::size_t AppendV(char* buffer, std::size_t used, const char* format, va_list args) {
    if (used >= CLog::kLineBufferSize - 1) return used;
    const std::size_t room = CLog::kLineBufferSize - used;
    const int written = std::vsnprintf(buffer + used, room, format, args);
    if (written < 0) return used;
    return used + std::min(static_cast<std::size_t>(written), room - 1);
}

std::size_t Append(char* buffer, std::size_t used, const char* format, ...) OS_PRINTF_FORMAT(3, 4);
std::size_t Append(char* buffer, std::size_t used, const char* format, ...) {
    va_list args;
    va_start(args, format);
    used = AppendV(buffer, used, format, args);
    va_end(args);
    return used;
}

std::size_t WriteTimestamp(char* line) {
    const os::UtcTime now = os::UtcNow();
    return Append(line, 0, "%2.2d:%2.2d:%2.2d.%3.3d  ", now.hour, now.minute, now.second,
                  now.millisecond);
}

}  // namespace

CLog::CLog() : CLog(os::LogFolder()) {}

CLog::CLog(const char* folder) {
    if (folder != nullptr) OpenFile(folder);
}

CLog::~CLog() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

void CLog::OpenFile(const char* folder) {
    const os::LocalTime start = os::LocalNow();
    std::snprintf(path_, sizeof path_, "%sZarno_Log_%4.4d_%2.2d_%2.2d__%2.2d_%2.2d_%2.2d.log",
                  folder, start.year, start.month, start.day, start.hour, start.minute,
                  start.second);
    file_ = std::fopen(path_, "w");
}

void CLog::Print(const char* format, ...) {
    if (!enabled_) return;
    char line[kLineBufferSize + 1];  // one more for the line end added on output
    std::size_t length = WriteTimestamp(line);
    va_list args;
    va_start(args, format);
    length = AppendV(line, length, format, args);
    va_end(args);
    Emit(line, length);
}

void CLog::Separator() {
    if (enabled_) Print("%s", kSeparatorLine);
}

void CLog::HexDump(const char* label, const void* data, int length) {
    if (!enabled_) return;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    Print("%s %d bytes @ %p", label, length, data);
    for (int offset = 0; offset < length; offset += kHexDumpBytesPerRow) {
        char row[kLineBufferSize];
        std::size_t used = Append(row, 0, "%p:  ", static_cast<const void*>(bytes + offset));
        const int end = std::min(offset + kHexDumpBytesPerRow, length);
        for (int i = offset; i < end; ++i) {
            const bool marker = i % kHexDumpBytesPerRow == kHexDumpMarkerColumn;
            used = Append(row, used, "%s%2.2x ", marker ? "| " : "", bytes[i]);
        }
        Print("%s", row);
    }
}

bool CLog::SetListBox(LineSink sink) {
    listBox_ = std::move(sink);
    return true;
}

bool CLog::ClearListBox() {
    listBox_ = nullptr;
    return true;
}

// Each stream gets the line and its line end in one call, so the C runtime's
// per-stream lock keeps lines of different threads whole without a lock here.
void CLog::Emit(char* line, std::size_t length) {
    if (length == 0) return;
    if (listBox_) listBox_(line);
    line[length] = '\n';
    line[length + 1] = '\0';
    if (console_ != nullptr) std::fwrite(line, 1, length + 1, console_);
    if (file_ != nullptr) {
        std::fwrite(line, 1, length + 1, file_);
        std::fflush(file_);
    }
    line[length] = '\0';
}

}  // namespace diag
