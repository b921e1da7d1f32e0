#include "net/CTftpTransfer.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
#include <span>

#include "diag/CLog.h"
#include "os/byte_order.h"
#include "os/clock.h"

namespace net {
namespace {

using diag::theLog;

constexpr const char* kFpgaRequestName = "fpga";
constexpr const char* kFpgaServedName = "fpga_blinky_bitfile.bin";
constexpr const char* kImageServedName = "OrvanClient.bin";
constexpr std::size_t kMaxPromptLength = 255;
// Addresses given in one job that are remembered as the board's; a job serves one
// board, so a few are plenty, and the latest are kept.
constexpr std::size_t kMaxBoardAddresses = 16;
// The transfer modes of RFC 1350; the content goes as raw bytes in each.
constexpr const char* kModes[] = {"netascii", "octet", "mail"};

bool IsKnownMode(const std::uint8_t* begin, const std::uint8_t* end) {
    std::string mode(begin, end);
    for (char& c : mode)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return std::find(std::begin(kModes), std::end(kModes), mode) != std::end(kModes);
}

}  // namespace

CTftpTransfer::CTftpTransfer(const BoardContext& boardContext, CTftpTiming waitTiming,
                             Sender& packetSender, Clock tickClock)
    : context_(boardContext),
      timing_(waitTiming),
      sender_(packetSender),
      clock_(tickClock ? std::move(tickClock) : Clock(&os::TickCountMs)),
      waitTimeout_(waitTiming.transferWaitMs) {}

bool CTftpTransfer::IsWellFormedRequest(const std::uint8_t* payload, int length) {
    if (payload == nullptr || length <= 0) return false;
    const std::uint8_t* end = payload + length;
    const std::uint8_t* nameEnd = std::find(payload, end, 0);
    if (nameEnd == end) return false;
    const std::uint8_t* mode = nameEnd + 1;
    const std::uint8_t* modeEnd = std::find(mode, end, 0);
    if (modeEnd == end || !IsKnownMode(mode, modeEnd)) return false;
    // Options (RFC 2347) are zero-ended strings; this server ignores them.
    const std::uint8_t* options = modeEnd + 1;
    return options == end || end[-1] == 0;
}

void CTftpTransfer::BoardAddressGiven(std::uint32_t addressNetworkOrder) {
    std::lock_guard lock(boardLock_);
    if (std::find(boardAddresses_.begin(), boardAddresses_.end(), addressNetworkOrder) !=
        boardAddresses_.end())
        return;
    if (boardAddresses_.size() == kMaxBoardAddresses)
        boardAddresses_.erase(boardAddresses_.begin());
    boardAddresses_.push_back(addressNetworkOrder);
}

bool CTftpTransfer::IsBoard(const os::SocketAddress& address) const {
    if (!boardFromBootp_.load()) return true;
    std::lock_guard lock(boardLock_);
    return std::find(boardAddresses_.begin(), boardAddresses_.end(), address.addressNetworkOrder) !=
           boardAddresses_.end();
}

// Lines about the board are always logged; those about other hosts only within the
// summary's bounds, since other hosts may send without end.
bool CTftpTransfer::Logs(const os::SocketAddress& about) {
    return IsBoard(about) || strangerLines_.Note(Now());
}

void CTftpTransfer::CreateProgressWindow() {
    if (progress_) return;
    progress_ = diag::Ui().CreateProgressWindow(kProgressTitle, true);
    if (progress_) progress_->MoveTo(kProgressX, kProgressY);
}

void CTftpTransfer::DestroyProgressWindow() {
    if (!progress_) return;
    progress_->Hide();
    progress_.reset();
}

void CTftpTransfer::BeginListening() {
    AbandonAll();  // a transfer left by an earlier worker went with its socket
    waitTimeout_ = timing_.startWaitMs;
    missCount_ = 0;
}

void CTftpTransfer::OnServerDatagram(const std::uint8_t* data, int length,
                                     const os::SocketAddress& from) {
    missCount_ = 0;
    // The client is whoever sent the request that gets accepted, not merely the last
    // sender on port 69: a stray request must not redirect a transfer.
    pendingClient_ = from;
    const bool request =
        length >= kTftpOpcodeSize && os::load_be16(data + kTftpOpcodeOffset) == kTftpOpRrq &&
        IsWellFormedRequest(data + kTftpFileNameOffset, length - kTftpFileNameOffset);
    if (!request) {
        counters_.malformedRequests.fetch_add(1);
        if (requestDrops_.Note(Now()))
            theLog.Print("CTftp::ReceiveTftp - dropped %d bytes from %s: not a read request",
                         length, from.ToString().c_str());
        return;
    }
    HandleRequest(data + kTftpFileNameOffset, length - kTftpFileNameOffset);
}

void CTftpTransfer::HandleRequest(const std::uint8_t* payload, int payloadLength) {
    if (ContentSize() > kTftpMaxContentSize) {
        counters_.requestsRefused.fetch_add(1);
        if (requestDrops_.Note(Now()))
            theLog.Print(
                "CTftp::ReceiveTftp - the image (%u bytes) is too long for TFTP's block "
                "numbers: not served to %s",
                static_cast<unsigned>(ContentSize()), pendingClient_.ToString().c_str());
        return;
    }
    // One transfer per host. The same request again (its block 1 lost) is answered by
    // the re-send that is due; a host asking anew has given up its older transfer.
    if (Client* client = FindHost(pendingClient_.addressNetworkOrder)) {
        if (client->client == pendingClient_ && !client->progressed) return;
        counters_.transfersReplaced.fetch_add(1);
        StartRead(*client, payload, payloadLength, true);
        return;
    }
    Client* room = RoomForClient(IsBoard(pendingClient_));
    if (room == nullptr) {
        counters_.requestsRefused.fetch_add(1);
        if (requestDrops_.Note(Now()))
            theLog.Print("CTftp::ReceiveTftp - no room for a transfer to %s: %d clients served",
                         pendingClient_.ToString().c_str(), ActiveTransfers());
        return;
    }
    StartRead(*room, payload, payloadLength, false);
}

CTftpTransfer::Client* CTftpTransfer::FindClient(const os::SocketAddress& address) {
    for (Client& client : clients_) {
        if (client.state != Idle && client.client == address) return &client;
    }
    return nullptr;
}

CTftpTransfer::Client* CTftpTransfer::FindHost(std::uint32_t addressNetworkOrder) {
    for (Client& client : clients_) {
        if (client.state != Idle && client.client.addressNetworkOrder == addressNetworkOrder)
            return &client;
    }
    return nullptr;
}

// A free place, or else that of the host which progressed least recently; another
// host's request never takes the board's place.
CTftpTransfer::Client* CTftpTransfer::RoomForClient(bool forBoard) {
    const std::uint32_t now = Now();
    Client* yielding = nullptr;
    for (Client& client : clients_) {
        if (client.state == Idle) return &client;
        if (!forBoard && IsBoard(client)) continue;
        if (yielding == nullptr || now - client.lastProgressMs > now - yielding->lastProgressMs)
            yielding = &client;
    }
    if (yielding != nullptr) {
        counters_.transfersDropped.fetch_add(1);
        if (IsBoard(pendingClient_) || Logs(yielding->client))
            theLog.Print(
                "CTftp::ReceiveTftp - %s progressed least recently (%u ms ago): its "
                "place goes to %s",
                yielding->client.ToString().c_str(),
                static_cast<unsigned>(now - yielding->lastProgressMs),
                pendingClient_.ToString().c_str());
        EndTransfer(*yielding);
    }
    return yielding;
}

void CTftpTransfer::OnTransferDatagram(const std::uint8_t* data, int length,
                                       const os::SocketAddress& from) {
    missCount_ = 0;
    // The client's port is its transfer ID (RFC 1350): anything else is not part of one.
    Client* client = FindClient(from);
    if (client == nullptr) {
        counters_.foreignPackets.fetch_add(1);
        if (transferDrops_.Note(Now()))
            theLog.Print("CTftp::HandleTftpRead - ignored %d bytes from %s: no transfer to it",
                         length, from.ToString().c_str());
        return;
    }
    if (length <= kTftpOpcodeSize) return;  // an opcode alone means nothing
    const std::span<const std::uint8_t> packet(data, static_cast<std::size_t>(length));
    const std::uint16_t opcode = os::load_be16(data + kTftpOpcodeOffset);
    if (opcode == 0 || opcode > kTftpOpHighest) return;
    if (client->state == Sending) {
        HandleSending(*client, opcode, packet);
    } else {
        HandleLastBlockSent(*client, opcode, packet);
    }
}

void CTftpTransfer::HandleSending(Client& client, std::uint16_t opcode,
                                  std::span<const std::uint8_t> packet) {
    if (opcode == kTftpOpError) {
        HandleError(client);
        return;
    }
    const auto block = os::read_be16(packet, kTftpBlockOffset);
    if (opcode != kTftpOpAck || !block) return;
    // Only the ACK of the block just sent releases the next. Answering a repeated ACK
    // would send every later block twice (RFC 1123, 4.2.3.1).
    if (*block != client.blockNumber) {
        counters_.ignoredAcks.fetch_add(1);
        return;
    }
    // Progress, and nothing else, keeps a host's place and its patience; a host that
    // asked again and goes over its blocks once more makes none.
    client.progressed = true;
    if (*block > client.furthestAcked) {
        client.furthestAcked = *block;
        client.misses = 0;
        client.lastProgressMs = Now();
    }
    SendNextBlock(client);
}

// Only the board's ERROR is the user's matter, and once a transfer. Another host's
// ends its own transfer (RFC 1350), and shows nothing.
void CTftpTransfer::HandleError(Client& client) {
    counters_.errorsReceived.fetch_add(1);
    if (!IsBoard(client)) {
        counters_.errorsNotShown.fetch_add(1);
        DropTransfer(client, "sent an ERROR");
        return;
    }
    if (!client.flashErrorShown) {
        client.flashErrorShown = true;
        diag::Ui().ShowMessage(kFlashErrorText);
        return;
    }
    counters_.errorsNotShown.fetch_add(1);
    if (Logs(client.client))
        theLog.Print("CTftp::HandleTftpRead - another ERROR from %s: its message was shown once",
                     client.client.ToString().c_str());
}

void CTftpTransfer::HandleLastBlockSent(Client& client, std::uint16_t opcode,
                                        std::span<const std::uint8_t> packet) {
    const auto block = os::read_be16(packet, kTftpBlockOffset);
    if (opcode == kTftpOpAck && (!block || *block != client.blockNumber)) {
        counters_.ignoredAcks.fetch_add(1);
        return;  // a late ACK of an earlier block: the final DATA may still be lost
    }
    counters_.transfersCompleted.fetch_add(1);
    if (Logs(client.client))
        theLog.Print("CTftp::HandlePacket - transfer of %s to %s ended after block %u",
                     client.servedFileName.c_str(), client.client.ToString().c_str(),
                     static_cast<unsigned>(client.blockNumber));
    if (IsBoard(client)) {
        // The board now runs its firmware and should turn to the link. If it never does,
        // this wait still ends in the question, so that no job waits unattended for ever.
        waitTimeout_ = timing_.startWaitMs;
        missCount_ = 0;
        boardCompleted_ = true;
        if (events_) events_->OnTransferFinished(client.client, ContentSize());
    }
    EndTransfer(client);
}

// `sameHost`: in place of the host's earlier transfer, whose standing (its progress,
// its silence since) the new one keeps: asking again earns nothing, and counts as one
// more wait without progress.
void CTftpTransfer::StartRead(Client& client, const std::uint8_t* payload, int payloadLength,
                              bool sameHost) {
    const bool board = IsBoard(pendingClient_);
    if (board) waitTimeout_ = timing_.transferWaitMs;
    if (!sender_.EnsureTransferSocket()) return;  // a later request tries again
    const auto* name = reinterpret_cast<const char*>(payload);
    const auto nameLength =
        static_cast<std::size_t>(std::find(payload, payload + payloadLength, 0) - payload);
    const std::uint16_t furthestAcked = sameHost ? client.furthestAcked : 0;
    const std::uint32_t lastProgressMs = sameHost ? client.lastProgressMs : Now();
    const int misses = sameHost ? client.misses + 1 : 0;
    client = Client{};
    client.furthestAcked = furthestAcked;
    client.lastProgressMs = lastProgressMs;
    client.misses = misses;
    client.fileName.assign(name, std::min(nameLength, kMaxFileName));
    // Both names get the same image; the name is only recorded.
    client.servedFileName =
        client.fileName == kFpgaRequestName ? kFpgaServedName : kImageServedName;
    client.client = pendingClient_;
    client.state = Sending;
    lastStarted_ = static_cast<std::size_t>(&client - clients_.data());
    if (progress_ && board) {
        progress_->SetRange(0, static_cast<int>(context_.imageSize), 1);
        progress_->Show();
    }
    counters_.transfersStarted.fetch_add(1);
    if (Logs(client.client))
        theLog.Print("CTftp::StartRead - \"%s\" from %s: serving %s, %u bytes%s",
                     client.fileName.c_str(), client.client.ToString().c_str(),
                     client.servedFileName.c_str(), static_cast<unsigned>(ContentSize()),
                     sameHost ? ", in place of its earlier request" : "");
    if (events_ && board) events_->OnTransferStarted(client.client, client.fileName, ContentSize());
    SendNextBlock(client);
    UpdateState();
}

std::uint32_t CTftpTransfer::ContentSize() const {
    if (context_.image == nullptr || context_.imageSize < kTftpContentOffset) return 0;
    return context_.imageSize - kTftpContentOffset;
}

// The window shows the board's transfer furthest along, so another host's transfer,
// or a fresh start, does not move it.
bool CTftpTransfer::LeadsTheProgress(const Client& client) const {
    if (!IsBoard(client)) return false;
    for (const Client& other : clients_) {
        if (&other != &client && other.state != Idle && other.position > client.position &&
            IsBoard(other))
            return false;
    }
    return true;
}

void CTftpTransfer::SendNextBlock(Client& client) {
    std::uint8_t* buffer = client.sendBuffer;
    os::store_be16(buffer + kTftpOpcodeOffset, kTftpOpData);
    ++client.blockNumber;
    os::store_be16(buffer + kTftpBlockOffset, client.blockNumber);
    client.position = client.offset;
    const std::uint32_t remaining = ContentSize() - static_cast<std::uint32_t>(client.offset);
    if (progress_ && LeadsTheProgress(client)) progress_->SetPos(client.offset);

    const std::uint32_t count =
        std::min<std::uint32_t>(remaining, static_cast<std::uint32_t>(kTftpBlockContentSize));
    if (count > 0)
        std::memcpy(buffer + kTftpDataOffset, context_.image + kTftpContentOffset + client.offset,
                    count);
    client.offset += static_cast<std::int32_t>(count);
    client.sendLength = kTftpDataHeaderSize + static_cast<int>(count);
    // A block shorter than 512 bytes, possibly empty, ends the file (RFC 1350).
    if (count < static_cast<std::uint32_t>(kTftpBlockContentSize)) {
        if (LeadsTheProgress(client)) DestroyProgressWindow();
        client.state = LastBlockSent;
        UpdateState();
    }
    client.lastSendMs = Now();
    SendCurrentBlock(client);
}

void CTftpTransfer::SendCurrentBlock(Client& client) {
    counters_.dataSent.fetch_add(1);
    sender_.SendData(client.sendBuffer, client.sendLength, client.client);
}

bool CTftpTransfer::OnTimeout() {
    counters_.timeouts.fetch_add(1);
    if (ActiveTransfers() > 0) return ServiceTransfers();
    if (++missCount_ < timing_.missesBeforePrompt) return true;
    missCount_ = 0;
    return AskNotResponding();
}

// Each client's current block goes again once a wait period has passed since it was
// last sent, counted against that client alone.
bool CTftpTransfer::ServiceTransfers() {
    const std::uint32_t now = Now();
    for (Client& client : clients_) {
        if (client.state == Idle) continue;
        if (now - client.lastSendMs >= timing_.transferWaitMs) {
            counters_.dataResent.fetch_add(1);
            client.lastSendMs = now;
            SendCurrentBlock(client);
            ++client.misses;
        }
        // Requests count too: a host asking anew over and over is sent block 1 each
        // time, so it never waits for a re-send.
        if (client.misses >= timing_.missesBeforePrompt && !OnSilentClient(client)) return false;
    }
    return true;
}

bool CTftpTransfer::OnSilentClient(Client& client) {
    if (!MayAsk(client)) {
        DropTransfer(client, "went silent");
        return true;
    }
    client.misses = 0;
    return AskNotResponding();
}

// Only the board's stalled transfer is the user's matter, and not even that when the
// board never acknowledged a block (a request it gave up), when another transfer of
// the board is still heard (this one vanished), or when it has its firmware already.
bool CTftpTransfer::MayAsk(const Client& client) const {
    if (!IsBoard(client) || client.furthestAcked == 0 || boardCompleted_) return false;
    return std::none_of(clients_.begin(), clients_.end(), [&](const Client& other) {
        return &other != &client && other.state != Idle &&
               other.misses < timing_.missesBeforePrompt && IsBoard(other);
    });
}

void CTftpTransfer::DropTransfer(Client& client, const char* why) {
    counters_.transfersDropped.fetch_add(1);
    if (Logs(client.client))
        theLog.Print("CTftp::HandleTftpRead - %s %s after block %u: transfer dropped",
                     client.client.ToString().c_str(), why,
                     static_cast<unsigned>(client.blockNumber));
    EndTransfer(client);
}

void CTftpTransfer::EndTransfer(Client& client) {
    client.state = Idle;
    UpdateState();
    if (ActiveTransfers() == 0 && !boardCompleted_) {
        waitTimeout_ = timing_.startWaitMs;  // still waiting for the board, as at first
        missCount_ = 0;
    }
}

void CTftpTransfer::AbandonAll() {
    for (Client& client : clients_)
        client.state = Idle;
    UpdateState();
}

void CTftpTransfer::UpdateState() {
    State overall = Idle;
    for (const Client& client : clients_) {
        if (client.state == Sending) overall = Sending;
        if (client.state == LastBlockSent && overall == Idle) overall = LastBlockSent;
    }
    state_ = overall;
}

int CTftpTransfer::ActiveTransfers() const {
    return static_cast<int>(
        std::count_if(clients_.begin(), clients_.end(),
                      [](const Client& client) { return client.state != Idle; }));
}

const CTftpTransfer::Client& CTftpTransfer::Shown() const {
    const Client* shown = nullptr;
    bool shownIsBoard = false;
    for (const Client& client : clients_) {
        if (client.state == Idle) continue;
        const bool board = IsBoard(client);
        if (shown == nullptr || (board && !shownIsBoard) ||
            (board == shownIsBoard && client.position > shown->position)) {
            shown = &client;
            shownIsBoard = board;
        }
    }
    return shown != nullptr ? *shown : clients_[lastStarted_];
}

std::uint32_t CTftpTransfer::WaitTimeout() const {
    if (ActiveTransfers() == 0) return waitTimeout_;
    const std::uint32_t now = Now();
    std::uint32_t soonest = timing_.transferWaitMs;
    for (const Client& client : clients_) {
        if (client.state == Idle) continue;
        const std::uint32_t elapsed = now - client.lastSendMs;
        soonest = std::min(
            soonest, elapsed >= timing_.transferWaitMs ? 0u : timing_.transferWaitMs - elapsed);
    }
    return soonest;
}

bool CTftpTransfer::AskNotResponding() {
    // The name field may fill its array without a terminator.
    const std::size_t nameLength = static_cast<std::size_t>(
        std::find(std::begin(context_.boardName), std::end(context_.boardName), '\0') -
        std::begin(context_.boardName));
    std::string text = std::string(context_.boardName, nameLength) +
                       " is not responding.\n\nRetry or Quit Plugin (cancel)?";
    if (text.size() > kMaxPromptLength) text.resize(kMaxPromptLength);
    if (!diag::Ui().AskRetryCancel(text)) return false;
    AbandonAll();  // an unfinished transfer is abandoned
    return true;
}

bool CTftpTransfer::PumpProgress() {
    if (!progress_) return true;
    if (progress_->IsCancelled()) {
        progress_.reset();
        return false;
    }
    progress_->PumpMessages(true);
    return true;
}

void CTftpTransfer::FlushDropSummaries() {
    requestDrops_.Flush(Now());
    transferDrops_.Flush(Now());
    strangerLines_.Flush(Now());
    const auto& c = counters_;
    if (c.transfersDropped.load() + c.errorsNotShown.load() + c.requestsRefused.load() > 0)
        theLog.Print(
            "CTftp::ServerThread - without asking the user: transfers dropped %u, "
            "ERRORs not shown %u; requests refused %u, transfers replaced by a new "
            "request %u",
            c.transfersDropped.load(), c.errorsNotShown.load(), c.requestsRefused.load(),
            c.transfersReplaced.load());
}

}  // namespace net
