#include "os/arp_table.h"

#include <algorithm>
#include <cstddef>

#include "os/windows_headers.h"

namespace os {

static_assert(sizeof(MIB_IPNETROW) == kArpEntrySize, "the entry layout is the platform's own");
static_assert(offsetof(MIB_IPNETTABLE, table) == kArpEntriesOffset);

std::uint32_t ReadArpTable(std::uint8_t* buffer, std::uint32_t capacity) {
    ULONG size = capacity;
    auto* table = reinterpret_cast<PMIB_IPNETTABLE>(buffer);
    const DWORD error = GetIpNetTable(table, &size, TRUE);
    if (error != NO_ERROR) return error;
    // Sorted again by the address's numeric value: Wine's own sort compares by a
    // subtraction that overflows, which misplaces addresses far apart.
    std::stable_sort(table->table, table->table + table->dwNumEntries,
                     [](const MIB_IPNETROW& a, const MIB_IPNETROW& b) {
                         return ntohl(a.dwAddr) < ntohl(b.dwAddr);
                     });
    return NO_ERROR;
}

}  // namespace os
