// The BOOTP server: answers a board's BOOTP request on every IPv4 adapter at once,
// one socket and one thread per adapter on port 67. The board gets the address the
// ARP table already holds for its hardware address, or else the next free address
// of a pool of ten per adapter (the adapter's address with its last octet 100 to
// 109); the reply names the adapter as server, the boot file "d:\a.bin", and carries
// the firmware image's first 16 bytes. Everything is reported through the log.
//
// While it serves, a re-scan thread reads the adapter list again about once a second:
// an adapter that appears, or gains a usable IPv4 address, is served from then on; one
// that loses its address or vanishes is stopped (its thread joined, its socket
// closed); the others are left as they are. Each slot keeps its own copy of the
// adapter record it serves, so an interface thread never reads the changing list.
//
// The device's thread constructs, calls Init and StopAll, and destroys; an Init while
// threads of an earlier Init are alive does nothing (it says so in the log). Large (64 ARP tables):
// create it on the heap. The BoardContext and the platform must outlive the server.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "diag/DropSummary.h"
#include "net/CArp.h"
#include "net/CBootPPlatform.h"
#include "net/ServiceEvents.h"
#include "net/board_context.h"
#include "net/bootp_wire.h"
#include "net/hardware_address.h"
#include "os/adapters.h"
#include "os/socket_address.h"
#include "os/udp_socket.h"
#include "os/waiter.h"

namespace net {

// Which boards are answered at all: those whose hardware address begins with
// `hardwarePrefix` (empty: every one), except the `excluded`, boards a run of many
// has programmed already whose jumper is still fitted. `refusedAddresses` (network
// order) are never given, from the pool or the ARP table: addresses boards
// programmed earlier in a run use; the link never takes them for its peer either.
struct BootpAdmission {
    std::vector<std::uint8_t> hardwarePrefix;
    std::vector<EthernetAddress> excluded;
    std::vector<std::uint32_t> refusedAddresses;
};

class CBootP {
  public:
    static constexpr int kInterfaceSlots = 64;
    static constexpr int kPoolEntries = 10;
    static constexpr int kFirstPoolHost = 100;
    static constexpr int kReceiveBufferSize = 4096;
    static constexpr std::uint16_t kServerPort = 67;
    static constexpr std::uint16_t kClientPort = 68;
    // A board's retries within this spacing are not answered again.
    static constexpr std::uint32_t kMinRequestSpacingMs = 1500;
    // Replies per adapter: bursts of this many, then one per interval, so that no
    // request pattern makes the server flood a LAN with broadcasts.
    static constexpr int kReplyBurst = 8;
    static constexpr std::uint32_t kReplyIntervalMs = 250;
    // Boards remembered for the spacing; the oldest makes room.
    static constexpr int kRecentClients = 32;
    // Hardware addresses refused admission are logged once each, up to this many.
    static constexpr int kIgnoredLogged = 64;
    static constexpr const char* kBootFileName = "d:\\a.bin";
    static constexpr const char* kServerName = "BOOTPServer";
    static constexpr int kAddressTextSize = 32;
    static constexpr int kHostNameSize = 257;
    static constexpr std::uint32_t kRescanIntervalMs = 1000;

    struct PoolEntry {
        bool issued = false;
        std::uint32_t word = 0;
        std::uint8_t hardwareAddress[kBootpChaddrSize] = {};  // the chaddr it was issued to
        char text[kAddressTextSize] = "0.0.0.0";
    };

    explicit CBootP(const BoardContext& context);  // on the real computer
    CBootP(const BoardContext& context, CBootPPlatform& platform);
    ~CBootP();
    CBootP(const CBootP&) = delete;
    CBootP& operator=(const CBootP&) = delete;

    // Who is told of each address given and each adapter change (not owned; null:
    // nobody). Set before Init.
    void SetEvents(ServiceEvents* events) { events_ = events; }
    // How often the adapter list is read again while serving; 0: never. Set before Init.
    void SetRescanIntervalMs(std::uint32_t ms) { rescanIntervalMs_ = ms; }
    // Who is answered (default: every board). Set before Init.
    void SetAdmission(BootpAdmission admission) { admission_ = std::move(admission); }
    // From now on only this hardware address is answered, or none without one: the
    // job has its board, and a next board must wait for a job of its own. Any thread.
    void AdmitOnly(const std::optional<EthernetAddress>& board);

    // Detects the adapters, starts one thread per adapter and the re-scan thread;
    // nothing while threads of an earlier Init still run. Returns 0.
    int Init();
    // Stops the re-scan thread and every interface thread, and frees the adapter list.
    // Returns 0.
    int StopAll();

    // Reads the adapter list once more and starts and stops interfaces to match it
    // (what the re-scan thread does). A failed query changes nothing. Serialised with
    // itself; not during Init or StopAll.
    void Rescan();

    // The inner operations, by interface number. Public so that request handling can
    // be driven without threads or sockets; the interface threads call them too.
    // DetectInterfaces gives slot i the i-th adapter listed; not while threads run.
    std::uint32_t DetectInterfaces();
    bool StartThread(int i);
    bool StopThread(int i);
    bool GetHostInfo(int i);
    void RebuildPool(int i);
    // One received datagram: HandleRead after the receive.
    void HandleDatagram(int i, const std::uint8_t* data, int length, const os::SocketAddress& from);
    // Whether a complete BOOTP message is a request this server answers at all.
    static bool IsBootpRequest(const std::uint8_t* message);
    void ProcessRequest(int i);
    // True when the reply left.
    bool SendBootP(int i, const char* addressText);

    // The error reporters: one log line each, nothing for code 0. Bind and send use
    // the thread's last socket error and ignore `code`.
    static void ReportBindError(int code, const char* context);
    static void ReportSendToError(int code, const char* context);
    void ReportAdaptersInfoError(int code, const char* context);

    // How many interfaces are bound to port 67 and answering now. Any thread.
    int ListeningInterfaces() const;
    // True once every interface thread has bound its socket or failed to. Any thread.
    bool InterfacesSettled() const;
    // The adapters answering now, in slot order. Any thread.
    std::vector<os::AdapterInfo> ServedAdapters() const;

    // Observers, for the owner and tests. InterfaceCount is the first detection's;
    // Adapters the last list read. Any thread.
    std::uint32_t InterfaceCount() const { return interfaceCount_.load(); }
    std::vector<os::AdapterInfo> Adapters() const;
    const PoolEntry& Pool(int i, int j) const { return slots_[i]->pool[j]; }
    std::uint32_t InterfaceAddress(int i) const { return slots_[i]->interfaceAddress; }
    const std::uint8_t* Message(int i) const { return slots_[i]->message; }
    bool IsRunning(int i) const { return slots_[i]->running.load(); }
    bool IsListening(int i) const { return slots_[i]->listening.load() == 1; }
    int ExitCode(int i) const { return slots_[i]->exitCode.load(); }
    CArp& Arp(int i) { return slots_[i]->arp; }

  private:
    struct Slot {
        Slot(CArp::TableReader reader, int i)
            : arp(std::move(reader)), drops("CBootP::HandleRead( " + std::to_string(i) + " )") {}
        // The adapter this slot serves. Written under slotsMutex_ and only while the
        // slot has no thread; its thread reads it without a lock.
        os::AdapterInfo adapter;
        bool assigned = false;  // holds an adapter; as `adapter`
        bool announce = false;  // started by a re-scan: say so once it serves
        os::UdpSocket socket;
        std::uint8_t receiveBuffer[kReceiveBufferSize] = {};
        os::SocketAddress localAddress;
        os::SocketAddress replyDestination;
        PoolEntry pool[kPoolEntries];
        char interfaceText[kAddressTextSize] = "";
        std::uint32_t interfaceAddress = 0;
        std::uint8_t message[kBootpMessageSize] = {};
        char hostName[kHostNameSize] = "";
        CArp arp;
        std::atomic<bool> running{false};
        std::atomic<int> exitCode{0};
        std::atomic<bool> threadEnded{false};  // its body has returned (joinable still)
        std::atomic<int> listening{-1};        // 1 bound to port 67, 0 starting, -1 not serving
        std::thread thread;
        std::unique_ptr<os::Waiter> waiter;  // the stop and network events
        diag::DropSummary drops;             // what is not a request, summarised
        int replyTokens = kReplyBurst;
        std::uint32_t replyRefillTick = 0;
    };
    struct RecentClient {
        std::uint8_t hardwareAddress[kBootpChaddrSize] = {};
        int adapter = 0;  // the interface slot it was answered on ("interface" is a Windows macro)
        std::uint32_t xid = 0;
        std::uint32_t tick = 0;
        bool used = false;
    };

    std::uint32_t ListAdapters(std::uint32_t room, std::vector<os::AdapterInfo>& listed,
                               bool quiet);
    void AssignSlot(int i, const os::AdapterInfo* adapter, bool announce);
    int SlotServing(const os::AdapterInfo& adapter) const;
    int FreeSlot() const;
    void StopChangedSlots(const std::vector<os::AdapterInfo>& listed,
                          std::vector<AdapterChange>& stopped);
    bool StopSlot(int i, bool& wasServing);
    void StartNewAdapters(const std::vector<os::AdapterInfo>& listed);
    void RescanLoop();
    void StopRescan();
    void Announce(const AdapterChange& change);
    int BootPThread(int i);
    bool CreateEvents(int i);
    bool InitializeBootP(int i);
    void HandleNetworkEvents(int i);
    void HandleRead(int i);
    void DropDatagram(int i, int length, const os::SocketAddress& from, const char* why);
    const char* AdmitRequest(int i, const std::uint8_t* request, std::uint32_t now);
    const char* AdmissionRefusal(const std::uint8_t* chaddr);
    void LogIgnoredOnce(int i, const std::uint8_t* chaddr, const char* why);
    bool IsRetry(int i, const std::uint8_t* chaddr, std::uint32_t xid, std::uint32_t now);
    bool TakeReplyToken(Slot& slot, std::uint32_t now);
    PoolEntry* ChoosePoolEntry(int i, const std::uint8_t* chaddr, int hlen);
    bool IsRefused(std::uint32_t addressNetworkOrder) const;
    void ReportAddressGiven(int i, const char* addressText, bool fromArpTable);
    void CloseSocket(int i);
    void CloseEvents(int i);
    void StopAllThreads();
    bool AnyThreadAlive() const;
    bool ValidSlot(int i) const { return i >= 0 && i < kInterfaceSlots; }

    const BoardContext& context_;
    CBootPPlatform& platform_;
    ServiceEvents* events_ = nullptr;
    BootpAdmission admission_;
    std::mutex onlyBoardMutex_;
    bool onlyOneBoard_ = false;                 // under onlyBoardMutex_
    std::optional<EthernetAddress> onlyBoard_;  // under onlyBoardMutex_
    std::mutex ignoredMutex_;
    std::vector<EthernetAddress> ignoredLogged_;
    std::atomic<std::uint32_t> interfaceCount_{0};
    // Init, StopAll and Rescan start and stop slots one at a time under controlMutex_;
    // observers take only slotsMutex_, which nobody holds while joining a thread.
    std::mutex controlMutex_;
    mutable std::mutex slotsMutex_;
    std::vector<os::AdapterInfo> adapters_;  // under slotsMutex_
    std::unique_ptr<Slot> slots_[kInterfaceSlots];
    bool listFailing_ = false;      // under controlMutex_: logged until a query succeeds
    bool slotsFullLogged_ = false;  // under controlMutex_
    std::uint32_t rescanIntervalMs_ = kRescanIntervalMs;
    std::thread rescanThread_;
    std::mutex rescanMutex_;
    std::condition_variable rescanWake_;
    bool rescanStop_ = false;  // under rescanMutex_
    // Nothing is answered until the spacing has passed once since construction.
    const std::uint32_t constructionTick_;
    std::atomic<bool> warmedUp_{false};
    // The boards answered lately, shared by every interface thread.
    std::mutex recentMutex_;
    RecentClient recentClients_[kRecentClients];
};

}  // namespace net
