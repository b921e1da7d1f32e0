// The read-only TFTP server's protocol, without sockets or threads: it takes the
// datagrams and time-outs the worker meets and answers through a Sender, so the whole
// exchange can be driven packet by packet. Every request, whatever file it names, is
// served image bytes 28..end in 512-byte DATA blocks (RFC 1350), one per
// acknowledgement of the block just sent.
//
// All calls come from one thread (CTftp's worker). State() and the counters may be
// read from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "diag/UiPort.h"
#include "net/ServiceEvents.h"
#include "net/board_context.h"
#include "os/socket_address.h"

namespace net {

// TFTP packets (RFC 1350): big-endian fields at these offsets.
constexpr int kTftpOpcodeOffset = 0;
constexpr int kTftpOpcodeSize = 2;
constexpr int kTftpBlockOffset = 2;
constexpr int kTftpBlockSize = 2;
constexpr int kTftpDataOffset = 4;
constexpr int kTftpDataHeaderSize = 4;
constexpr int kTftpBlockContentSize = 512;
constexpr int kTftpMaxDataPacket = kTftpDataHeaderSize + kTftpBlockContentSize;
constexpr std::uint16_t kTftpOpRrq = 1;
constexpr std::uint16_t kTftpOpWrq = 2;
constexpr std::uint16_t kTftpOpData = 3;
constexpr std::uint16_t kTftpOpAck = 4;
constexpr std::uint16_t kTftpOpError = 5;
constexpr std::uint16_t kTftpOpHighest = 6;
// The served content starts after the image's 28-byte header.
constexpr std::uint32_t kTftpContentOffset = 28;

// How long the worker waits for a datagram, and how many silent waits in a row make
// it ask the user whether the board is still there.
struct CTftpTiming {
    std::uint32_t startWaitMs = 3000;    // before the first request
    std::uint32_t transferWaitMs = 250;  // from a request to its final ACK
    int missesBeforePrompt = 8;
};

class CTftpTransfer {
  public:
    enum State : int { Idle = 0, Sending = 1, LastBlockSent = 2 };

    static constexpr std::uint32_t kWaitForever = 0xFFFFFFFFu;
    static constexpr std::size_t kMaxFileName = 256;
    static constexpr const char* kProgressTitle = "Tftp Uploading";
    static constexpr int kProgressX = 100;
    static constexpr int kProgressY = 100;
    static constexpr const char* kFlashErrorText =
        "Error programming the flash on the motion control board.\n"
        "You will need to reset the board or cycle power and try again.";

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
        std::atomic<std::uint32_t> dataSent{0};        // DATA packets, re-sends included
        std::atomic<std::uint32_t> dataResent{0};      // re-sent on a time-out
        std::atomic<std::uint32_t> ignoredAcks{0};     // not for the block just sent
        std::atomic<std::uint32_t> foreignPackets{0};  // from other than the client
        std::atomic<std::uint32_t> errorsReceived{0};
        std::atomic<std::uint32_t> timeouts{0};
        std::atomic<std::uint32_t> transfersStarted{0};
        std::atomic<std::uint32_t> transfersCompleted{0};
    };

    // `context` (not owned) must outlive this object.
    CTftpTransfer(const BoardContext& context, CTftpTiming timing, Sender& sender);

    // Who is told of each transfer begun and finished (not owned; null: nobody).
    void SetEvents(ServiceEvents* serviceEvents) { events = serviceEvents; }

    // The window stays hidden until a transfer begins.
    void CreateProgressWindow();
    void DestroyProgressWindow();
    bool HasProgressWindow() const { return progress != nullptr; }

    // The worker starts listening: the long wait for the first request.
    void BeginListening();
    // A datagram on port 69: only a read request, and only while idle, starts anything.
    void OnServerDatagram(const std::uint8_t* data, int length, const os::SocketAddress& from);
    // A datagram on the transfer socket: ACKs and ERRORs of the client being served.
    void OnTransferDatagram(const std::uint8_t* data, int length, const os::SocketAddress& from);
    // A wait that ended with nothing. False when the user chose to quit.
    bool OnTimeout();
    // After every wait. False when the user cancelled the progress window.
    bool PumpProgress();

    std::uint32_t WaitTimeout() const { return waitTimeout; }
    State CurrentState() const { return state.load(); }
    std::uint16_t BlockNumber() const { return blockNumber; }
    std::int32_t Offset() const { return offset; }
    const std::string& FileName() const { return fileName; }
    const std::string& ServedFileName() const { return servedFileName; }
    os::SocketAddress ClientAddress() const { return clientAddress; }
    const Counters& Stats() const { return counters; }

  private:
    void DispatchPacket(const std::uint8_t* data, int length, bool fromServerSocket);
    void HandlePacket(std::uint16_t opcode, const std::uint8_t* payload, int payloadLength,
                      bool fromServerSocket);
    void HandleSending(std::uint16_t opcode, const std::uint8_t* payload, int payloadLength);
    void HandleLastBlockSent(std::uint16_t opcode, const std::uint8_t* payload, int payloadLength);
    void StartRead(const std::uint8_t* payload, int payloadLength);
    void SendNextBlock();
    void SendCurrentBlock();
    bool AskNotResponding();
    std::uint32_t ContentSize() const;

    const BoardContext& context;
    const CTftpTiming timing;
    Sender& sender;
    ServiceEvents* events = nullptr;
    std::atomic<State> state{Idle};
    std::unique_ptr<diag::ProgressWindow> progress;
    std::uint32_t waitTimeout;
    int missCount = 0;
    std::uint16_t blockNumber = 0;
    std::int32_t offset = 0;
    std::string fileName;
    std::string servedFileName;
    os::SocketAddress clientAddress;
    os::SocketAddress pendingClient;  // the sender of the request being handled
    std::uint8_t sendBuffer[kTftpMaxDataPacket] = {};
    int sendLength = 0;
    Counters counters;
};

}  // namespace net
