#include "os/arp_table.h"

#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "os/byte_order.h"

namespace os {
namespace {

constexpr std::size_t kNetlinkBufferSize = 32768;
constexpr std::uint32_t kDumpSequence = 1;

struct Neighbour {
    std::uint32_t index = 0;
    std::uint32_t length = 0;
    std::uint8_t address[kArpEntryAddressSize] = {};
    std::uint32_t ipNetworkOrder = 0;
    std::uint32_t type = kArpTypeOther;
};

// The kernel's neighbour states in the Windows entry types.
std::uint32_t TypeOf(std::uint16_t state) {
    if ((state & (NUD_PERMANENT | NUD_NOARP)) != 0) return kArpTypeStatic;
    if ((state & (NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE)) != 0) return kArpTypeDynamic;
    if ((state & (NUD_INCOMPLETE | NUD_FAILED)) != 0) return kArpTypeInvalid;
    return kArpTypeOther;
}

class NetlinkSocket {
  public:
    NetlinkSocket() : fd_(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE)) {}
    ~NetlinkSocket() {
        if (fd_ >= 0) close(fd_);
    }
    NetlinkSocket(const NetlinkSocket&) = delete;
    NetlinkSocket& operator=(const NetlinkSocket&) = delete;
    int Descriptor() const { return fd_; }

  private:
    int fd_;
};

bool RequestDump(int fd) {
    struct {
        nlmsghdr header;
        ndmsg body;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETNEIGH;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = kDumpSequence;
    request.body.ndm_family = AF_INET;
    return send(fd, &request, sizeof request, 0) == static_cast<ssize_t>(sizeof request);
}

void ReadAttributes(const nlmsghdr* message, Neighbour& neighbour, bool& hasIp) {
    const auto* body = static_cast<const ndmsg*>(NLMSG_DATA(message));
    int remaining =
        static_cast<int>(message->nlmsg_len) - static_cast<int>(NLMSG_LENGTH(sizeof *body));
    for (const rtattr* attribute = reinterpret_cast<const rtattr*>(
             reinterpret_cast<const char*>(body) + NLMSG_ALIGN(sizeof *body));
         RTA_OK(attribute, remaining); attribute = RTA_NEXT(attribute, remaining)) {
        const auto payload = static_cast<std::size_t>(RTA_PAYLOAD(attribute));
        if (attribute->rta_type == NDA_DST && payload == sizeof neighbour.ipNetworkOrder) {
            std::memcpy(&neighbour.ipNetworkOrder, RTA_DATA(attribute), payload);
            hasIp = true;
        } else if (attribute->rta_type == NDA_LLADDR) {
            const std::size_t length = std::min(payload, sizeof neighbour.address);
            std::memcpy(neighbour.address, RTA_DATA(attribute), length);
            neighbour.length = static_cast<std::uint32_t>(length);
        }
    }
}

// One dump's messages; false when the dump failed.
bool ReadDump(int fd, std::vector<Neighbour>& neighbours) {
    std::vector<char> buffer(kNetlinkBufferSize);
    for (;;) {
        const ssize_t received = recv(fd, buffer.data(), buffer.size(), 0);
        if (received < 0 && errno == EINTR) continue;
        if (received <= 0) return false;
        int remaining = static_cast<int>(received);
        for (const auto* message = reinterpret_cast<const nlmsghdr*>(buffer.data());
             NLMSG_OK(message, remaining); message = NLMSG_NEXT(message, remaining)) {
            if (message->nlmsg_type == NLMSG_DONE) return true;
            if (message->nlmsg_type == NLMSG_ERROR) return false;
            if (message->nlmsg_type != RTM_NEWNEIGH) continue;
            const auto* body = static_cast<const ndmsg*>(NLMSG_DATA(message));
            if (body->ndm_family != AF_INET) continue;
            Neighbour neighbour;
            neighbour.index = static_cast<std::uint32_t>(body->ndm_ifindex);
            neighbour.type = TypeOf(body->ndm_state);
            bool hasIp = false;
            ReadAttributes(message, neighbour, hasIp);
            if (hasIp) neighbours.push_back(neighbour);
        }
    }
}

void WriteTable(const std::vector<Neighbour>& neighbours, std::uint8_t* buffer) {
    store_le32(buffer + kArpCountOffset, static_cast<std::uint32_t>(neighbours.size()));
    std::uint8_t* entry = buffer + kArpEntriesOffset;
    for (const Neighbour& neighbour : neighbours) {
        store_le32(entry + kArpEntryIndexOffset, neighbour.index);
        store_le32(entry + kArpEntryLengthOffset, neighbour.length);
        std::memcpy(entry + kArpEntryAddressOffset, neighbour.address, kArpEntryAddressSize);
        std::memcpy(entry + kArpEntryIpOffset, &neighbour.ipNetworkOrder,
                    sizeof neighbour.ipNetworkOrder);
        store_le32(entry + kArpEntryTypeOffset, neighbour.type);
        entry += kArpEntrySize;
    }
}

}  // namespace

std::uint32_t ReadArpTable(std::uint8_t* buffer, std::uint32_t capacity) {
    if (buffer == nullptr || capacity < kArpEntriesOffset) return kErrorInsufficientBuffer;
    const NetlinkSocket netlink;
    if (netlink.Descriptor() < 0) return static_cast<std::uint32_t>(errno);
    std::vector<Neighbour> neighbours;
    if (!RequestDump(netlink.Descriptor()) || !ReadDump(netlink.Descriptor(), neighbours)) {
        return static_cast<std::uint32_t>(errno != 0 ? errno : EIO);
    }
    if (kArpEntriesOffset + neighbours.size() * kArpEntrySize > capacity) {
        return kErrorInsufficientBuffer;
    }
    // Ascending by the address's numeric value, as GetIpNetTable sorts.
    std::stable_sort(neighbours.begin(), neighbours.end(),
                     [](const Neighbour& a, const Neighbour& b) {
                         return ntoh32(a.ipNetworkOrder) < ntoh32(b.ipNetworkOrder);
                     });
    WriteTable(neighbours, buffer);
    return 0;
}

}  // namespace os
