// A private copy of the computer's ARP table for one adapter, asked by the BOOTP
// server whether a board's hardware address already has an IPv4 address. Loaded on
// the thread that detects the interfaces, then used by that interface's thread only;
// no locks. The text MacText returns stays valid until its next call on the object.
// The table is reloaded after every request but logged only when it has changed, so
// that a host asking again and again does not write it out each time.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "os/arp_table.h"

namespace net {

class CArp {
  public:
    static constexpr std::uint32_t kTableSize = 32768;
    static constexpr int kTextSize = 128;
    // "xx " per byte within the text field.
    static constexpr int kMaxTextBytes = (kTextSize - 1) / 3;
    static constexpr int kFound = 2;
    static constexpr int kNotFound = -1;

    // Fills a table buffer as os::ReadArpTable does; 0 on success.
    using TableReader = std::function<std::uint32_t(std::uint8_t* buffer, std::uint32_t capacity)>;

    CArp();  // reads the platform's table
    explicit CArp(TableReader reader);

    // Stores the adapter's index and loads the table.
    void SetAdapter(std::int32_t adapterIndex);
    // Reloads the table; a failed or oversized load leaves it empty.
    void Refresh();
    // Writes the table to the log; false when it is empty.
    bool Print();
    // Print, unless the table is the one last printed; false when it is empty.
    bool PrintIfChanged();
    // The bytes as "xx xx ..." (lower-case hex, single blanks), at most kMaxTextBytes.
    const char* MacText(const std::uint8_t* bytes, int length);
    // The position of the first entry with the record's hardware address, or -1.
    int LookForAddr(const std::uint8_t* searchRecord);
    // 2 and the entry's IPv4 address written into `addressText` (dotted, at least 16
    // characters of room) when the address is in the table; -1 otherwise, the text
    // unchanged. Reloads the table after every search, and logs it if it changed.
    int GetNewAddress(const std::uint8_t* hardwareAddress, int length, char* addressText);

    // True when the table as last loaded holds `addressNetworkOrder` for a hardware
    // address other than the given one (an entry that resolved: unresolved and failed
    // entries hold it for nobody). Reads only; logs nothing.
    bool HeldForAnother(std::uint32_t addressNetworkOrder, const std::uint8_t* hardwareAddress,
                        int length) const;

    std::int32_t AdapterIndex() const { return adapterIndex_; }
    std::uint32_t EntryCount() const;

  private:
    const std::uint8_t* Entry(std::uint32_t position) const;
    std::uint64_t Digest() const;
    static void DottedText(const std::uint8_t* networkOrder, char* text, std::size_t size);

    TableReader reader_;
    std::int32_t adapterIndex_ = -1;
    alignas(std::uint32_t) std::uint8_t table_[kTableSize] = {};
    char text_[kTextSize] = "";
    // What was loaded and printed last, by digest, so that only changes are logged.
    std::optional<std::uint64_t> loadedDigest_;
    std::optional<std::uint64_t> printedDigest_;
    bool searchLogged_ = false;  // the entries' length mismatches, once per table
};

}  // namespace net
