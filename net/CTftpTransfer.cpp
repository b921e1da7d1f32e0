#include "net/CTftpTransfer.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "diag/CLog.h"
#include "os/byte_order.h"

namespace net {
namespace {

using diag::theLog;

constexpr const char* kFpgaRequestName = "fpga";
constexpr const char* kFpgaServedName = "fpga_blinky_bitfile.bin";
constexpr const char* kImageServedName = "OrvanClient.bin";
constexpr std::size_t kMaxPromptLength = 255;

}  // namespace

CTftpTransfer::CTftpTransfer(const BoardContext& boardContext, CTftpTiming waitTiming,
                             Sender& packetSender)
    : context(boardContext),
      timing(waitTiming),
      sender(packetSender),
      waitTimeout(waitTiming.transferWaitMs) {}

void CTftpTransfer::CreateProgressWindow() {
    if (progress) return;
    progress = diag::Ui().CreateProgressWindow(kProgressTitle, true);
    if (progress) progress->MoveTo(kProgressX, kProgressY);
}

void CTftpTransfer::DestroyProgressWindow() {
    if (!progress) return;
    progress->Hide();
    progress.reset();
}

void CTftpTransfer::BeginListening() {
    state = Idle;  // a transfer left by an earlier worker went with its socket
    waitTimeout = timing.startWaitMs;
    missCount = 0;
}

void CTftpTransfer::OnServerDatagram(const std::uint8_t* data, int length,
                                     const os::SocketAddress& from) {
    missCount = 0;
    // The client is whoever sent the request that gets accepted, not merely the last
    // sender on port 69: a stray request must not redirect a transfer.
    pendingClient = from;
    DispatchPacket(data, length, true);
}

void CTftpTransfer::OnTransferDatagram(const std::uint8_t* data, int length,
                                       const os::SocketAddress& from) {
    missCount = 0;
    if (state.load() == Idle) return;  // nothing is being served
    // The client's port is its transfer ID (RFC 1350): anything else is not part of it.
    if (from != clientAddress) {
        counters.foreignPackets.fetch_add(1);
        theLog.Print("CTftp::HandleTftpRead - ignored %d bytes from %s: serving %s", length,
                     from.ToString().c_str(), clientAddress.ToString().c_str());
        return;
    }
    DispatchPacket(data, length, false);
}

void CTftpTransfer::DispatchPacket(const std::uint8_t* data, int length, bool fromServerSocket) {
    if (length < kTftpOpcodeSize) return;
    const std::uint16_t opcode = os::load_be16(data + kTftpOpcodeOffset);
    if (opcode == 0 || opcode > kTftpOpHighest) return;
    HandlePacket(opcode, data + kTftpOpcodeSize, length - kTftpOpcodeSize, fromServerSocket);
}

void CTftpTransfer::HandlePacket(std::uint16_t opcode, const std::uint8_t* payload,
                                 int payloadLength, bool fromServerSocket) {
    if (payloadLength <= 0) return;
    switch (state.load()) {
        case Idle:
            if (fromServerSocket && opcode == kTftpOpRrq) StartRead(payload, payloadLength);
            break;
        case Sending:
            // Port 69 takes only new requests, and none while one is served.
            if (!fromServerSocket) HandleSending(opcode, payload, payloadLength);
            break;
        case LastBlockSent:
            if (!fromServerSocket) HandleLastBlockSent(opcode, payload, payloadLength);
            break;
    }
}

void CTftpTransfer::HandleSending(std::uint16_t opcode, const std::uint8_t* payload,
                                  int payloadLength) {
    if (opcode == kTftpOpError) {
        counters.errorsReceived.fetch_add(1);
        diag::Ui().ShowMessage(kFlashErrorText);
        return;
    }
    if (opcode != kTftpOpAck || payloadLength < kTftpBlockSize) return;
    // Only the ACK of the block just sent releases the next. Answering a repeated ACK
    // would send every later block twice (RFC 1123, 4.2.3.1).
    if (os::load_be16(payload) != blockNumber) {
        counters.ignoredAcks.fetch_add(1);
        return;
    }
    SendNextBlock();
}

void CTftpTransfer::HandleLastBlockSent(std::uint16_t opcode, const std::uint8_t* payload,
                                        int payloadLength) {
    if (opcode == kTftpOpAck &&
        (payloadLength < kTftpBlockSize || os::load_be16(payload) != blockNumber)) {
        counters.ignoredAcks.fetch_add(1);
        return;  // a late ACK of an earlier block: the final DATA may still be lost
    }
    state = Idle;
    waitTimeout = kWaitForever;
    counters.transfersCompleted.fetch_add(1);
    theLog.Print("CTftp::HandlePacket - transfer of %s to %s ended after block %u",
                 servedFileName.c_str(), clientAddress.ToString().c_str(),
                 static_cast<unsigned>(blockNumber));
    if (events) events->OnTransferFinished(clientAddress, ContentSize());
}

void CTftpTransfer::StartRead(const std::uint8_t* payload, int payloadLength) {
    waitTimeout = timing.transferWaitMs;
    const auto* name = reinterpret_cast<const char*>(payload);
    const std::size_t nameLength =
        static_cast<std::size_t>(std::find(payload, payload + payloadLength, 0) - payload);
    if (nameLength >= static_cast<std::size_t>(payloadLength)) {
        fileName.clear();
        return;  // the name does not end inside the packet
    }
    fileName.assign(name, std::min(nameLength, kMaxFileName));
    // Both names get the same image; the name is only recorded.
    servedFileName = fileName == kFpgaRequestName ? kFpgaServedName : kImageServedName;

    if (progress) {
        progress->SetRange(0, static_cast<int>(context.imageSize), 1);
        progress->Show();
    }
    if (!sender.EnsureTransferSocket()) {
        fileName.clear();
        return;
    }
    clientAddress = pendingClient;
    blockNumber = 0;
    offset = 0;
    state = Sending;
    counters.transfersStarted.fetch_add(1);
    theLog.Print("CTftp::StartRead - \"%s\" from %s: serving %s, %u bytes", fileName.c_str(),
                 clientAddress.ToString().c_str(), servedFileName.c_str(),
                 static_cast<unsigned>(ContentSize()));
    if (events) events->OnTransferStarted(clientAddress, fileName, ContentSize());
    SendNextBlock();
}

std::uint32_t CTftpTransfer::ContentSize() const {
    if (context.image == nullptr || context.imageSize < kTftpContentOffset) return 0;
    return context.imageSize - kTftpContentOffset;
}

void CTftpTransfer::SendNextBlock() {
    os::store_be16(sendBuffer + kTftpOpcodeOffset, kTftpOpData);
    ++blockNumber;
    os::store_be16(sendBuffer + kTftpBlockOffset, blockNumber);
    const std::uint32_t remaining = ContentSize() - static_cast<std::uint32_t>(offset);
    if (progress) progress->SetPos(offset);

    const std::uint32_t count =
        std::min<std::uint32_t>(remaining, static_cast<std::uint32_t>(kTftpBlockContentSize));
    if (count > 0)
        std::memcpy(sendBuffer + kTftpDataOffset, context.image + kTftpContentOffset + offset,
                    count);
    offset += static_cast<std::int32_t>(count);
    sendLength = kTftpDataHeaderSize + static_cast<int>(count);
    // A block shorter than 512 bytes, possibly empty, ends the file (RFC 1350).
    if (count < static_cast<std::uint32_t>(kTftpBlockContentSize)) {
        DestroyProgressWindow();
        state = LastBlockSent;
    }
    SendCurrentBlock();
}

void CTftpTransfer::SendCurrentBlock() {
    counters.dataSent.fetch_add(1);
    sender.SendData(sendBuffer, sendLength, clientAddress);
}

bool CTftpTransfer::OnTimeout() {
    counters.timeouts.fetch_add(1);
    if (state.load() != Idle) {
        // The block or its ACK was lost: send it again, once per time-out.
        counters.dataResent.fetch_add(1);
        SendCurrentBlock();
    }
    if (++missCount < timing.missesBeforePrompt) return true;
    missCount = 0;
    return AskNotResponding();
}

bool CTftpTransfer::AskNotResponding() {
    // The name field may fill its array without a terminator.
    const std::size_t nameLength = static_cast<std::size_t>(
        std::find(std::begin(context.boardName), std::end(context.boardName), '\0') -
        std::begin(context.boardName));
    std::string text = std::string(context.boardName, nameLength) +
                       " is not responding.\n\nRetry or Quit Plugin (cancel)?";
    if (text.size() > kMaxPromptLength) text.resize(kMaxPromptLength);
    if (!diag::Ui().AskRetryCancel(text)) return false;
    state = Idle;  // an unfinished transfer is abandoned
    return true;
}

bool CTftpTransfer::PumpProgress() {
    if (!progress) return true;
    if (progress->IsCancelled()) {
        progress.reset();
        return false;
    }
    progress->PumpMessages(true);
    return true;
}

}  // namespace net
