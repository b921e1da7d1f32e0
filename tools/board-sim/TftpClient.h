// The board's side of a TFTP read (RFC 1350), without sockets: it makes the read
// request, answers each DATA block with its ACK, and checks the whole file against
// the length and CRC-32 the BOOTP reply carried in the image header. The caller owns
// the socket, the clock and any simulated loss.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace board_sim {

struct TftpClientConfig {
    std::string fileName = "d:\\a.bin";
    std::uint32_t expectedLength = 0;  // of the whole image: the file is 28 bytes shorter
    std::uint32_t expectedCrc = 0;     // CRC-32 of the file
    std::uint16_t errorAtBlock = 0;    // answer this DATA block with an ERROR; 0: never
};

struct TftpClientCounters {
    std::uint64_t requestsSent = 0;
    std::uint64_t acksSent = 0;
    std::uint64_t blocks = 0;  // distinct blocks taken
    std::uint64_t bytes = 0;
    std::uint64_t duplicates = 0;  // blocks received again
    std::uint64_t maxReceiptsOfABlock = 0;
    std::uint64_t foreignPackets = 0;  // from another port than the transfer's
    std::uint64_t malformed = 0;
    std::uint64_t timeouts = 0;
    std::uint64_t errorsSent = 0;
};

class TftpClient {
  public:
    enum class Phase { Requesting, Receiving, Complete, Failed };

    using Packet = std::vector<std::uint8_t>;
    // What to send, and to which server port.
    struct Outgoing {
        Packet packet;
        std::uint16_t port = 0;
    };

    TftpClient(TftpClientConfig config, std::uint16_t serverPort);

    // The read request, to the server's well-known port.
    Outgoing Request();
    // A datagram from the server's address; the answer to send, if any.
    std::optional<Outgoing> OnDatagram(std::span<const std::uint8_t> datagram,
                                       std::uint16_t fromPort);
    // Nothing came for a while: the request or the last ACK is sent again (RFC 1350).
    std::optional<Outgoing> OnTimeout();

    Phase CurrentPhase() const { return phase_; }
    bool Finished() const { return phase_ == Phase::Complete || phase_ == Phase::Failed; }
    bool LengthOk() const;
    bool CrcOk() const;
    std::uint32_t Crc() const;
    const std::vector<std::uint8_t>& Content() const { return content_; }
    const TftpClientCounters& Counters() const { return counters_; }

  private:
    Outgoing Ack(std::uint16_t block);
    Outgoing Error();
    void NoteReceipt(std::uint16_t block);

    TftpClientConfig config_;
    std::uint16_t serverPort_;
    std::uint16_t transferPort_ = 0;  // the server's transfer ID, from its first block
    Phase phase_ = Phase::Requesting;
    std::uint16_t lastBlock_ = 0;
    std::vector<std::uint8_t> content_;
    std::vector<std::uint64_t> receipts_;  // per block number
    TftpClientCounters counters_;
};

}  // namespace board_sim
