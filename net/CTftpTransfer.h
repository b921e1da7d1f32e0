// The read-only TFTP server's protocol, without sockets or threads: it takes the
// datagrams and time-outs the worker meets and answers through a Sender, so the whole
// exchange can be driven packet by packet. Every well-formed read request (RFC 1350),
// whatever file it names, is served image bytes 28..end in 512-byte DATA blocks, one
// per acknowledgement of the block just sent.
//
// Clients are served side by side, one transfer per host, each known by its address
// and port (its transfer ID), so that another host's request, or a client that
// vanishes, never takes the board's firmware from it. A host keeps its place only by
// progress, acknowledging the block in flight; when every place is taken, the one
// that progressed least recently gives way to a new request. The board is the host
// BOOTP gave an address in this job (any host when BOOTP does not run): its request
// is always served, and only its transfer may ask the user anything, once. Other
// hosts' stalls and ERRORs are dropped, counted and logged within bounds. Silence
// after the board's transfer completed ends in the question too, so that no job
// waits unattended for ever.
//
// All calls come from one thread (CTftp's worker), except ExpectBoardFromBootp and
// BoardAddressGiven. CurrentState() and the counters may be read from any thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

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
        std::atomic<std::uint32_t> errorsNotShown{0};  // another host's, or a repeat
        std::atomic<std::uint32_t> timeouts{0};
        std::atomic<std::uint32_t> transfersStarted{0};
        std::atomic<std::uint32_t> transfersCompleted{0};
        std::atomic<std::uint32_t> transfersDropped{0};   // let go unasked, or gave way
        std::atomic<std::uint32_t> transfersReplaced{0};  // by a new request of the host
        std::atomic<std::uint32_t> requestsRefused{0};    // no room for another client
    };

    // `context` (not owned) must outlive this object.
    CTftpTransfer(const BoardContext& context, CTftpTiming timing, Sender& sender,
                  Clock clock = nullptr);

    // Whether `payload` (the bytes after the opcode) is a read request's: a file name
    // and a mode (netascii, octet or mail, in any case), each ended by a zero byte, and
    // then only whole zero-ended option strings (RFC 2347), which are ignored.
    static bool IsWellFormedRequest(const std::uint8_t* payload, int length);

    // Who is told of each transfer of the board begun and finished (not owned; null:
    // nobody).
    void SetEvents(ServiceEvents* serviceEvents) { events_ = serviceEvents; }

    // BOOTP runs in this job: from now on only the hosts it gives an address are the
    // board, none until it has. Any thread.
    void ExpectBoardFromBootp() { boardFromBootp_ = true; }
    // BOOTP gave `addressNetworkOrder` in this job. Any thread.
    void BoardAddressGiven(std::uint32_t addressNetworkOrder);

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
    // Of the board's transfer furthest along (another host's when the board has none;
    // the last one begun when none is running).
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
        bool progressed = false;    // this transfer has had a block acknowledged
        bool flashErrorShown = false;
        std::uint32_t lastSendMs = 0;
        // The host's standing, kept when it asks again: the furthest block it has
        // acknowledged, when it last went further (or first asked), and the waits
        // without progress since (re-sends and requests).
        std::uint16_t furthestAcked = 0;
        std::uint32_t lastProgressMs = 0;
        int misses = 0;
        std::string fileName;
        std::string servedFileName;
        std::uint8_t sendBuffer[kTftpMaxDataPacket] = {};
        int sendLength = 0;
    };

    void HandleRequest(const std::uint8_t* payload, int payloadLength);
    void HandleSending(Client& client, std::uint16_t opcode, std::span<const std::uint8_t> packet);
    void HandleLastBlockSent(Client& client, std::uint16_t opcode,
                             std::span<const std::uint8_t> packet);
    void HandleError(Client& client);
    Client* FindClient(const os::SocketAddress& address);
    Client* FindHost(std::uint32_t addressNetworkOrder);
    Client* RoomForClient(bool forBoard);
    void StartRead(Client& client, const std::uint8_t* payload, int payloadLength, bool sameHost);
    void SendNextBlock(Client& client);
    void SendCurrentBlock(Client& client);
    bool OnSilentClient(Client& client);
    bool MayAsk(const Client& client) const;
    void DropTransfer(Client& client, const char* why);
    void EndTransfer(Client& client);
    void AbandonAll();
    void UpdateState();
    bool AskNotResponding();
    bool IsBoard(const os::SocketAddress& address) const;
    bool IsBoard(const Client& client) const { return IsBoard(client.client); }
    bool Logs(const os::SocketAddress& about);
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
    bool boardCompleted_ = false;
    std::atomic<bool> boardFromBootp_{false};
    mutable std::mutex boardLock_;               // guards boardAddresses_
    std::vector<std::uint32_t> boardAddresses_;  // given in this job, the latest last
    std::array<Client, kMaxClients> clients_;
    std::size_t lastStarted_ = 0;
    os::SocketAddress pendingClient_;  // the sender of the request being handled
    diag::DropSummary requestDrops_{"CTftp::ReceiveTftp"};
    diag::DropSummary transferDrops_{"CTftp::HandleTftpRead"};
    diag::DropSummary strangerLines_{"CTftp", "lines about other hosts' transfers"};
    Counters counters_;
};

}  // namespace net
