#include "net/CArp.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "diag/CLog.h"
#include "os/byte_order.h"

namespace net {
namespace {

using diag::theLog;

constexpr std::uint32_t kMaxEntries =
    (CArp::kTableSize - os::kArpEntriesOffset) / os::kArpEntrySize;
constexpr int kLoggedAddressBytes = 6;
constexpr int kDottedSize = 16;

}  // namespace

CArp::CArp() : CArp(&os::ReadArpTable) {}

CArp::CArp(TableReader reader) : reader_(std::move(reader)) {}

void CArp::SetAdapter(std::int32_t adapterIndex) {
    adapterIndex_ = adapterIndex;
    Refresh();
}

void CArp::Refresh() {
    std::memset(table_, 0, sizeof table_);
    // The result is not looked at: a failed load must read as an empty table.
    if (reader_(table_, kTableSize) != 0) std::memset(table_, 0, sizeof table_);
    const std::uint64_t digest = Digest();
    if (loadedDigest_ == digest) return;
    loadedDigest_ = digest;
    searchLogged_ = false;
    if (EntryCount() == 0) theLog.Print("ARP Table is empty");
}

// FNV-1a over the count and the entries in use.
std::uint64_t CArp::Digest() const {
    constexpr std::uint64_t kOffsetBasis = 14695981039346656037ull;
    constexpr std::uint64_t kPrime = 1099511628211ull;
    const std::size_t used = os::kArpEntriesOffset + EntryCount() * os::kArpEntrySize;
    std::uint64_t digest = kOffsetBasis;
    for (std::size_t i = 0; i < used; ++i)
        digest = (digest ^ table_[i]) * kPrime;
    return digest;
}

bool CArp::PrintIfChanged() {
    if (printedDigest_ == Digest()) return EntryCount() != 0;
    return Print();
}

std::uint32_t CArp::EntryCount() const {
    const std::uint32_t count = os::load_le32(table_ + os::kArpCountOffset);
    return count <= kMaxEntries ? count : kMaxEntries;
}

const std::uint8_t* CArp::Entry(std::uint32_t position) const {
    return table_ + os::kArpEntriesOffset + position * os::kArpEntrySize;
}

void CArp::DottedText(const std::uint8_t* networkOrder, char* text, std::size_t size) {
    std::snprintf(text, size, "%u.%u.%u.%u", networkOrder[0], networkOrder[1], networkOrder[2],
                  networkOrder[3]);
}

bool CArp::Print() {
    printedDigest_ = Digest();
    const std::uint32_t count = EntryCount();
    if (count == 0) {
        theLog.Print("ARP Table is empty");
        return false;
    }
    theLog.Print("ARP Table");
    theLog.Print("Index\tIpAddr     \tMAC_Addr        \tType");
    for (std::uint32_t position = 0; position < count; ++position) {
        const std::uint8_t* entry = Entry(position);
        char address[kDottedSize];
        DottedText(entry + os::kArpEntryIpOffset, address, sizeof address);
        // The platform's length never passes the entry's 8 address bytes; make sure.
        const auto length = static_cast<int>(std::min<std::uint32_t>(
            os::load_le32(entry + os::kArpEntryLengthOffset), os::kArpEntryAddressSize));
        theLog.Print("%d\t%s\t%s\t%d",
                     static_cast<int>(os::load_le32(entry + os::kArpEntryIndexOffset)), address,
                     MacText(entry + os::kArpEntryAddressOffset, length),
                     static_cast<int>(os::load_le32(entry + os::kArpEntryTypeOffset)));
    }
    return true;
}

const char* CArp::MacText(const std::uint8_t* bytes, int length) {
    text_[0] = '\0';
    if (length > kMaxTextBytes) length = kMaxTextBytes;
    // A table entry's length is the platform's: it never reaches past the entry's 8 bytes.
    std::size_t used = 0;
    for (int i = 0; i < length; ++i) {
        used += static_cast<std::size_t>(
            std::snprintf(text_ + used, sizeof text_ - used, "%2.2x ", bytes[i]));
    }
    if (used > 0) text_[used - 1] = '\0';
    return text_;
}

int CArp::LookForAddr(const std::uint8_t* searchRecord) {
    const std::uint32_t count = EntryCount();
    if (count == 0) {
        theLog.Print("CArp::LookForAddr - ARP Table is empty");
        return kNotFound;
    }
    const std::uint8_t* wanted = searchRecord + os::kArpEntryAddressOffset;
    theLog.Print(
        "CArp::LookForAddr - Looking for %2.2x %2.2x %2.2x : %2.2x %2.2x %2.2x in ARP Table",
        wanted[0], wanted[1], wanted[2], wanted[3], wanted[4], wanted[5]);
    static_assert(kLoggedAddressBytes <= os::kArpEntryAddressSize);
    const std::uint32_t wantedLength = os::load_le32(searchRecord + os::kArpEntryLengthOffset);
    for (std::uint32_t position = 0; position < count; ++position) {
        const std::uint8_t* entry = Entry(position);
        const std::uint32_t length = os::load_le32(entry + os::kArpEntryLengthOffset);
        if (length != wantedLength) {
            if (!searchLogged_)
                theLog.Print("CArp::LookForAddr - PhysAddrLength mismatch %d != %d",
                             static_cast<int>(wantedLength), static_cast<int>(length));
            continue;
        }
        if (length > os::kArpEntryAddressSize) continue;  // a platform record we cannot hold
        if (std::memcmp(entry + os::kArpEntryAddressOffset, wanted, length) != 0) continue;
        char address[kDottedSize];
        DottedText(entry + os::kArpEntryIpOffset, address, sizeof address);
        theLog.Print("CArp::LookForAddr - %s already entered as %s",
                     MacText(entry + os::kArpEntryAddressOffset, static_cast<int>(length)),
                     address);
        return static_cast<int>(position);
    }
    searchLogged_ = true;  // a whole pass: every mismatch of this table is in the log
    return kNotFound;
}

bool CArp::HeldForAnother(std::uint32_t addressNetworkOrder, const std::uint8_t* hardwareAddress,
                          int length) const {
    const std::uint32_t count = EntryCount();
    for (std::uint32_t position = 0; position < count; ++position) {
        const std::uint8_t* entry = Entry(position);
        if (std::memcmp(entry + os::kArpEntryIpOffset, &addressNetworkOrder,
                        sizeof addressNetworkOrder) != 0)
            continue;
        const std::uint32_t entryLength = os::load_le32(entry + os::kArpEntryLengthOffset);
        const std::uint32_t type = os::load_le32(entry + os::kArpEntryTypeOffset);
        if (entryLength == 0 || entryLength > os::kArpEntryAddressSize ||
            type == os::kArpTypeInvalid)
            continue;
        const bool same =
            static_cast<int>(entryLength) == length &&
            std::memcmp(entry + os::kArpEntryAddressOffset, hardwareAddress, entryLength) == 0;
        if (!same) return true;
    }
    return false;
}

int CArp::GetNewAddress(const std::uint8_t* hardwareAddress, int length, char* addressText) {
    if (adapterIndex_ < 0) {
        theLog.Print("CArp::GetNewAddress - Invalid Adapter Index %d", adapterIndex_);
        return kNotFound;
    }
    theLog.Print("CArp::GetNewAddress(%d) - Looking for IP for MAC %s", adapterIndex_,
                 MacText(hardwareAddress, length));
    if (length < 0 || length > static_cast<int>(os::kArpEntryAddressSize)) return kNotFound;

    std::uint8_t search[os::kArpEntrySize] = {};
    os::store_le32(search + os::kArpEntryIndexOffset, static_cast<std::uint32_t>(adapterIndex_));
    os::store_le32(search + os::kArpEntryLengthOffset, static_cast<std::uint32_t>(length));
    std::memcpy(search + os::kArpEntryAddressOffset, hardwareAddress,
                static_cast<std::size_t>(length));
    os::store_le32(search + os::kArpEntryTypeOffset, os::kArpTypeDynamic);

    int result = kNotFound;
    const int position = LookForAddr(search);
    if (position >= 0) {
        const std::uint8_t* entry = Entry(static_cast<std::uint32_t>(position));
        DottedText(entry + os::kArpEntryIpOffset, addressText, kDottedSize);
        theLog.Print(
            "CArp::GetNewAddress MAC %s already has IP %s located at position %d in ARP table",
            MacText(hardwareAddress, length), addressText, position);
        result = kFound;
    }
    Refresh();
    PrintIfChanged();
    return result;
}

}  // namespace net
