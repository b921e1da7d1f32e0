// The read-only TFTP server that gives a board its firmware image: a worker thread
// with a socket on port 69 for read requests and a transfer socket, opened on the
// first accepted request and kept until the worker ends, from which the DATA blocks
// leave and on which the ACKs arrive. The protocol itself is CTftpTransfer's.
//
// The worker shows its own progress window and message boxes through the UI port; a
// question left unanswered holds up Stop. Start, Stop and destruction are for the
// owner's thread; HasEnded and the accessors may be read from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "net/CTftpTransfer.h"
#include "net/board_context.h"
#include "os/udp_socket.h"
#include "os/waiter.h"

namespace net {

class CTftp : private CTftpTransfer::Sender {
  public:
    static constexpr std::uint16_t kDefaultPort = 69;
    static constexpr int kReceiveBufferSize = 4096;

    // Why the worker ended; kRunning until it has.
    enum class EndReason {
        kRunning,
        kStopped,            // by its owner
        kSilenceCancelled,   // the user answered the "not responding" question Cancel
        kProgressCancelled,  // the user pressed Cancel in the progress window
        kFailed,             // it could not wait or open a socket
    };
    // Whether the worker has the port it was given.
    enum class PortState { kPending, kListening, kUnavailable };

    // `context` (not owned) must outlive this object. No socket or thread yet.
    explicit CTftp(const BoardContext& context, CTftpTiming timing = {});
    ~CTftp() override;
    CTftp(const CTftp&) = delete;
    CTftp& operator=(const CTftp&) = delete;

    // Takes effect at the next Start. Port 0 lets the system choose (tests).
    void SetPort(std::uint16_t newPort) { serverPort_ = newPort; }
    // Who is told of each transfer (not owned; null: nobody). Set while no worker runs.
    void SetEvents(ServiceEvents* events) { transfer_.SetEvents(events); }
    // BOOTP runs in this job, so the board is a host it gives an address. Before Start.
    void ExpectBoardFromBootp() { transfer_.ExpectBoardFromBootp(); }
    // BOOTP gave this address in this job. Any thread.
    void BoardAddressGiven(std::uint32_t addressNetworkOrder) {
        transfer_.BoardAddressGiven(addressNetworkOrder);
    }

    // Starts the worker. False, with HasEnded() then 1, when no thread can be made.
    bool Start();
    // Asks the worker to end and waits for it, however long it takes. True when no
    // worker runs any more.
    bool Stop();
    // 1 once the worker has finished, for whatever reason, or could not start; it
    // never returns to 0.
    int HasEnded() const { return ended_.load(); }
    bool IsRunning() const { return running_.load(); }

    // The port requests are heard on once the worker is listening; 0 before, and when
    // the port could not be bound.
    std::uint16_t ListeningPort() const { return listeningPort_.load(); }
    // kUnavailable when the bind failed (another TFTP server holds the port): the worker
    // then runs on, hearing nothing.
    PortState Port() const { return portState_.load(); }
    EndReason WhyEnded() const { return endReason_.load(); }
    CTftpTransfer::State CurrentState() const { return transfer_.CurrentState(); }
    const CTftpTransfer::Counters& Stats() const { return transfer_.Stats(); }

  private:
    void ServerThread();
    bool OpenServerSocket();
    bool OpenTransferSocket();
    void CloseSockets();
    void ReceiveTftp();
    void HandleTftpRead();
    void RunLoop();
    void EndLoop(EndReason reason);

    bool EnsureTransferSocket() override;
    void SendData(const std::uint8_t* packet, int length, const os::SocketAddress& to) override;

    CTftpTransfer transfer_;
    std::uint16_t serverPort_ = kDefaultPort;
    os::UdpSocket serverSocket_;
    os::UdpSocket transferSocket_;
    os::Waiter waiter_;
    std::uint8_t receiveBuffer_[kReceiveBufferSize] = {};
    std::atomic<int> ended_{0};
    std::atomic<bool> running_{false};
    std::atomic<std::uint16_t> listeningPort_{0};
    std::atomic<PortState> portState_{PortState::kPending};
    std::atomic<EndReason> endReason_{EndReason::kRunning};
    diag::DropSummary receiveErrors_{"CTftp receive"};  // a flood's oversized datagrams
    std::thread worker_;
};

}  // namespace net
