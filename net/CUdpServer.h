// The computer's end of the datagram link to a board: one UDP socket (port 5020 on
// all addresses), a receive queue and a send queue, and two threads.
//  - The receive thread reads each datagram, takes the board's acknowledgement
//    (bytes 8..11) and hands the datagram to OnDatagram.
//  - Each send-queue entry goes out wrapped in the 16-byte transport header and is
//    repeated every 50 ms until acknowledged. The send thread sends the entry that
//    finds the link idle and does the repeats; an acknowledgement that arrives while
//    entries wait makes the receive thread send the next one itself, so a busy link
//    hands no message from thread to thread. CRetransmitTimer says when a repeat
//    is due and how long the send thread waits; the threads do the waiting.
// Send credits (one per permitted new datagram) keep at most one datagram
// unacknowledged. The first board datagram accepted fixes the peer's IPv4 address;
// datagrams from any other address are then counted and dropped. Which addresses may
// become the peer (the peer rule): never a refused one; once any address has been
// allowed (given to a board by BOOTP), only an allowed one; before that, none while a
// grant is required (BOOTP serves the job, or may yet), else the first sender. A peer
// taken before the first grant is dropped when a different address is allowed.
//
// Start, Stop, Send and Receive are for one owner thread. OnDatagram runs on the
// receive thread. The counters and flags may be read from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "diag/DropSummary.h"
#include "net/CQueue.h"
#include "net/CRetransmitTimer.h"
#include "net/CSemaphore.h"
#include "net/transport_wire.h"
#include "os/single_instance.h"
#include "os/socket_address.h"
#include "os/udp_socket.h"
#include "os/waiter.h"

namespace net {

class CUdpServer {
  public:
    static constexpr std::uint16_t kDefaultPort = 5020;
    static constexpr int kQueueCapacity = CQueue::kDefaultCapacity;
    static constexpr int kRetransmitMs = static_cast<int>(CRetransmitTimer::kRetransmitMs);
    static constexpr int kReceiveWaitMs = 1000;
    static constexpr int kMaxCredits = 256;
    static constexpr const char* kInstanceName = "Zarno_Sync";

    struct Counters {
        std::atomic<std::uint32_t> rxDatagrams{0};
        std::atomic<std::uint32_t> rxBytes{0};
        std::atomic<std::uint32_t> txDatagrams{0};
        std::atomic<std::uint32_t> txBytes{0};
        std::atomic<std::uint32_t> resentDatagrams{0};
        std::atomic<std::uint32_t> resentBytes{0};
        std::atomic<std::uint32_t> emptyReads{0};
        std::atomic<std::uint32_t> rxErrors{0};
        std::atomic<std::uint32_t> noSocketSends{0};
        std::atomic<std::uint32_t> txErrors{0};
        std::atomic<std::uint32_t> resendErrors{0};
        std::atomic<std::uint32_t> foreignDatagrams{0};  // from an address other than the peer's
    };

    // Creates both queues (throws CQueue's integer codes). No socket, no thread yet.
    // The device's queues are 1 MiB; smaller ones suit a fuzzer making a server per input.
    explicit CUdpServer(int queueCapacity = kQueueCapacity);
    virtual ~CUdpServer();
    CUdpServer(const CUdpServer&) = delete;
    CUdpServer& operator=(const CUdpServer&) = delete;

    // Opens the socket and starts both threads. False, with a log line saying why, when
    // another running copy holds the link, the port cannot be bound, or a thread cannot
    // start: a server that cannot receive never looks started.
    bool Start();
    // Ends both threads and closes the socket. Sequence numbers, the peer, the counters
    // and the queues' contents carry over to the next Start. True when nothing runs.
    bool Stop();

    // Queues one message for the board (copied; `length` is not changed).
    bool Send(const void* message, int& length);
    // Takes the oldest received entry without waiting; `length` is in/out.
    bool Receive(void* buffer, int& length);
    // Sleeps until an entry has been received.
    bool WaitReceive(void* buffer, int& length);
    // Takes effect at the next Start. Port 0 lets the system choose (tests).
    bool SetPort(std::uint16_t newPort);
    // Addresses (network order) that never become the peer, allowed or not. Any thread.
    void SetRefusedPeers(std::vector<std::uint32_t> addressesNetworkOrder);
    // While set, and no address has been allowed yet, no sender becomes the peer. Any
    // thread (the owner, as BOOTP starts or stops serving).
    void RequireGrant(bool required);
    // From now on only this address, or another allowed one, may become the peer (an
    // address just given to a board). A peer taken before that is dropped unless it is
    // allowed. Any thread (BOOTP's).
    void AllowPeer(std::uint32_t addressNetworkOrder);

    // Each accepted datagram, on the receive thread, after it was counted and its
    // acknowledgement taken. The default queues it whole in rxQueue_: 1 stored, 0 not.
    virtual int OnDatagram(const std::uint8_t* datagram, int& length);

    // Logs the text for the calling thread's last Windows Sockets error, if it has one.
    static void LogSocketError();
    // The text logged for `code`, or null when it has none.
    static const char* SocketErrorText(int code);

    bool IsReceiving() const { return receiving_.load(); }
    bool HasPeer() const { return peer_.load() != kNoPeer; }
    bool IsSending() const { return sending_.load(); }
    std::int32_t Activity() const { return activity_.load(); }
    // The bound address (port in host order; the actual port when 0 was asked).
    os::SocketAddress LocalAddress() const { return localAddress_; }
    os::SocketAddress PeerAddress() const { return os::SocketAddress::Unpack(peer_.load()); }
    std::uint32_t LastSentSeq() const { return lastSentSeq_.load(); }
    std::uint32_t LastAckSeq() const { return lastAckSeq_.load(); }
    const Counters& Stats() const { return counters_; }

    // Sets both sequence numbers, as if `seq` had been sent and acknowledged. Only
    // while stopped; for testing the sequence wrap.
    void SetSequenceForTest(std::uint32_t seq);

  protected:
    // One received datagram, after the receive: the peer rule, the counters, the
    // acknowledgement, then OnDatagram. On the receive thread.
    void HandleDatagram(const std::uint8_t* datagram, int length, const os::SocketAddress& from);

    CQueue rxQueue_;
    CQueue txQueue_;
    Counters counters_;

  private:
    bool OpenSocket();
    void CloseSocket();
    void ReceiveThread();
    void SendThread();
    void HandleServerRead();
    enum class Refusal { kNone, kNotThePeer, kRefused, kNotGiven };
    Refusal AcceptSender(const os::SocketAddress& from);
    Refusal PeerRefusal(std::uint32_t addressNetworkOrder) const;  // under peerRuleMutex_
    void NoteIgnoredSender(const os::SocketAddress& from, Refusal why);
    void TakeAcknowledgement(const std::uint8_t* datagram, int length);
    bool ReturnCredit();
    bool WaitForNextSend();
    void WaitForResendDue();
    void TransmitNext();
    void ResendIfDue();
    bool SendNext(std::uint16_t type);
    void Resend(std::uint16_t retries);
    int SendToPeer(int length);
    void RequestStop();

    std::shared_ptr<WaitHub> hub_ = std::make_shared<WaitHub>();  // txQueue_'s signal + credits
    // Both threads send: this orders their use of txBuffer_, the sequence and the socket.
    std::mutex transmitMutex_;
    std::condition_variable transmitChanged_;  // credit back unused, or stop
    CRetransmitTimer retransmitTimer_;         // under transmitMutex_
    os::SingleInstance instance_;
    os::UdpSocket socket_;
    os::Waiter waiter_;
    os::SocketAddress localAddress_;
    std::uint16_t port_ = kDefaultPort;
    // The peer, packed; kNoPeer until a board is heard. Set and dropped under
    // peerRuleMutex_, read without it.
    static constexpr std::uint64_t kNoPeer = 0;
    std::atomic<std::uint64_t> peer_{kNoPeer};
    mutable std::mutex peerRuleMutex_;
    std::vector<std::uint32_t> refusedPeers_;  // under peerRuleMutex_
    std::vector<std::uint32_t> allowedPeers_;  // under peerRuleMutex_
    bool grantRequired_ = false;               // under peerRuleMutex_
    // Senders whose datagrams were ignored, each named once in the log (receive thread).
    static constexpr std::size_t kIgnoredSendersLogged = 64;
    std::vector<std::uint32_t> ignoredSenders_;
    std::uint8_t rxBuffer_[kMaxDatagramSize] = {};
    std::uint8_t txBuffer_[kMaxDatagramSize] = {};
    std::atomic<std::int32_t> activity_{0};
    std::atomic<std::uint32_t> lastSentSeq_{0};
    std::atomic<std::uint32_t> lastAckSeq_{0};
    std::optional<CSemaphore> syncSemaphore_;  // send credits
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> receiving_{false};
    std::atomic<bool> sending_{false};
    diag::DropSummary receiveDrops_{"CUdpServer::HandleServerRead"};  // receive thread
    std::thread receiveThread_;
    std::thread sendThread_;
};

}  // namespace net
