#include "net/CUdpServer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <system_error>
#include <utility>

#include "diag/CLog.h"
#include "os/byte_order.h"
#include "os/clock.h"
#include "os/error_text.h"
#include "os/thread_priority.h"

namespace net {
namespace {

using diag::theLog;

constexpr int kWsaWouldBlock = 10035;
constexpr int kWsaAddressNotAvailable = 10049;
constexpr std::chrono::milliseconds kRetransmitPeriod(CUdpServer::kRetransmitMs);
// With nothing outstanding the send thread has nothing to repeat: it sleeps until an
// entry or a stop wakes it, and only looks round this often.
constexpr std::chrono::milliseconds kIdleSendWait(CUdpServer::kReceiveWaitMs);

void Increment(std::atomic<std::uint32_t>& counter, std::uint32_t amount = 1) {
    counter.fetch_add(amount, std::memory_order_relaxed);
}

std::string InstanceNameFor(std::uint16_t port) {
    const std::string name = CUdpServer::kInstanceName;
    return port == CUdpServer::kDefaultPort ? name : name + "_" + std::to_string(port);
}

}  // namespace

CUdpServer::CUdpServer(int queueCapacity) {
    rxQueue.Create(queueCapacity, nullptr);
    txQueue.Create(queueCapacity, nullptr, hub);
    rxQueue.Flush();
    txQueue.Flush();
}

CUdpServer::~CUdpServer() {
    Stop();
}

bool CUdpServer::SetPort(std::uint16_t newPort) {
    port = newPort;
    return true;
}

void CUdpServer::SetSequenceForTest(std::uint32_t seq) {
    lastSentSeq = seq;
    lastAckSeq = seq;
}

bool CUdpServer::Start() {
    if (receiveThread.joinable() || sendThread.joinable()) return true;
    if (!waiter.IsValid()) {
        theLog.Print(
            "CUdpServer::Start - cannot wait for datagrams: the system gave no wake-up object");
        return false;
    }

    // A port chosen by the system cannot collide, so only fixed ports take the name.
    if (port != 0 && !instance.Acquire(InstanceNameFor(port))) {
        theLog.Print(
            "CUdpServer::Start - another copy of the configurator is using the board "
            "link (%s is held); close it and try again",
            InstanceNameFor(port).c_str());
        return false;
    }
    if (!OpenSocket()) {
        instance.Release();
        return false;
    }

    // One credit unless a datagram from before the last Stop is still unacknowledged:
    // its acknowledgement returns the credit.
    syncSemaphore.emplace(lastSentSeq == lastAckSeq ? 1 : 0, kMaxCredits, hub);
    {
        // A datagram still outstanding is repeated a period from now.
        std::lock_guard lock(transmitMutex);
        lastTransmit = std::chrono::steady_clock::now();
        creditUnused = false;
    }
    stopRequested = false;
    waiter.ResetStop();
    receiving = true;
    sending = true;
    try {
        receiveThread = std::thread(&CUdpServer::ReceiveThread, this);
        sendThread = std::thread(&CUdpServer::SendThread, this);
    } catch (const std::system_error& error) {
        theLog.Print("CUdpServer::Start - cannot start a thread: %s", error.what());
        Stop();
        return false;
    }
    return true;
}

void CUdpServer::RequestStop() {
    stopRequested = true;
    hub->WakeSleepers();
    { std::lock_guard lock(transmitMutex); }  // a sender between its check and its sleep
    transmitChanged.notify_all();
    waiter.RequestStop();
}

bool CUdpServer::Stop() {
    RequestStop();
    if (sendThread.joinable()) sendThread.join();
    if (receiveThread.joinable()) receiveThread.join();
    receiving = false;
    sending = false;
    CloseSocket();
    syncSemaphore.reset();
    instance.Release();
    return true;
}

bool CUdpServer::OpenSocket() {
    const bool opened = socket.Open() && socket.Bind(0, port);
    if (!opened) {
        const int error = socket.LastError();
        const char* text = SocketErrorText(error);
        theLog.Print("CUdpServer::OpenSocket - cannot open UDP port %u: error %d%s%s", port, error,
                     text != nullptr ? " - " : "",
                     text != nullptr ? text : os::SystemErrorText(error).c_str());
        socket.Close();
        return false;
    }
    localAddress = {0, socket.LocalPort()};
    waiter.RemoveAll();
    if (!waiter.Add(socket)) {
        theLog.Print("CUdpServer::OpenSocket - cannot wait on the socket: error %d",
                     os::LastSocketError());
        socket.Close();
        return false;
    }
    return true;
}

void CUdpServer::CloseSocket() {
    waiter.RemoveAll();
    socket.Close();
}

void CUdpServer::ReceiveThread() {
    os::SetCurrentThreadHighestPriority();
    for (;;) {
        const os::WaitResult result = waiter.Wait(kReceiveWaitMs);
        if (result.outcome == os::WaitOutcome::kStopped) break;
        if (result.outcome == os::WaitOutcome::kReadable) {
            activity = 100;
            HandleServerRead();
        } else if (result.outcome == os::WaitOutcome::kError) {
            // Never spin on a failing wait; the stop request still ends the loop.
            std::this_thread::sleep_for(std::chrono::milliseconds(kRetransmitMs));
        }
    }
    receiveDrops.Flush(os::TickCountMs());
    receiving = false;
}

// The datagram is always taken into the whole buffer: asking first what is pending
// and then draining a byte would eat a datagram that arrived in between. What comes
// back says what there was: nothing (would block), an empty datagram (0 bytes, which
// must be taken or the wait would report it for ever), or a datagram.
void CUdpServer::HandleServerRead() {
    os::SocketAddress from;
    const int length = socket.ReceiveFrom(rxBuffer, kMaxDatagramSize, &from);
    if (length == 0 || (length < 0 && socket.LastError() == kWsaWouldBlock)) {
        Increment(counters.emptyReads);
        return;
    }
    if (length < 0) {
        Increment(counters.rxErrors);
        // One of a flood of oversized datagrams, maybe: a few lines per interval.
        if (receiveDrops.Note(os::TickCountMs())) {
            LogSocketError();
            theLog.Print("CUdpServer::HandleServerRead (Server) - Error in recvfrom %d", length);
        }
        return;
    }
    HandleDatagram(rxBuffer, length, from);
}

void CUdpServer::HandleDatagram(const std::uint8_t* datagram, int length,
                                const os::SocketAddress& from) {
    if (!AcceptSender(from)) {
        Increment(counters.foreignDatagrams);
        if (!receiveDrops.Note(os::TickCountMs())) return;
        if (peerKnown)
            theLog.Print("CUdpServer::HandleServerRead - dropped %d bytes from %s: the board is %s",
                         length, from.ToString().c_str(), PeerAddress().ToString().c_str());
        else
            theLog.Print(
                "CUdpServer::HandleServerRead - dropped %d bytes from %s: not the board "
                "this job waits for",
                length, from.ToString().c_str());
        return;
    }
    Increment(counters.rxDatagrams);
    Increment(counters.rxBytes, static_cast<std::uint32_t>(length));
    TakeAcknowledgement(datagram, length);
    int handled = length;
    OnDatagram(datagram, handled);
}

// The board's first datagram names the peer. After that only its IPv4 address is
// heard, so a stray datagram can neither redirect the link nor acknowledge for it;
// the board may still change its port.
bool CUdpServer::AcceptSender(const os::SocketAddress& from) {
    if (peerKnown) {
        if (PeerAddress().addressNetworkOrder != from.addressNetworkOrder) return false;
    } else if (!MayBecomePeer(from.addressNetworkOrder)) {
        return false;
    }
    peer = from.Pack();
    peerKnown = true;
    return true;
}

bool CUdpServer::MayBecomePeer(std::uint32_t addressNetworkOrder) const {
    std::lock_guard lock(peerRuleMutex);
    const auto named = [addressNetworkOrder](const std::vector<std::uint32_t>& addresses) {
        return std::find(addresses.begin(), addresses.end(), addressNetworkOrder) !=
               addresses.end();
    };
    return allowedPeers.empty() ? !named(refusedPeers) : named(allowedPeers);
}

void CUdpServer::SetRefusedPeers(std::vector<std::uint32_t> addressesNetworkOrder) {
    std::lock_guard lock(peerRuleMutex);
    refusedPeers = std::move(addressesNetworkOrder);
}

void CUdpServer::AllowPeer(std::uint32_t addressNetworkOrder) {
    std::lock_guard lock(peerRuleMutex);
    if (std::find(allowedPeers.begin(), allowedPeers.end(), addressNetworkOrder) ==
        allowedPeers.end())
        allowedPeers.push_back(addressNetworkOrder);
}

// An acknowledgement counts when it moves past the last one without passing the
// last datagram sent, in modular order, so that it also crosses the sequence wrap.
// One that names a datagram never sent is ignored: it could only stall the link or
// fake the delivery of a datagram the board never got.
void CUdpServer::TakeAcknowledgement(const std::uint8_t* datagram, int length) {
    if (length < kBoardAckEnd) return;  // too short to carry one
    const std::uint32_t ack = os::load_le32(datagram + kBoardAckOffset);
    const std::uint32_t last = lastAckSeq;
    const std::uint32_t advance = ack - last;
    const std::uint32_t outstanding = lastSentSeq - last;
    if (advance == 0 || advance > outstanding) return;
    lastAckSeq = ack;
    if (ReturnCredit()) TransmitNext();
}

// Gives back the credit of an acknowledged datagram. True when an entry is waiting:
// both were taken, and this (receive) thread sends it at once. Otherwise the send
// thread, sleeping out the repeat period, is told to wait for entries instead. No
// sleeper on the hub needs waking: they wait for an entry and a credit together,
// and there was no entry.
bool CUdpServer::ReturnCredit() {
    CSemaphore& entries = txQueue.EntrySignal();
    CSemaphore& credits = *syncSemaphore;
    {
        std::lock_guard lock(hub->mutex);
        credits.ReleaseLocked();
        if (entries.CountLocked() > 0 && credits.CountLocked() > 0) {
            entries.TakeLocked();
            credits.TakeLocked();
            return true;
        }
    }
    {
        std::lock_guard lock(transmitMutex);
        creditUnused = true;
    }
    transmitChanged.notify_one();
    return false;
}

// With a credit free, sleeps on the hub for a queued entry; true when both were
// taken. With the credit out, sleeps on transmitChanged instead: the queue's puts
// wake the hub's sleepers, and then only the acknowledgement matters.
bool CUdpServer::WaitForNextSend() {
    CSemaphore& entries = txQueue.EntrySignal();
    CSemaphore& credits = *syncSemaphore;
    {
        std::unique_lock lock(hub->mutex);
        if (credits.CountLocked() > 0) {
            const auto wait = lastSentSeq == lastAckSeq ? kIdleSendWait : kRetransmitPeriod;
            const bool ready = hub->WaitFor(lock, wait, [&] {
                return stopRequested || (entries.CountLocked() > 0 && credits.CountLocked() > 0);
            });
            if (!ready || stopRequested) return false;
            entries.TakeLocked();
            credits.TakeLocked();
            return true;
        }
    }
    WaitForResendDue();
    return false;
}

// Until the outstanding datagram is a repeat period old, its credit came back with
// no entry to use it, or a stop.
void CUdpServer::WaitForResendDue() {
    std::unique_lock lock(transmitMutex);
    transmitChanged.wait_until(lock, lastTransmit + kRetransmitPeriod,
                               [this] { return stopRequested || creditUnused; });
    creditUnused = false;
}

// Whoever took the credit sends with it or gives it back: a credit lost here leaves
// nothing outstanding and nothing to send for ever.
void CUdpServer::TransmitNext() {
    std::lock_guard lock(transmitMutex);
    if (SendNext(0)) {
        lastTransmit = std::chrono::steady_clock::now();
        return;
    }
    syncSemaphore->Release();
    creditUnused = true;
    transmitChanged.notify_one();
}

// The receive thread may have sent a new datagram meanwhile: only one a whole period
// old is repeated.
void CUdpServer::ResendIfDue() {
    std::lock_guard lock(transmitMutex);
    if (lastSentSeq == lastAckSeq) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastTransmit < kRetransmitPeriod) return;
    Resend();
    lastTransmit = now;
}

void CUdpServer::SendThread() {
    os::SetCurrentThreadHighestPriority();
    while (!stopRequested) {
        if (WaitForNextSend()) {
            TransmitNext();
        } else if (!stopRequested) {
            ResendIfDue();
        }
    }
    sending = false;
}

// False when nothing went out. The entry's signal is given back only while an entry
// is still there: after a purge there is none, and a signal without one would wake
// the send thread for nothing.
bool CUdpServer::SendNext(std::uint16_t type) {
    if (!socket.IsOpen()) {
        Increment(counters.noSocketSends);
        if (txQueue.Count() > 0) txQueue.EntrySignal().Release();
        return false;
    }
    if (lastSentSeq != lastAckSeq || txQueue.Count() == 0) {
        if (txQueue.Count() > 0) txQueue.EntrySignal().Release();  // it waits for a credit
        return false;
    }
    int payload = kMaxPayloadSize;  // a longer entry is cut to what one datagram holds
    if (!txQueue.Get(txBuffer + kTransportHeaderSize, payload, false)) return false;

    const auto length = static_cast<std::uint16_t>(payload + kTransportHeaderSize);
    os::store_le16(txBuffer + kTransportLengthOffset, length);
    os::store_le16(txBuffer + kTransportCheckOffset, static_cast<std::uint16_t>(~length));
    os::store_le16(txBuffer + kTransportTypeOffset, type);
    os::store_le16(txBuffer + kTransportRetriesOffset, 0);
    os::store_le32(txBuffer + kTransportAckOffset, kComputerAckField);
    const std::uint32_t seq = lastSentSeq + 1;
    os::store_le32(txBuffer + kTransportSeqOffset, seq);
    lastSentSeq = seq;

    const int sent = SendToPeer(length);
    if (sent > 0) {
        Increment(counters.txDatagrams);
        Increment(counters.txBytes, static_cast<std::uint32_t>(sent));
    } else {
        Increment(counters.txErrors);  // outstanding all the same: resent in 50 ms
    }
    return true;
}

void CUdpServer::Resend() {
    const std::uint16_t retries = os::load_le16(txBuffer + kTransportRetriesOffset);
    os::store_le16(txBuffer + kTransportRetriesOffset, static_cast<std::uint16_t>(retries + 1));
    const int sent = SendToPeer(os::load_le16(txBuffer + kTransportLengthOffset));
    if (sent > 0) {
        Increment(counters.resentDatagrams);
        Increment(counters.resentBytes, static_cast<std::uint32_t>(sent));
    } else {
        LogSocketError();
        Increment(counters.resendErrors);
    }
}

// Before the board has been heard there is nowhere to send: that fails as Windows
// fails a send to the all-zero address.
int CUdpServer::SendToPeer(int length) {
    if (!peerKnown) {
        os::SetLastSocketError(kWsaAddressNotAvailable);
        return -1;
    }
    return socket.SendTo(txBuffer, length, PeerAddress());
}

bool CUdpServer::Send(const void* message, int& length) {
    return txQueue.Put(message, length);
}

bool CUdpServer::Receive(void* buffer, int& length) {
    return rxQueue.Get(buffer, length, true);
}

bool CUdpServer::WaitReceive(void* buffer, int& length) {
    return rxQueue.WaitGet(buffer, length);
}

int CUdpServer::OnDatagram(const std::uint8_t* datagram, int& length) {
    return rxQueue.Put(datagram, length) ? 1 : 0;
}

}  // namespace net
