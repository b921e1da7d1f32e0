#include "net/CUdpServer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <span>
#include <system_error>
#include <utility>

#include "diag/CLog.h"
#include "os/byte_order.h"
#include "os/clock.h"
#include "os/error_text.h"
#include "os/thread_priority.h"
#include "os/wsa_errors.h"

namespace net {
namespace {

using diag::theLog;

// The repeat timer's "now". The steady clock, not the tick count: Windows' tick
// count moves in steps of 10 to 16 ms, which would move the 50 ms repeats by as much.
std::uint32_t LinkNowMs() {
    const auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceStart).count());
}

void Increment(std::atomic<std::uint32_t>& counter, std::uint32_t amount = 1) {
    counter.fetch_add(amount, std::memory_order_relaxed);
}

std::string InstanceNameFor(std::uint16_t port) {
    const std::string name = CUdpServer::kInstanceName;
    return port == CUdpServer::kDefaultPort ? name : name + "_" + std::to_string(port);
}

}  // namespace

CUdpServer::CUdpServer(int queueCapacity) {
    rxQueue_.Create(queueCapacity, nullptr);
    txQueue_.Create(queueCapacity, nullptr, hub_);
    rxQueue_.Flush();
    txQueue_.Flush();
}

CUdpServer::~CUdpServer() {
    Stop();
}

bool CUdpServer::SetPort(std::uint16_t newPort) {
    port_ = newPort;
    return true;
}

void CUdpServer::SetSequenceForTest(std::uint32_t seq) {
    lastSentSeq_ = seq;
    lastAckSeq_ = seq;
}

bool CUdpServer::Start() {
    if (receiveThread_.joinable() || sendThread_.joinable()) return true;
    if (!waiter_.IsValid()) {
        theLog.Print(
            "CUdpServer::Start - cannot wait for datagrams: the system gave no wake-up object");
        return false;
    }

    // A port chosen by the system cannot collide, so only fixed ports take the name.
    if (port_ != 0 && !instance_.Acquire(InstanceNameFor(port_))) {
        theLog.Print(
            "CUdpServer::Start - another copy of the configurator is using the board "
            "link (%s is held); close it and try again",
            InstanceNameFor(port_).c_str());
        return false;
    }
    if (!OpenSocket()) {
        instance_.Release();
        return false;
    }

    // One credit unless a datagram from before the last Stop is still unacknowledged:
    // its acknowledgement returns the credit.
    syncSemaphore_.emplace(lastSentSeq_ == lastAckSeq_ ? 1 : 0, kMaxCredits, hub_);
    {
        // A datagram still outstanding is repeated a period from now.
        std::lock_guard lock(transmitMutex_);
        retransmitTimer_.Restart(LinkNowMs());
    }
    stopRequested_ = false;
    waiter_.ResetStop();
    receiving_ = true;
    sending_ = true;
    try {
        receiveThread_ = std::thread(&CUdpServer::ReceiveThread, this);
        sendThread_ = std::thread(&CUdpServer::SendThread, this);
    } catch (const std::system_error& error) {
        theLog.Print("CUdpServer::Start - cannot start a thread: %s", error.what());
        Stop();
        return false;
    }
    return true;
}

void CUdpServer::RequestStop() {
    stopRequested_ = true;
    hub_->WakeSleepers();
    { std::lock_guard lock(transmitMutex_); }  // a sender between its check and its sleep
    transmitChanged_.notify_all();
    waiter_.RequestStop();
}

bool CUdpServer::Stop() {
    RequestStop();
    if (sendThread_.joinable()) sendThread_.join();
    if (receiveThread_.joinable()) receiveThread_.join();
    receiving_ = false;
    sending_ = false;
    CloseSocket();
    syncSemaphore_.reset();
    instance_.Release();
    return true;
}

bool CUdpServer::OpenSocket() {
    const bool opened = socket_.Open() && socket_.Bind(0, port_);
    if (!opened) {
        const int error = socket_.LastError();
        const char* text = SocketErrorText(error);
        theLog.Print("CUdpServer::OpenSocket - cannot open UDP port %u: error %d%s%s", port_, error,
                     text != nullptr ? " - " : "",
                     text != nullptr ? text : os::SystemErrorText(error).c_str());
        socket_.Close();
        return false;
    }
    localAddress_ = {0, socket_.LocalPort()};
    waiter_.RemoveAll();
    if (!waiter_.Add(socket_)) {
        theLog.Print("CUdpServer::OpenSocket - cannot wait on the socket: error %d",
                     os::LastSocketError());
        socket_.Close();
        return false;
    }
    return true;
}

void CUdpServer::CloseSocket() {
    waiter_.RemoveAll();
    socket_.Close();
}

void CUdpServer::ReceiveThread() {
    os::SetCurrentThreadHighestPriority();
    for (;;) {
        const os::WaitResult result = waiter_.Wait(kReceiveWaitMs);
        if (result.outcome == os::WaitOutcome::kStopped) break;
        if (result.outcome == os::WaitOutcome::kReadable) {
            HandleServerRead();
        } else if (result.outcome == os::WaitOutcome::kError) {
            // Never spin on a failing wait; the stop request still ends the loop.
            std::this_thread::sleep_for(std::chrono::milliseconds(kRetransmitMs));
        }
    }
    receiveDrops_.Flush(os::TickCountMs());
    if (const std::uint32_t foreign = counters_.foreignDatagrams.load(); foreign > 0)
        theLog.Print(
            "CUdpServer::ReceiveThread - %u datagrams from other senders than the board "
            "were dropped",
            foreign);
    receiving_ = false;
}

// The datagram is always taken into the whole buffer: asking first what is pending
// and then draining a byte would eat a datagram that arrived in between. What comes
// back says what there was: nothing (would block), an empty datagram (0 bytes, which
// must be taken or the wait would report it for ever), or a datagram.
void CUdpServer::HandleServerRead() {
    os::SocketAddress from;
    const int length = socket_.ReceiveFrom(rxBuffer_, kMaxDatagramSize, &from);
    if (length == 0 || (length < 0 && socket_.LastError() == os::kWsaEWouldBlock)) {
        Increment(counters_.emptyReads);
        return;
    }
    if (length < 0) {
        Increment(counters_.rxErrors);
        // One of a flood of oversized datagrams, maybe: a few lines per interval.
        if (receiveDrops_.Note(os::TickCountMs())) {
            LogSocketError();
            theLog.Print("CUdpServer::HandleServerRead (Server) - Error in recvfrom %d", length);
        }
        return;
    }
    HandleDatagram(rxBuffer_, length, from);
}

void CUdpServer::HandleDatagram(const std::uint8_t* datagram, int length,
                                const os::SocketAddress& from) {
    if (const Refusal why = AcceptSender(from); why != Refusal::kNone) {
        Increment(counters_.foreignDatagrams);
        NoteIgnoredSender(from, why);
        return;
    }
    // Only the board's datagrams show it is there: one refused by the peer rule (a
    // board programmed earlier, another host) must not start the job's writes.
    activity_ = 100;
    Increment(counters_.rxDatagrams);
    Increment(counters_.rxBytes, static_cast<std::uint32_t>(length));
    TakeAcknowledgement(datagram, length);
    int handled = length;
    OnDatagram(datagram, handled);
}

// The board's first accepted datagram names the peer. After that only its IPv4
// address is heard, so a stray datagram can neither redirect the link nor acknowledge
// for it; the board may still change its port. Under the rule's lock, so that a grant
// on a BOOTP thread and a sender taken here cannot pass each other.
CUdpServer::Refusal CUdpServer::AcceptSender(const os::SocketAddress& from) {
    std::lock_guard lock(peerRuleMutex_);
    const std::uint64_t peer = peer_.load();
    if (peer != kNoPeer) {
        if (os::SocketAddress::Unpack(peer).addressNetworkOrder != from.addressNetworkOrder)
            return Refusal::kNotThePeer;
    } else if (const Refusal why = PeerRefusal(from.addressNetworkOrder); why != Refusal::kNone) {
        return why;
    }
    peer_ = from.Pack();
    return Refusal::kNone;
}

// Refused wins over allowed: an address refused for the job (a board programmed
// earlier in a run) stays refused even if BOOTP should give it again.
CUdpServer::Refusal CUdpServer::PeerRefusal(std::uint32_t addressNetworkOrder) const {
    const auto named = [addressNetworkOrder](const std::vector<std::uint32_t>& addresses) {
        return std::find(addresses.begin(), addresses.end(), addressNetworkOrder) !=
               addresses.end();
    };
    if (named(refusedPeers_)) return Refusal::kRefused;
    if (allowedPeers_.empty() ? grantRequired_ : !named(allowedPeers_)) return Refusal::kNotGiven;
    return Refusal::kNone;
}

// Once per sender, so that a board programmed earlier, sending ten datagrams a
// second, leaves one line; the receive thread counts the rest.
void CUdpServer::NoteIgnoredSender(const os::SocketAddress& from, Refusal why) {
    if (std::find(ignoredSenders_.begin(), ignoredSenders_.end(), from.addressNetworkOrder) !=
        ignoredSenders_.end())
        return;
    if (ignoredSenders_.size() >= kIgnoredSendersLogged) return;
    ignoredSenders_.push_back(from.addressNetworkOrder);
    std::string reason;
    switch (why) {
        case Refusal::kNotThePeer:
            reason = "the board is " + PeerAddress().ToString();
            break;
        case Refusal::kRefused:
            reason = "its address is refused in this job (a board programmed earlier)";
            break;
        default:
            reason = "BOOTP has not given its address in this job";
            break;
    }
    theLog.Print("CUdpServer::HandleServerRead - ignoring datagrams from %s: %s",
                 from.ToString().c_str(), reason.c_str());
    if (ignoredSenders_.size() == kIgnoredSendersLogged)
        theLog.Print("CUdpServer::HandleServerRead - %u senders ignored; any more are not named",
                     static_cast<unsigned>(kIgnoredSendersLogged));
}

void CUdpServer::SetRefusedPeers(std::vector<std::uint32_t> addressesNetworkOrder) {
    std::lock_guard lock(peerRuleMutex_);
    refusedPeers_ = std::move(addressesNetworkOrder);
}

void CUdpServer::RequireGrant(bool required) {
    std::lock_guard lock(peerRuleMutex_);
    grantRequired_ = required;
}

// A peer heard before any grant was taken while nothing required one (no adapter
// answered BOOTP then). Once BOOTP gives some other address, that board is the one
// this job serves, and the earlier sender is not.
void CUdpServer::AllowPeer(std::uint32_t addressNetworkOrder) {
    std::lock_guard lock(peerRuleMutex_);
    if (std::find(allowedPeers_.begin(), allowedPeers_.end(), addressNetworkOrder) ==
        allowedPeers_.end())
        allowedPeers_.push_back(addressNetworkOrder);
    const std::uint64_t peer = peer_.load();
    if (peer == kNoPeer ||
        PeerRefusal(os::SocketAddress::Unpack(peer).addressNetworkOrder) == Refusal::kNone)
        return;
    theLog.Print("CUdpServer::AllowPeer - BOOTP gave %s: %s, heard before, is no longer the peer",
                 os::SocketAddress{addressNetworkOrder, 0}.ToString().c_str(),
                 os::SocketAddress::Unpack(peer).ToString().c_str());
    peer_ = kNoPeer;
    activity_ = 0;
}

// An acknowledgement counts when it moves past the last one without passing the
// last datagram sent, in modular order, so that it also crosses the sequence wrap.
// One that names a datagram never sent is ignored: it could only stall the link or
// fake the delivery of a datagram the board never got.
void CUdpServer::TakeAcknowledgement(const std::uint8_t* datagram, int length) {
    const auto field = os::read_le32(
        std::span<const std::uint8_t>(datagram, static_cast<std::size_t>(std::max(0, length))),
        kBoardAckOffset);
    if (!field) return;  // too short to carry one
    const std::uint32_t ack = *field;
    const std::uint32_t last = lastAckSeq_;
    const std::uint32_t advance = ack - last;
    const std::uint32_t outstanding = lastSentSeq_ - last;
    if (advance == 0 || advance > outstanding) return;
    lastAckSeq_ = ack;
    if (ReturnCredit()) TransmitNext();
}

// Gives back the credit of an acknowledged datagram. True when an entry is waiting:
// both were taken, and this (receive) thread sends it at once. Otherwise the send
// thread, sleeping out the repeat period, is told to wait for entries instead. No
// sleeper on the hub needs waking: they wait for an entry and a credit together,
// and there was no entry.
bool CUdpServer::ReturnCredit() {
    CSemaphore& entries = txQueue_.EntrySignal();
    CSemaphore& credits = *syncSemaphore_;
    {
        std::lock_guard lock(hub_->mutex);
        credits.ReleaseLocked();
        if (entries.CountLocked() > 0 && credits.CountLocked() > 0) {
            entries.TakeLocked();
            credits.TakeLocked();
            return true;
        }
    }
    {
        std::lock_guard lock(transmitMutex_);
        retransmitTimer_.NoteCreditUnused();
    }
    transmitChanged_.notify_one();
    return false;
}

// With a credit free, sleeps on the hub for a queued entry; true when both were
// taken. With the credit out, sleeps on transmitChanged_ instead: the queue's puts
// wake the hub's sleepers, and then only the acknowledgement matters.
bool CUdpServer::WaitForNextSend() {
    CSemaphore& entries = txQueue_.EntrySignal();
    CSemaphore& credits = *syncSemaphore_;
    {
        std::unique_lock lock(hub_->mutex);
        if (credits.CountLocked() > 0) {
            const std::chrono::milliseconds wait(
                CRetransmitTimer::EntryWaitMs(lastSentSeq_ != lastAckSeq_));
            const bool ready = hub_->WaitFor(lock, wait, [&] {
                return stopRequested_ || (entries.CountLocked() > 0 && credits.CountLocked() > 0);
            });
            if (!ready || stopRequested_) return false;
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
    std::unique_lock lock(transmitMutex_);
    const std::chrono::milliseconds untilDue(retransmitTimer_.RepeatWaitMs(LinkNowMs()));
    transmitChanged_.wait_for(
        lock, untilDue, [this] { return stopRequested_ || retransmitTimer_.IsCreditUnused(); });
    retransmitTimer_.ClearCreditUnused();
}

// Whoever took the credit sends with it or gives it back: a credit lost here leaves
// nothing outstanding and nothing to send for ever.
void CUdpServer::TransmitNext() {
    std::lock_guard lock(transmitMutex_);
    if (SendNext(0)) {
        retransmitTimer_.Sent(LinkNowMs());
        return;
    }
    syncSemaphore_->Release();
    retransmitTimer_.NoteCreditUnused();
    transmitChanged_.notify_one();
}

// The receive thread may have sent a new datagram meanwhile: only one a whole period
// old is repeated.
void CUdpServer::ResendIfDue() {
    std::lock_guard lock(transmitMutex_);
    if (lastSentSeq_ == lastAckSeq_) return;
    const std::uint32_t now = LinkNowMs();
    if (!retransmitTimer_.IsRepeatDue(now)) return;
    Resend(retransmitTimer_.Repeated(now));
}

void CUdpServer::SendThread() {
    os::SetCurrentThreadHighestPriority();
    while (!stopRequested_) {
        if (WaitForNextSend()) {
            TransmitNext();
        } else if (!stopRequested_) {
            ResendIfDue();
        }
    }
    sending_ = false;
}

// False when nothing went out. The entry's signal is given back only while an entry
// is still there: after a purge there is none, and a signal without one would wake
// the send thread for nothing.
bool CUdpServer::SendNext(std::uint16_t type) {
    if (!socket_.IsOpen()) {
        Increment(counters_.noSocketSends);
        if (txQueue_.Count() > 0) txQueue_.EntrySignal().Release();
        return false;
    }
    if (lastSentSeq_ != lastAckSeq_ || txQueue_.Count() == 0) {
        if (txQueue_.Count() > 0) txQueue_.EntrySignal().Release();  // it waits for a credit
        return false;
    }
    int payload = kMaxPayloadSize;  // a longer entry is cut to what one datagram holds
    if (!txQueue_.Get(txBuffer_ + kTransportHeaderSize, payload, false)) return false;

    const auto length = static_cast<std::uint16_t>(payload + kTransportHeaderSize);
    os::store_le16(txBuffer_ + kTransportLengthOffset, length);
    os::store_le16(txBuffer_ + kTransportCheckOffset, static_cast<std::uint16_t>(~length));
    os::store_le16(txBuffer_ + kTransportTypeOffset, type);
    os::store_le16(txBuffer_ + kTransportRetriesOffset, 0);
    os::store_le32(txBuffer_ + kTransportAckOffset, kComputerAckField);
    const std::uint32_t seq = lastSentSeq_ + 1;
    os::store_le32(txBuffer_ + kTransportSeqOffset, seq);
    lastSentSeq_ = seq;

    const int sent = SendToPeer(length);
    if (sent > 0) {
        Increment(counters_.txDatagrams);
        Increment(counters_.txBytes, static_cast<std::uint32_t>(sent));
    } else {
        Increment(counters_.txErrors);  // outstanding all the same: resent in 50 ms
    }
    return true;
}

void CUdpServer::Resend(std::uint16_t retries) {
    os::store_le16(txBuffer_ + kTransportRetriesOffset, retries);
    const int sent = SendToPeer(os::load_le16(txBuffer_ + kTransportLengthOffset));
    if (sent > 0) {
        Increment(counters_.resentDatagrams);
        Increment(counters_.resentBytes, static_cast<std::uint32_t>(sent));
    } else {
        LogSocketError();
        Increment(counters_.resendErrors);
    }
}

// Before the board has been heard there is nowhere to send: that fails as Windows
// fails a send to the all-zero address.
int CUdpServer::SendToPeer(int length) {
    const std::uint64_t peer = peer_.load();  // once: the peer may be dropped meanwhile
    if (peer == kNoPeer) {
        os::SetLastSocketError(os::kWsaEAddrNotAvail);
        return -1;
    }
    return socket_.SendTo(txBuffer_, length, os::SocketAddress::Unpack(peer));
}

bool CUdpServer::Send(const void* message, int& length) {
    return txQueue_.Put(message, length);
}

bool CUdpServer::Receive(void* buffer, int& length) {
    return rxQueue_.Get(buffer, length, true);
}

bool CUdpServer::WaitReceive(void* buffer, int& length) {
    return rxQueue_.WaitGet(buffer, length);
}

int CUdpServer::OnDatagram(const std::uint8_t* datagram, int& length) {
    return rxQueue_.Put(datagram, length) ? 1 : 0;
}

}  // namespace net
