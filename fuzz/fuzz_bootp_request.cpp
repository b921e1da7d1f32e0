// BOOTP request handling over an injected computer: two adapters, an ARP table, a
// clock the input moves. Other hosts send anything on the second adapter and only
// malformed datagrams on the board's; the board asks now and then on its own.
// Properties: every reply is a well-made reply of its adapter, each adapter's replies
// stay within its budget, and the board is answered whenever a request of it comes
// more than the spacing after its last answer, even when another host takes its
// hardware address on the other adapter.
#include <cstring>
#include <vector>

#include "diag/CLog.h"
#include "fuzz/FuzzReader.h"
#include "net/CBootP.h"
#include "os/byte_order.h"
#include "os/inet_addr.h"

namespace {

using net::CBootP;

constexpr std::uint8_t kBoardMac[6] = {0x02, 0x00, 0x00, 0x00, 0xb0, 0xa7};
constexpr std::uint32_t kStartTick = 0xFFFFF000u;  // so the clock wraps in most runs
constexpr std::uint32_t kBoardXid = 0x80000000u;   // the board's transaction numbers

class Computer final : public net::CBootPPlatform {
  public:
    struct Reply {
        std::vector<std::uint8_t> bytes;
        os::SocketAddress to;
    };
    std::uint32_t TickCountMs() override { return tick; }
    std::uint32_t NumberOfInterfaces(std::uint32_t& count) override {
        count = 3;
        return 0;
    }
    std::uint32_t ListAdapters(std::uint32_t, std::vector<os::AdapterInfo>& out,
                               std::uint32_t&) override {
        out = {Adapter("eth0", "10.9.9.1", 5), Adapter("eth1", "192.168.7.33", 6)};
        return 0;
    }
    int LastSystemError() override { return 0; }
    int HostName(char* buffer, int size) override {
        std::snprintf(buffer, static_cast<std::size_t>(size), "fuzz");
        return 0;
    }
    std::uint32_t ReadArpTable(std::uint8_t*, std::uint32_t) override { return 0; }
    bool BindServerSocket(os::UdpSocket&, const os::AdapterInfo&, std::uint32_t,
                          std::uint16_t) override {
        return false;  // no interface thread runs here
    }
    int SendReply(os::UdpSocket&, const std::uint8_t* data, int length,
                  const os::SocketAddress& to) override {
        replies.push_back({{data, data + length}, to});
        return length;
    }

    static os::AdapterInfo Adapter(const char* name, const char* ip, std::uint32_t index) {
        os::AdapterInfo adapter;
        std::snprintf(adapter.name, sizeof adapter.name, "%s", name);
        std::snprintf(adapter.ipAddress, sizeof adapter.ipAddress, "%s", ip);
        adapter.hardwareAddressLength = 6;
        adapter.index = index;
        return adapter;
    }

    std::uint32_t tick = kStartTick;
    std::vector<Reply> replies;
};

std::vector<std::uint8_t> BoardRequest(std::uint32_t xid) {
    std::vector<std::uint8_t> request(net::kBootpMessageSize, 0);
    request[net::kBootpOpOffset] = net::kBootpOpRequest;
    request[net::kBootpHtypeOffset] = net::kBootpHtypeEthernet;
    request[net::kBootpHlenOffset] = sizeof kBoardMac;
    os::store_be32(&request[net::kBootpXidOffset], xid);
    std::memcpy(&request[net::kBootpChaddrOffset], kBoardMac, sizeof kBoardMac);
    return request;
}

void CheckReply(const Computer::Reply& reply, int interface) {
    static const char* const kAddresses[] = {"10.9.9.1", "192.168.7.33"};
    static const char* const kBroadcasts[] = {"10.9.9.255:68", "192.168.7.255:68"};
    const std::uint8_t* bytes = reply.bytes.data();
    FUZZ_CHECK(reply.bytes.size() == static_cast<std::size_t>(net::kBootpMessageSize));
    FUZZ_CHECK(bytes[net::kBootpOpOffset] == net::kBootpOpReply);
    FUZZ_CHECK(reply.to.ToString() == kBroadcasts[interface]);
    std::uint32_t siaddr = 0;
    std::memcpy(&siaddr, bytes + net::kBootpSiaddrOffset, sizeof siaddr);
    FUZZ_CHECK(siaddr == os::InetAddr(kAddresses[interface]));
    // A pool address of that adapter: its first three numbers, then 100 to 109.
    FUZZ_CHECK(std::memcmp(bytes + net::kBootpYiaddrOffset, bytes + net::kBootpSiaddrOffset, 3) ==
               0);
    const std::uint8_t host = bytes[net::kBootpYiaddrOffset + 3];
    FUZZ_CHECK(host >= CBootP::kFirstPoolHost &&
               host < CBootP::kFirstPoolHost + CBootP::kPoolEntries);
}

}  // namespace

// The server is 2 MB, made afresh for every input: a small quarantine lets the next
// input reuse its pages rather than fault in new ones.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=16";
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    diag::theLog.SetConsole(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzReader input(data, size);
    Computer computer;
    const net::BoardContext context;
    CBootP server(context, computer);
    server.DetectInterfaces();
    for (int i = 0; i < 2; ++i) {
        server.GetHostInfo(i);
        server.RebuildPool(i);
    }
    const std::uint32_t start = computer.tick;
    bool boardAnswered = false;
    std::uint32_t boardAnsweredAt = 0;
    std::size_t repliesByInterface[2] = {0, 0};
    std::uint32_t xid = 0;
    while (!input.Empty()) {
        const std::uint8_t kind = input.U8();
        computer.tick += input.U16();
        const std::size_t before = computer.replies.size();
        int interface = 0;
        if (kind % 3 == 0) {  // the board
            const auto request = BoardRequest(kBoardXid | ++xid);
            server.HandleDatagram(0, request.data(), static_cast<int>(request.size()), {});
            const bool due =
                computer.tick - start > CBootP::kMinRequestSpacingMs &&
                (!boardAnswered || computer.tick - boardAnsweredAt > CBootP::kMinRequestSpacingMs);
            const bool answered = computer.replies.size() > before;
            FUZZ_CHECK(answered == due);
            if (answered) {
                boardAnswered = true;
                boardAnsweredAt = computer.tick;
            }
        } else {
            interface = kind % 3 == 1 ? 0 : 1;
            std::vector<std::uint8_t> datagram;
            const auto bytes = input.Bytes(input.U16() % CBootP::kReceiveBufferSize);
            datagram.assign(bytes.begin(), bytes.end());
            // On the board's adapter the others send nothing that is a request; on the
            // other they may take the board's hardware address, but not guess its
            // transaction numbers.
            const std::size_t blocks = datagram.size() / net::kBootpMessageSize;
            if (blocks > 0) {
                std::uint8_t* last = &datagram[(blocks - 1) * net::kBootpMessageSize];
                if (interface == 0 && last[net::kBootpOpOffset] == net::kBootpOpRequest)
                    last[net::kBootpOpOffset] = 0;
                last[net::kBootpXidOffset] &= 0x7F;
            }
            server.HandleDatagram(interface, datagram.data(), static_cast<int>(datagram.size()),
                                  {});
            if (interface == 0) FUZZ_CHECK(computer.replies.size() == before);
        }
        FUZZ_CHECK(computer.replies.size() <= before + 1);
        if (computer.replies.size() > before) {
            CheckReply(computer.replies.back(), interface);
            ++repliesByInterface[interface];
        }
        const std::uint32_t elapsed = computer.tick - start;
        for (const std::size_t replies : repliesByInterface)
            FUZZ_CHECK(replies <= CBootP::kReplyBurst + elapsed / CBootP::kReplyIntervalMs);
    }
    return 0;
}
