#include "net/CBootP.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "diag/CLog.h"
#include "net/CBootPSystemPlatform.h"
#include "os/byte_order.h"
#include "os/clock.h"
#include "os/inet_addr.h"

namespace net {
namespace {

using diag::theLog;

constexpr int kLastOctet = 3;
constexpr std::uint8_t kBroadcastOctet = 255;
constexpr int kWorkingTextSize = 128;
constexpr int kContextSize = 128;
// gethostname gets room for this many characters; the buffer keeps a terminator.
constexpr int kHostNameRoom = CBootP::kHostNameSize - 1;
// A failing wait is retried after this pause rather than at once.
constexpr std::uint32_t kWaitRetryMs = 50;

std::uint32_t WithLastOctet(std::uint32_t addressNetworkOrder, std::uint8_t octet) {
    std::uint8_t octets[sizeof addressNetworkOrder];
    std::memcpy(octets, &addressNetworkOrder, sizeof octets);  // the wire order
    octets[kLastOctet] = octet;
    std::uint32_t result = 0;
    std::memcpy(&result, octets, sizeof result);
    return result;
}

// Addresses travel in network order; the field takes the bytes as they are held.
void StoreAddress(std::uint8_t* field, std::uint32_t addressNetworkOrder) {
    std::memcpy(field, &addressNetworkOrder, sizeof addressNetworkOrder);
}

void CopyText(char* to, std::size_t size, const char* from) {
    const std::size_t length = strnlen(from, size - 1);
    std::memcpy(to, from, length);
    to[length] = '\0';
}

int SocketNumber(const os::UdpSocket& socket) {
    return static_cast<int>(socket.NativeHandle());
}

bool HasUsableAddress(const os::AdapterInfo& adapter) {
    const std::uint32_t address = os::InetAddr(adapter.ipAddress);
    return address != 0 && address != os::kInaddrNone;
}

bool SameAdapter(const os::AdapterInfo& a, const os::AdapterInfo& b) {
    return a.index == b.index && std::strcmp(a.name, b.name) == 0;
}

const os::AdapterInfo* FindAdapter(const std::vector<os::AdapterInfo>& listed,
                                   const os::AdapterInfo& adapter) {
    for (const os::AdapterInfo& candidate : listed)
        if (SameAdapter(candidate, adapter)) return &candidate;
    return nullptr;
}

// Why a served adapter is served no longer: `now` is its record in the new list.
std::string StopReason(const os::AdapterInfo* now) {
    if (now == nullptr) return "the adapter is gone";
    if (!HasUsableAddress(*now)) return "it has no IPv4 address now";
    return std::string("its address is now ") + now->ipAddress;
}

}  // namespace

CBootP::CBootP(const BoardContext& context) : CBootP(context, CBootPSystemPlatform::Instance()) {}

CBootP::CBootP(const BoardContext& context, CBootPPlatform& platform)
    : context_(context), platform_(platform), constructionTick_(platform.TickCountMs()) {
    for (int i = 0; i < kInterfaceSlots; ++i) {
        slots_[i] = std::make_unique<Slot>(
            [&platform](std::uint8_t* buffer, std::uint32_t capacity) {
                return platform.ReadArpTable(buffer, capacity);
            },
            i);
        slots_[i]->replyRefillTick = constructionTick_;
    }
}

CBootP::~CBootP() {
    StopRescan();
    StopAllThreads();
}

int CBootP::Init() {
    // The slots are given new adapters only once none of their threads runs.
    if (AnyThreadAlive()) {
        theLog.Print("CBootP::Init - still serving the adapters found before; StopAll first");
        return 0;
    }
    {
        std::lock_guard control(controlMutex_);
        StopAllThreads();  // joins the threads that ended by themselves
        listFailing_ = false;
        slotsFullLogged_ = false;
        const std::uint32_t count = DetectInterfaces();
        for (std::uint32_t i = 0; i < count; ++i) {
            theLog.Separator();
            theLog.Print("CBootP::Init - spawning thread %d", static_cast<int>(i));
            StartThread(static_cast<int>(i));
        }
    }
    if (rescanIntervalMs_ == 0) return 0;
    {
        std::lock_guard lock(rescanMutex_);
        rescanStop_ = false;
    }
    try {
        rescanThread_ = std::thread([this] { RescanLoop(); });
    } catch (const std::system_error& error) {
        theLog.Print("CBootP::Init - cannot create the re-scan thread: %s", error.what());
    }
    return 0;
}

int CBootP::StopAll() {
    StopRescan();
    std::lock_guard control(controlMutex_);
    StopAllThreads();
    std::lock_guard lock(slotsMutex_);
    adapters_.clear();
    for (const auto& slot : slots_)
        slot->assigned = false;
    return 0;
}

// The re-scan thread first: it starts and stops interface threads itself.
bool CBootP::AnyThreadAlive() const {
    if (rescanThread_.joinable()) return true;
    for (const auto& slot : slots_) {
        if (slot->thread.joinable() && !slot->threadEnded.load()) return true;
    }
    return false;
}

void CBootP::StopAllThreads() {
    for (int i = 0; i < kInterfaceSlots; ++i) {
        if (slots_[i]->running.load() || slots_[i]->thread.joinable()) StopThread(i);
    }
}

void CBootP::RescanLoop() {
    std::unique_lock lock(rescanMutex_);
    const auto interval = std::chrono::milliseconds(rescanIntervalMs_);
    while (!rescanWake_.wait_for(lock, interval, [this] { return rescanStop_; })) {
        lock.unlock();
        Rescan();
        lock.lock();
    }
}

void CBootP::StopRescan() {
    if (!rescanThread_.joinable()) return;
    {
        std::lock_guard lock(rescanMutex_);
        rescanStop_ = true;
    }
    rescanWake_.notify_all();
    rescanThread_.join();
}

// Polled rather than notified: GetAdaptersInfo and getifaddrs are cheap once a second,
// and one path serves both platforms and Wine alike. A query that fails leaves every
// interface as it was; an empty list (ERROR_NO_DATA) means every adapter is gone.
void CBootP::Rescan() {
    std::lock_guard control(controlMutex_);
    std::vector<os::AdapterInfo> listed;
    const auto room = static_cast<std::uint32_t>(std::max<std::size_t>(adapters_.size(), 1));
    const std::uint32_t error = ListAdapters(room, listed, true);
    if (error != 0 && error != os::kErrorNoData) {
        if (!listFailing_) {
            ReportAdaptersInfoError(static_cast<int>(error), "CBootP::Rescan");
            theLog.Print(
                "CBootP::Rescan - the adapter list cannot be read; serving the "
                "adapters as they were");
        }
        listFailing_ = true;
        return;
    }
    listFailing_ = false;
    std::vector<AdapterChange> stopped;
    StopChangedSlots(listed, stopped);
    // Before any start: an adapter whose address changed is reported gone first.
    for (const AdapterChange& change : stopped)
        Announce(change);
    StartNewAdapters(listed);
    std::lock_guard lock(slotsMutex_);
    adapters_ = std::move(listed);
}

// Slots whose adapter vanished or has another address now are stopped; a vanished
// adapter's slot is freed, any other keeps its adapter with the new address.
void CBootP::StopChangedSlots(const std::vector<os::AdapterInfo>& listed,
                              std::vector<AdapterChange>& stopped) {
    for (int i = 0; i < kInterfaceSlots; ++i) {
        Slot& slot = *slots_[i];
        if (!slot.assigned) continue;
        const os::AdapterInfo* now = FindAdapter(listed, slot.adapter);
        if (now != nullptr && std::strcmp(now->ipAddress, slot.adapter.ipAddress) == 0) continue;
        bool wasServing = false;
        StopSlot(i, wasServing);
        if (wasServing) {
            AdapterChange change{slot.adapter.name, slot.adapter.ipAddress, false, StopReason(now)};
            theLog.Print("CBootP::Rescan - Adapter %s (%s) is no longer served: %s",
                         change.adapterName.c_str(), change.adapterAddress.c_str(),
                         change.reason.c_str());
            stopped.push_back(std::move(change));
        }
        AssignSlot(i, now, false);
    }
}

// An adapter with a usable address and no thread of its own gets one, in its own slot
// if it has one, else in the lowest free slot. A slot whose thread failed with this
// same address (port 67 taken) is not tried again.
void CBootP::StartNewAdapters(const std::vector<os::AdapterInfo>& listed) {
    for (const os::AdapterInfo& adapter : listed) {
        if (!HasUsableAddress(adapter)) continue;
        int i = SlotServing(adapter);
        if (i >= 0 && slots_[i]->thread.joinable()) continue;
        if (i < 0) i = FreeSlot();
        if (i < 0) {
            if (!slotsFullLogged_)
                theLog.Print(
                    "CBootP::Rescan - adapter %s (%s) is not served: all %d slots are "
                    "in use",
                    adapter.name, adapter.ipAddress, kInterfaceSlots);
            slotsFullLogged_ = true;
            continue;
        }
        AssignSlot(i, &adapter, true);
        CArp& arp = slots_[i]->arp;
        arp.SetAdapter(static_cast<std::int32_t>(adapter.index));
        arp.Print();
        theLog.Separator();
        theLog.Print("CBootP::Rescan - spawning thread %d for adapter %s (%s)", i, adapter.name,
                     adapter.ipAddress);
        StartThread(i);
    }
}

// Null frees the slot.
void CBootP::AssignSlot(int i, const os::AdapterInfo* adapter, bool announce) {
    Slot& slot = *slots_[i];
    std::lock_guard lock(slotsMutex_);
    slot.adapter = adapter != nullptr ? *adapter : os::AdapterInfo{};
    slot.assigned = adapter != nullptr;
    slot.announce = announce;
    if (adapter == nullptr) slotsFullLogged_ = false;
}

int CBootP::SlotServing(const os::AdapterInfo& adapter) const {
    for (int i = 0; i < kInterfaceSlots; ++i)
        if (slots_[i]->assigned && SameAdapter(slots_[i]->adapter, adapter)) return i;
    return -1;
}

int CBootP::FreeSlot() const {
    for (int i = 0; i < kInterfaceSlots; ++i)
        if (!slots_[i]->assigned) return i;
    return -1;
}

void CBootP::Announce(const AdapterChange& change) {
    if (events_ != nullptr) events_->OnAdapterChanged(change);
}

std::uint32_t CBootP::DetectInterfaces() {
    std::uint32_t count = 0;
    const std::uint32_t error = platform_.NumberOfInterfaces(count);
    if (error != 0) {
        theLog.Separator();
        theLog.Print("CBootP::DetectInterfaces - GetNumberOfInterfaces returned error: %u", error);
        theLog.Separator();
        interfaceCount_ = 0;
        for (int i = 0; i < kInterfaceSlots; ++i)
            AssignSlot(i, nullptr, false);
        return 0;
    }
    interfaceCount_ = count;
    theLog.Separator();
    theLog.Print(
        "CBootP::DetectInterfaces - GetNumberOfInterfaces returns: %u (includes loopback device)",
        count);
    if (!adapters_.empty()) {  // only the controlling thread writes it
        theLog.Print("m_sAdapterInfo not NULL");
        std::lock_guard lock(slotsMutex_);
        adapters_.clear();
    }
    std::vector<os::AdapterInfo> listed;
    const std::uint32_t listError = ListAdapters(count, listed, false);
    // Unfilled records must never be read: a failed query serves no interface.
    if (listError != 0) {
        ReportAdaptersInfoError(static_cast<int>(listError), "CBootP::DetectInterfaces");
        listed.clear();
    }
    for (std::size_t n = 0; n < listed.size(); ++n) {
        theLog.Print("CBootP::DetectInterfaces - GetAdaptersInfo %d found adapter %s\n%s.\n",
                     static_cast<int>(n), listed[n].name, listed[n].description);
    }
    const auto found = static_cast<std::uint32_t>(listed.size());
    if (listError == 0 && found != count) {
        theLog.Print("CBootP::DetectInterfaces - Only %d of %d interfaces found. Truncating.",
                     static_cast<int>(found), static_cast<int>(count));
    }
    if (found > kInterfaceSlots) {
        theLog.Print("CBootP::DetectInterfaces - %u adapters found; serving the first %d", found,
                     kInterfaceSlots);
    }
    const std::uint32_t served = std::min<std::uint32_t>(found, kInterfaceSlots);
    interfaceCount_ = served;
    for (std::uint32_t i = 0; i < kInterfaceSlots; ++i)
        AssignSlot(static_cast<int>(i), i < served ? &listed[i] : nullptr, false);
    for (std::uint32_t i = 0; i < served; ++i) {
        CArp& arp = slots_[i]->arp;
        arp.SetAdapter(static_cast<std::int32_t>(listed[i].index));
        arp.Print();
    }
    {
        std::lock_guard lock(slotsMutex_);
        adapters_ = std::move(listed);
    }
    theLog.Separator();
    return served;
}

// The room offered is only a first guess (Wine answers 0 interfaces): when the
// platform asks for more, it gets what it asks for, once. 0 or the platform's error.
std::uint32_t CBootP::ListAdapters(std::uint32_t room, std::vector<os::AdapterInfo>& listed,
                                   bool quiet) {
    std::uint32_t needed = 0;
    std::uint32_t error = platform_.ListAdapters(room, listed, needed);
    if (error == os::kErrorBufferOverflow && needed > room) {
        if (!quiet)
            theLog.Print("CBootP::DetectInterfaces - GetAdaptersInfo asks for room for %u adapters",
                         needed);
        room = needed;
        error = platform_.ListAdapters(room, listed, needed);
    }
    return error;
}

bool CBootP::StartThread(int i) {
    if (!ValidSlot(i) || !slots_[i]->assigned) {
        theLog.Print("StartThread(%d) - out of bounds", i);
        return false;
    }
    Slot& slot = *slots_[i];
    if (slot.thread.joinable()) {
        theLog.Print("StartThread(%d) - a thread still serves this interface", i);
        return false;
    }
    CreateEvents(i);
    // Set before the thread exists, so a StopAll that comes first still joins it.
    slot.running = true;
    slot.listening = 0;
    slot.threadEnded = false;
    try {
        slot.thread = std::thread([this, i] {
            slots_[i]->exitCode = BootPThread(i);
            slots_[i]->threadEnded = true;
        });
    } catch (const std::system_error& error) {
        slot.running = false;
        slot.listening = -1;
        theLog.Print("StartThread(%d) - cannot create a thread: %s", i, error.what());
        return false;
    }
    theLog.Print("StartThread(%d) - created thread 0x%x", i,
                 static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(&slot.thread)));
    return true;
}

bool CBootP::StopThread(int i) {
    bool wasServing = false;
    return StopSlot(i, wasServing);
}

// `wasServing`: the thread had bound its socket, so its adapter was being served.
bool CBootP::StopSlot(int i, bool& wasServing) {
    wasServing = false;
    if (!ValidSlot(i)) return true;
    Slot& slot = *slots_[i];
    if (!slot.thread.joinable()) {
        slot.running = false;
        slot.listening = -1;
        return true;
    }
    if (slot.thread.get_id() == std::this_thread::get_id()) return false;
    if (slot.waiter) slot.waiter->RequestStop();
    slot.thread.join();
    slot.running = false;
    wasServing = slot.listening.exchange(-1) == 1;
    CloseEvents(i);
    return true;
}

// The waiter stands for the stop and network events. It is made before the thread
// starts, so a stop can never be requested of one that does not exist yet.
bool CBootP::CreateEvents(int i) {
    slots_[i]->waiter = std::make_unique<os::Waiter>();
    return slots_[i]->waiter->IsValid();
}

void CBootP::CloseEvents(int i) {
    slots_[i]->waiter.reset();
}

int CBootP::ListeningInterfaces() const {
    int count = 0;
    for (const auto& slot : slots_)
        count += slot->listening.load() == 1;
    return count;
}

bool CBootP::InterfacesSettled() const {
    for (const auto& slot : slots_)
        if (slot->listening.load() == 0) return false;
    return true;
}

std::vector<os::AdapterInfo> CBootP::ServedAdapters() const {
    std::vector<os::AdapterInfo> served;
    std::lock_guard lock(slotsMutex_);
    for (const auto& slot : slots_)
        if (slot->assigned && slot->listening.load() == 1) served.push_back(slot->adapter);
    return served;
}

std::vector<os::AdapterInfo> CBootP::Adapters() const {
    std::lock_guard lock(slotsMutex_);
    return adapters_;
}

int CBootP::BootPThread(int i) {
    Slot& slot = *slots_[i];
    slot.running = true;
    const bool listening = slot.waiter && slot.waiter->IsValid() && InitializeBootP(i);
    slot.listening = listening ? 1 : -1;
    if (!listening) return -1;
    if (slot.announce) {
        theLog.Print("CBootP::BootPThread( %d ) - Adapter %s (%s) is now served", i,
                     slot.adapter.name, slot.interfaceText);
        Announce({slot.adapter.name, slot.interfaceText, true, ""});
    }
    while (slot.running.load()) {
        const os::WaitResult result = slot.waiter->Wait(os::Waiter::kForever);
        if (result.outcome == os::WaitOutcome::kStopped) {
            slot.running = false;
        } else if (result.outcome == os::WaitOutcome::kReadable) {
            HandleNetworkEvents(i);
        } else if (result.outcome == os::WaitOutcome::kError) {
            os::SleepMs(kWaitRetryMs);  // never spin on a failing wait
        }
    }
    slot.drops.Flush(platform_.TickCountMs());
    CloseSocket(i);
    slot.running = false;
    return 0;
}

bool CBootP::InitializeBootP(int i) {
    Slot& slot = *slots_[i];
    GetHostInfo(i);
    if (slot.interfaceAddress == 0 || slot.interfaceAddress == os::kInaddrNone) return false;
    RebuildPool(i);

    const os::AdapterInfo& adapter = slot.adapter;
    slot.localAddress = {slot.interfaceAddress, kServerPort};
    const bool bound =
        slot.socket.Open() &&
        platform_.BindServerSocket(slot.socket, adapter, slot.interfaceAddress, kServerPort);
    if (!bound) {
        char context[kContextSize];
        std::snprintf(context, sizeof context, "CBootP::InitializeBootP( %d ) IP 0x%8.8lx  Port %d",
                      i, static_cast<unsigned long>(slot.interfaceAddress), kServerPort);
        ReportBindError(slot.socket.LastError(), context);
        slot.socket.Close();
        return false;
    }
    const std::uint8_t* mac = adapter.hardwareAddress;
    theLog.Separator();
    theLog.Print(
        "CBootP::InitializeBootP( %d ) - bound socket %d with Ip %s - 0x%8.8x  and MAC %2.2x %2.2x "
        "%2.2x : %2.2x %2.2x %2.2x",
        i, SocketNumber(slot.socket), slot.interfaceText, slot.interfaceAddress, mac[0], mac[1],
        mac[2], mac[3], mac[4], mac[5]);
    // Results ignored: a socket that cannot broadcast still answers where it can.
    slot.socket.SetNonBlocking(true);
    slot.socket.SetBroadcast(true);
    slot.socket.SetDontRoute(true);  // replies stay on this adapter's own network

    const bool selected = slot.waiter->Add(slot.socket);
    const int result = selected ? 0 : -1;
    theLog.Print("CBootP::InitializeBootP(%d) - WSAEventSelect( %d, 0x%8.8x, %d) returned %d", i,
                 SocketNumber(slot.socket),
                 static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(slot.waiter.get())), 1,
                 result);
    if (!selected) {
        slot.socket.Close();
        return false;
    }
    return true;
}

bool CBootP::GetHostInfo(int i) {
    Slot& slot = *slots_[i];
    const int result = platform_.HostName(slot.hostName, kHostNameRoom);
    if (result != 0) {
        theLog.Print("CBootP::GetHostInfo - gethostname returned %d", result);
        return false;
    }
    if (!slot.assigned) return false;
    CopyText(slot.interfaceText, sizeof slot.interfaceText, slot.adapter.ipAddress);
    slot.interfaceAddress = os::InetAddr(slot.interfaceText);
    return true;
}

// The adapter's network mask plays no part: .100 to .109 of its address.
void CBootP::RebuildPool(int i) {
    Slot& slot = *slots_[i];
    std::uint8_t octets[sizeof slot.interfaceAddress];
    std::memcpy(octets, &slot.interfaceAddress, sizeof octets);
    for (int j = 0; j < kPoolEntries; ++j) {
        PoolEntry& entry = slot.pool[j];
        entry = PoolEntry{};
        std::snprintf(entry.text, sizeof entry.text, "%u.%u.%u.%d", octets[0], octets[1], octets[2],
                      kFirstPoolHost + j);
    }
}

void CBootP::HandleNetworkEvents(int i) {
    HandleRead(i);
}

void CBootP::HandleRead(int i) {
    Slot& slot = *slots_[i];
    os::SocketAddress from;
    const int length = slot.socket.ReceiveFrom(slot.receiveBuffer, kReceiveBufferSize, &from);
    if (length <= 0) {
        // A datagram too long for the buffer is an error on Windows: one of a flood.
        if (slot.drops.Note(platform_.TickCountMs()))
            theLog.Print("CBootP::HandleRead - Error in recvfrom %d", length);
        return;
    }
    HandleDatagram(i, slot.receiveBuffer, length, from);
}

bool CBootP::IsBootpRequest(const std::uint8_t* message) {
    return message[kBootpOpOffset] == kBootpOpRequest &&
           message[kBootpHtypeOffset] == kBootpHtypeEthernet;
}

// Only a request is logged in full and may take a reply: whatever else reaches port
// 67, from any host, is dropped before it can count against a board.
void CBootP::HandleDatagram(int i, const std::uint8_t* data, int length,
                            const os::SocketAddress& from) {
    Slot& slot = *slots_[i];
    // Whole 300-byte blocks only; the last one is the request.
    const int blocks = length / kBootpMessageSize;
    if (blocks == 0) {
        DropDatagram(i, length, from, "shorter than a BOOTP message");
        return;
    }
    std::memcpy(slot.message, data + (blocks - 1) * kBootpMessageSize, kBootpMessageSize);
    if (!IsBootpRequest(slot.message)) {
        DropDatagram(i, length, from, "not a BOOTP request from an Ethernet client");
        return;
    }
    if (const char* why = AdmissionRefusal(slot.message + kBootpChaddrOffset)) {
        LogIgnoredOnce(i, slot.message + kBootpChaddrOffset, why);
        DropDatagram(i, length, from, why);
        return;
    }
    if (const char* refused = AdmitRequest(i, slot.message, platform_.TickCountMs())) {
        DropDatagram(i, length, from, refused);
        return;
    }
    const std::uint8_t* mac = slot.adapter.hardwareAddress;
    theLog.Separator();
    theLog.Print(
        "CBootP::BootPThread( %d ) - detected a network event socket %d with Ip %s - "
        "0x%8.8x  and MAC %2.2x %2.2x %2.2x : %2.2x %2.2x %2.2x",
        i, SocketNumber(slot.socket), slot.interfaceText, slot.interfaceAddress, mac[0], mac[1],
        mac[2], mac[3], mac[4], mac[5]);
    theLog.Print("CBootP::HandleRead - %d bytes received from 0x%8.8x port %d", length,
                 from.addressNetworkOrder, from.port);
    GetHostInfo(i);
    ProcessRequest(i);
}

void CBootP::DropDatagram(int i, int length, const os::SocketAddress& from, const char* why) {
    if (!slots_[i]->drops.Note(platform_.TickCountMs())) return;
    theLog.Print("CBootP::HandleRead - %d bytes received from 0x%8.8x port %d", length,
                 from.addressNetworkOrder, from.port);
    theLog.Print("CBootP::HandleRead( %d ) - dropped: %s", i, why);
}

// The spacing keeps one board's retries from being answered twice: it is kept per
// hardware address on each adapter, and a request seen on two adapters at once (the
// same address and transaction number) is answered on the first only. So another
// host, even one that takes the board's hardware address on another adapter, uses
// neither the board's spacing nor the reply budget of the board's adapter.
// Null when the request is to be handled, else why not.
const char* CBootP::AdmitRequest(int i, const std::uint8_t* request, std::uint32_t now) {
    const std::uint8_t* chaddr = request + kBootpChaddrOffset;
    const std::uint32_t xid = os::load_be32(request + kBootpXidOffset);
    // Unsigned arithmetic throughout, so a wrap of the tick count still spaces requests.
    if (!warmedUp_.load()) {
        if (now - constructionTick_ <= kMinRequestSpacingMs) return "the server has just started";
        warmedUp_ = true;
    }
    std::lock_guard lock(recentMutex_);
    if (IsRetry(i, chaddr, xid, now)) return "this client was answered less than 1.5 s ago";
    if (!TakeReplyToken(*slots_[i], now)) return "this adapter's replies are spent for now";
    RecentClient* slot = &recentClients_[0];
    for (RecentClient& client : recentClients_) {
        if (!client.used) {
            slot = &client;
            break;
        }
        if (now - client.tick > now - slot->tick) slot = &client;  // the oldest
    }
    std::memcpy(slot->hardwareAddress, chaddr, kBootpChaddrSize);
    slot->adapter = i;
    slot->xid = xid;
    slot->tick = now;
    slot->used = true;
    return nullptr;
}

void CBootP::AdmitOnly(const std::optional<EthernetAddress>& board) {
    std::lock_guard lock(onlyBoardMutex_);
    onlyOneBoard_ = true;
    onlyBoard_ = board;
}

const char* CBootP::AdmissionRefusal(const std::uint8_t* chaddr) {
    {
        std::lock_guard lock(onlyBoardMutex_);
        if (onlyOneBoard_ &&
            !(onlyBoard_ && std::equal(onlyBoard_->begin(), onlyBoard_->end(), chaddr)))
            return "this job has its board already";
    }
    const std::vector<std::uint8_t>& prefix = admission_.hardwarePrefix;
    if (!std::equal(prefix.begin(), prefix.end(), chaddr))
        return "its hardware address is not of the prefix answered";
    for (const EthernetAddress& excluded : admission_.excluded) {
        if (std::equal(excluded.begin(), excluded.end(), chaddr))
            return "this board was programmed earlier in the run";
    }
    return nullptr;
}

// A stranger's DHCP client asks every few seconds: one line each says why it is not
// answered, and the drop summary counts the rest.
void CBootP::LogIgnoredOnce(int i, const std::uint8_t* chaddr, const char* why) {
    EthernetAddress address{};
    std::copy(chaddr, chaddr + kEthernetAddressSize, address.begin());
    {
        std::lock_guard lock(ignoredMutex_);
        if (std::find(ignoredLogged_.begin(), ignoredLogged_.end(), address) !=
                ignoredLogged_.end() ||
            ignoredLogged_.size() >= static_cast<std::size_t>(kIgnoredLogged))
            return;
        ignoredLogged_.push_back(address);
    }
    theLog.Print("CBootP::HandleRead( %d ) - not answering %s: %s", i,
                 HardwareAddressText(address.data(), kEthernetAddressSize).c_str(), why);
}

bool CBootP::IsRetry(int i, const std::uint8_t* chaddr, std::uint32_t xid, std::uint32_t now) {
    for (const RecentClient& client : recentClients_) {
        if (client.used && now - client.tick <= kMinRequestSpacingMs &&
            (client.adapter == i || client.xid == xid) &&
            std::memcmp(client.hardwareAddress, chaddr, kBootpChaddrSize) == 0)
            return true;
    }
    return false;
}

bool CBootP::TakeReplyToken(Slot& slot, std::uint32_t now) {
    const std::uint32_t earned = (now - slot.replyRefillTick) / kReplyIntervalMs;
    if (earned > 0) {
        slot.replyTokens = static_cast<int>(std::min<std::uint32_t>(
            kReplyBurst, static_cast<std::uint32_t>(slot.replyTokens) + earned));
        slot.replyRefillTick += earned * kReplyIntervalMs;
    }
    if (slot.replyTokens == 0) return false;
    --slot.replyTokens;
    return true;
}

// The entry already issued to this hardware address, so that a board that missed
// the reply and asks again gets the same address; else the lowest free one that is
// not refused and that the ARP table holds for no other hardware: a board programmed
// earlier, or another host, may still answer there, and would then be taken for the
// board. The table only hints (its entries outlive hosts that have gone), so when it
// holds every free address the lowest of them is given rather than none. A refused
// address is never given.
CBootP::PoolEntry* CBootP::ChoosePoolEntry(int i, const std::uint8_t* chaddr, int hlen) {
    Slot& slot = *slots_[i];
    PoolEntry* pool = slot.pool;
    for (int j = 0; j < kPoolEntries; ++j) {
        if (pool[j].issued &&
            std::memcmp(pool[j].hardwareAddress, chaddr, sizeof pool[j].hardwareAddress) == 0) {
            return &pool[j];
        }
    }
    PoolEntry* heldForAnother = nullptr;
    for (int j = 0; j < kPoolEntries; ++j) {
        if (pool[j].issued) continue;
        const std::uint32_t address = os::InetAddr(pool[j].text);
        if (IsRefused(address)) {
            theLog.Print("CBootP::ChoosePoolEntry( %d ) - %s is refused in this job", i,
                         pool[j].text);
        } else if (slot.arp.HeldForAnother(address, chaddr, hlen)) {
            theLog.Print(
                "CBootP::ChoosePoolEntry( %d ) - the ARP table holds %s for other hardware", i,
                pool[j].text);
            if (heldForAnother == nullptr) heldForAnother = &pool[j];
        } else {
            return &pool[j];
        }
    }
    if (heldForAnother != nullptr)
        theLog.Print(
            "CBootP::ChoosePoolEntry( %d ) - the ARP table holds every free pool address; "
            "giving %s",
            i, heldForAnother->text);
    return heldForAnother;
}

bool CBootP::IsRefused(std::uint32_t addressNetworkOrder) const {
    const std::vector<std::uint32_t>& refused = admission_.refusedAddresses;
    return std::find(refused.begin(), refused.end(), addressNetworkOrder) != refused.end();
}

void CBootP::ProcessRequest(int i) {
    Slot& slot = *slots_[i];
    const std::uint8_t* message = slot.message;
    if (message[kBootpOpOffset] != kBootpOpRequest ||
        message[kBootpHtypeOffset] != kBootpHtypeEthernet) {
        return;
    }
    if (slot.interfaceAddress == os::InetAddr("127.0.0.1")) return;
    // The hardware address never reaches past chaddr, whatever hlen says.
    const int hlen = std::min<int>(message[kBootpHlenOffset], kBootpChaddrSize);
    PoolEntry* entry = ChoosePoolEntry(i, message + kBootpChaddrOffset, hlen);
    if (entry == nullptr) return;  // all ten issued or refused: no reply on this interface

    char working[kWorkingTextSize];
    CopyText(working, sizeof working, entry->text);
    int result = slot.arp.GetNewAddress(message + kBootpChaddrOffset, hlen, working);
    if (result == CArp::kFound && IsRefused(os::InetAddr(working))) {
        theLog.Print("CBootP::ProcessRequest: the ARP table's %s is refused in this job", working);
        result = CArp::kNotFound;
    }
    if (result == CArp::kNotFound) {
        entry->issued = true;
        std::memcpy(entry->hardwareAddress, message + kBootpChaddrOffset,
                    sizeof entry->hardwareAddress);
        theLog.Separator();
        theLog.Print("CBootP::ProcessRequest: issued address at %s", entry->text);
        if (SendBootP(i, entry->text)) ReportAddressGiven(i, entry->text, false);
    } else if (result == CArp::kFound) {
        theLog.Separator();
        theLog.Print("CBootP::ProcessRequest: found address at %s", working);
        if (SendBootP(i, working)) ReportAddressGiven(i, working, true);
    }
}

void CBootP::ReportAddressGiven(int i, const char* addressText, bool fromArpTable) {
    if (events_ == nullptr) return;
    const Slot& slot = *slots_[i];
    AddressGiven given;
    given.adapterName = slot.adapter.name;
    given.adapterAddress = slot.interfaceText;
    given.hardwareAddress = slot.message + kBootpChaddrOffset;
    given.hardwareAddressLength = std::min<int>(slot.message[kBootpHlenOffset], kBootpChaddrSize);
    given.address = addressText;
    given.fromArpTable = fromArpTable;
    events_->OnAddressGiven(given);
}

bool CBootP::SendBootP(int i, const char* addressText) {
    Slot& slot = *slots_[i];
    std::uint8_t* message = slot.message;
    slot.replyDestination = {WithLastOctet(slot.interfaceAddress, kBroadcastOctet), kClientPort};

    message[kBootpOpOffset] = kBootpOpReply;
    StoreAddress(message + kBootpYiaddrOffset, os::InetAddr(addressText));
    StoreAddress(message + kBootpSiaddrOffset, slot.interfaceAddress);

    // Appended to what the board wrote; the terminator may fall on the file field's
    // first byte, which the file name overwrites next.
    char* sname = reinterpret_cast<char*>(message + kBootpSnameOffset);
    const std::size_t used = strnlen(sname, kBootpSnameSize);
    const std::size_t appended = std::min(std::strlen(kServerName), kBootpSnameSize - used);
    std::memcpy(sname + used, kServerName, appended);
    sname[used + appended] = '\0';

    std::memset(message + kBootpVendZeroOffset, 0, kBootpVendZeroSize);
    if (context_.image != nullptr && context_.imageSize >= kBootpVendImageSize) {
        std::memcpy(message + kBootpVendImageOffset, context_.image, kBootpVendImageSize);
    }
    std::memcpy(message + kBootpFileOffset, kBootFileName, std::strlen(kBootFileName) + 1);

    const int sent =
        platform_.SendReply(slot.socket, message, kBootpMessageSize, slot.replyDestination);
    if (sent < 0) {
        char context[kContextSize];
        std::snprintf(context, sizeof context, "CBootP::SendBootP( %d )", i);
        ReportSendToError(0, context);
    }
    theLog.Separator();
    theLog.Print("CBootP::SendBootP( %d ) - sendto( %d, ...) returned %d", i,
                 SocketNumber(slot.socket), sent);
    return sent >= 0;
}

void CBootP::CloseSocket(int i) {
    Slot& slot = *slots_[i];
    if (slot.waiter) slot.waiter->RemoveAll();
    slot.socket.Close();
}

}  // namespace net
