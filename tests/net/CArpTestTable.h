// Builds ARP tables in the platform's record layout for tests, and collects the
// log's lines while a test runs.
#pragma once

#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "diag/CLog.h"
#include "os/arp_table.h"
#include "os/byte_order.h"
#include "os/inet_addr.h"

namespace net::testing {

struct ArpRow {
    std::uint32_t adapterIndex = 0;
    std::vector<std::uint8_t> hardwareAddress;
    const char* ipAddress = "0.0.0.0";
    std::uint32_t type = os::kArpTypeDynamic;
};

// Writes `rows` in the given order (the platform sorts; tests list them sorted).
inline std::uint32_t WriteArpTable(const std::vector<ArpRow>& rows, std::uint8_t* buffer,
                                   std::uint32_t capacity) {
    const std::size_t needed = os::kArpEntriesOffset + rows.size() * os::kArpEntrySize;
    if (needed > capacity) return os::kErrorInsufficientBuffer;
    os::store_le32(buffer + os::kArpCountOffset, static_cast<std::uint32_t>(rows.size()));
    std::uint8_t* entry = buffer + os::kArpEntriesOffset;
    for (const ArpRow& row : rows) {
        os::store_le32(entry + os::kArpEntryIndexOffset, row.adapterIndex);
        os::store_le32(entry + os::kArpEntryLengthOffset,
                       static_cast<std::uint32_t>(row.hardwareAddress.size()));
        std::memset(entry + os::kArpEntryAddressOffset, 0, os::kArpEntryAddressSize);
        if (!row.hardwareAddress.empty()) {
            std::memcpy(entry + os::kArpEntryAddressOffset, row.hardwareAddress.data(),
                        row.hardwareAddress.size());
        }
        const std::uint32_t ip = os::InetAddr(row.ipAddress);
        std::memcpy(entry + os::kArpEntryIpOffset, &ip, sizeof ip);
        os::store_le32(entry + os::kArpEntryTypeOffset, row.type);
        entry += os::kArpEntrySize;
    }
    return 0;
}

// The log's lines, without their timestamps, while an instance lives.
class LogLines {
  public:
    static constexpr std::size_t kTimestampSize = 14;

    LogLines() {
        diag::theLog.SetConsole(nullptr);
        diag::theLog.SetListBox([this](const char* line) {
            std::lock_guard lock(mutex_);
            const std::string text(line);
            lines_.push_back(text.size() >= kTimestampSize ? text.substr(kTimestampSize) : text);
        });
    }
    ~LogLines() {
        diag::theLog.ClearListBox();
        diag::theLog.SetConsole(stdout);
    }
    LogLines(const LogLines&) = delete;
    LogLines& operator=(const LogLines&) = delete;

    std::vector<std::string> All() {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    int Count(const std::string& exact) {
        int count = 0;
        for (const auto& line : All())
            count += line == exact ? 1 : 0;
        return count;
    }
    bool Has(const std::string& exact) { return Count(exact) > 0; }
    bool HasSubstring(const std::string& part) {
        for (const auto& line : All())
            if (line.find(part) != std::string::npos) return true;
        return false;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }

  private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace net::testing
