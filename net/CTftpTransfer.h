// The read-only TFTP server's protocol, without sockets or threads: it takes the
// datagrams and time-outs the worker meets and answers through a Sender, so the whole
// exchange can be driven packet by packet. Every well-formed read request (RFC 1350),
// whatever file it names, is served image bytes 28..end in 512-byte DATA blocks, one
// per acknowledgement of the block just sent.
//
// Clients are served side by side, each by its address and port (its transfer ID), so
// that another host's request, or a client that vanishes, never takes the board's
// firmware from it. A transfer whose client never acknowledged a block, or that goes
// silent while another client is served (or has been), is dropped without a word; the
// "not responding" question is put only when the one transfer that made progress
// stalls, or when nothing at all arrives (before a transfer, or after one completed).
//
// All calls come from one thread (CTftp's worker). CurrentState() and the counters
// may be read from any thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "diag/DropSummary.h"
#include "diag/UiPort.h"
#include "net/ServiceEvents.h"
#include "net/board_context.h"
#include "net/tftp_wire.h"
#include "os/socket_address.h"

namespace net {

// How long the worker waits for a datagram, and how many silent waits in a row make
// it ask the user whether the board is still there.
struct CTftpTiming {
    std::uint32_t startWaitMs = 3000;    // before the first request, and after a transfer
    std::uint32_t transferWaitMs = 250;  // from a request to its final ACK
    int missesBeforePrompt = 8;
};

class CTftpTransfer {
  public:
    enum State : int { Idle = 0, Sending = 1, LastBlockSent = 2 };

    static constexpr std::size_t kMaxFileName = 256;
    static constexpr int kMaxClients = 4;
    static constexpr const char* kProgressTitle = "Tftp Uploading";
    static constexpr int kProgressX = 100;
    static constexpr int kProgressY = 100;
    static constexpr const char* kFlashErrorText =
        "Error programming the flash on the motion control board.\n"
        "You will need to reset the board or cycle power and try again.";

    // Milliseconds, wrapping at 2^32; the system's tick count unless a test gives one.
    using Clock = std::function<std::uint32_t()>;

    // The socket side, provided by the worker.
    class Sender {
      public:
        virtual ~Sender() = default;
        // Opens the socket that DATA leaves from, if not yet open; false when it cannot.
        virtual bool EnsureTransferSocket() = 0;
        virtual void SendData(const std::uint8_t* packet, int length,
                              const os::SocketAddress& to) = 0;
    };

    struct Counters {
        std::atomic<std::uint32_t> dataSent{0};           // DATA packets, re-sends included
        std::atomic<std::uint32_t> dataResent{0};         // re-sent on a time-out
        std::atomic<std::uint32_t> ignoredAcks{0};        // not for the block just sent
        std::atomic<std::uint32_t> foreignPackets{0};     // from no client being served
        std::atomic<std::uint32_t> malformedRequests{0};  // on port 69, not a read request
        std::atomic<std::uint32_t> errorsReceived{0};
        std::atomic<std::uint32_t> timeouts{0};
        std::atomic<std::uint32_t> transfersStarted{0};
        std::atomic<std::uint32_t> transfersCompleted{0};
        std::atomic<std::uint32_t> transfersDropped{0};  // silent clients let go unasked
        std::atomic<std::uint32_t> requestsRefused{0};   // no room for another client
    };

    // `context` (not owned) must outlive this object.
    CTftpTransfer(const BoardContext& context, CTftpTiming timing, Sender& sender,
                  Clock clock = nullptr);

    // Whether `payload` (the bytes after the opcode) is a read request's: a file name
    // and a mode (netascii, octet or mail, in any case), each ended by a zero byte, and
    // then only whole zero-ended option strings (RFC 2347), which are ignored.
    static bool IsWellFormedRequest(const std::uint8_t* payload, int length);

    // Who is told of each transfer begun and finished (not owned; null: nobody).
    void SetEvents(ServiceEvents* serviceEvents) { events_ = serviceEvents; }

    // The window stays hidden until a transfer begins.
    void CreateProgressWindow();
    void DestroyProgressWindow();
    bool HasProgressWindow() const { return progress_ != nullptr; }

    // The worker starts listening: the long wait for the first request.
    void BeginListening();
    // A datagram on port 69: only a well-formed read request starts anything.
    void OnServerDatagram(const std::uint8_t* data, int length, const os::SocketAddress& from);
    // A datagram on the transfer socket: ACKs and ERRORs of the clients being served.
    void OnTransferDatagram(const std::uint8_t* data, int length, const os::SocketAddress& from);
    // A wait that ended with nothing. False when the user chose to quit.
    bool OnTimeout();
    // After a wait that ended with datagrams: re-sends whatever is due even while
    // other hosts keep the sockets busy. False when the user chose to quit.
    bool ServiceTransfers();
    // After every wait. False when the user cancelled the progress window.
    bool PumpProgress();
    // Logs what the drop summaries still hold (when the worker ends).
    void FlushDropSummaries();

    // How long the next wait may last: until the next re-send is due.
    std::uint32_t WaitTimeout() const;
    State CurrentState() const { return state_.load(); }
    // Of the transfer furthest along (or the last one, when none is running).
    std::uint16_t BlockNumber() const { return Shown().blockNumber; }
    std::int32_t Offset() const { return Shown().offset; }
    const std::string& FileName() const { return Shown().fileName; }
    const std::string& ServedFileName() const { return Shown().servedFileName; }
    os::SocketAddress ClientAddress() const { return Shown().client; }
    int ActiveTransfers() const;
    const Counters& Stats() const { return counters_; }

  private:
    struct Client {
        State state = Idle;
        os::SocketAddress client;
        std::uint16_t blockNumber = 0;
        std::int32_t offset = 0;    // content bytes sent, the current block included
        std::int32_t position = 0;  // content bytes before the current block
        bool progressed = false;    // the client has acknowledged a block
        std::uint32_t lastSendMs = 0;
        int misses = 0;  // re-sends since the client was last heard
        std::string fileName;
        std::string servedFileName;
        std::uint8_t sendBuffer[kTftpMaxDataPacket] = {};
        int sendLength = 0;
    };

    void HandleRequest(const std::uint8_t* payload, int payloadLength);
    void HandleSending(Client& client, std::uint16_t opcode, std::span<const std::uint8_t> packet);
    void HandleLastBlockSent(Client& client, std::uint16_t opcode,
                             std::span<const std::uint8_t> packet);
    Client* FindClient(const os::SocketAddress& address);
    Client* RoomForClient();
    void StartRead(Client& client, const std::uint8_t* payload, int payloadLength);
    void SendNextBlock(Client& client);
    void SendCurrentBlock(Client& client);
    bool OnSilentClient(Client& client);
    void EndTransfer(Client& client);
    void AbandonAll();
    void UpdateState();
    bool AskNotResponding();
    bool LeadsTheProgress(const Client& client) const;
    const Client& Shown() const;
    std::uint32_t ContentSize() const;
    std::uint32_t Now() const { return clock_(); }

    const BoardContext& context_;
    const CTftpTiming timing_;
    Sender& sender_;
    ServiceEvents* events_ = nullptr;
    Clock clock_;
    std::atomic<State> state_{Idle};
    std::unique_ptr<diag::ProgressWindow> progress_;
    std::uint32_t waitTimeout_;  // while no transfer runs
    int missCount_ = 0;          // silent waits while no transfer runs
    bool anyCompleted_ = false;
    std::array<Client, kMaxClients> clients_;
    std::size_t lastStarted_ = 0;
    os::SocketAddress pendingClient_;  // the sender of the request being handled
    diag::DropSummary requestDrops_{"CTftp::ReceiveTftp"};
    diag::DropSummary transferDrops_{"CTftp::HandleTftpRead"};
    Counters counters_;
};

}  // namespace net
