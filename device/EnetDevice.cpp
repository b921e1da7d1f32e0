#include "device/EnetDevice.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <span>
#include <string>
#include <thread>

#include "device/bit_reversal.h"
#include "diag/CLog.h"
#include "os/byte_order.h"
#include "os/clock.h"

namespace device {
namespace {

constexpr const char* kNotRunningText = "FT_Write - Server is not running";
constexpr int kWriteAttempts = 1000;
constexpr int kFpgaAttempts = 100000;
constexpr std::int32_t kChunk = kMaxMessagePayload;

}  // namespace

EnetDevice::EnetDevice(net::BoardContext* boardContext, DeviceServices deviceServices)
    : context_(boardContext), services_(deviceServices) {
    SetPort(services_.linkPort);
}

// The link stops last, and before this object's members go: its receive thread
// calls OnDatagram, which uses them.
EnetDevice::~EnetDevice() {
    bootp_.reset();
    tftp_.reset();
    if (progress_) progress_->Hide();
    progress_.reset();
    Stop();
}

int EnetDevice::Init() {
    if (services_.bootp) {
        bootp_.reset(services_.bootpPlatform != nullptr
                         ? new (std::nothrow) net::CBootP(*context_, *services_.bootpPlatform)
                         : new (std::nothrow) net::CBootP(*context_));
        if (!bootp_) {
            finished_ = 1;
            return 0;
        }
    }
    tftp_.reset(new (std::nothrow) net::CTftp(*context_, services_.tftpTiming));
    if (!tftp_) {
        bootp_.reset();
        finished_ = 1;
        return 0;
    }
    tftp_->SetPort(services_.tftpPort);
    tftp_->SetEvents(&peerGrants_);
    peerGrants_.SetTftp(tftp_.get());
    if (bootp_) tftp_->ExpectBoardFromBootp();
    SetRefusedPeers(services_.admission.refusedAddresses);
    if (bootp_) {
        bootp_->SetEvents(&peerGrants_);
        bootp_->SetAdmission(services_.admission);
        bootp_->Init();
    }
    FollowBootp();
    tftp_->Start();
    return Start() ? 1 : 0;
}

// While BOOTP serves an adapter, or may yet (an adapter still starting), the board of
// this job is one BOOTP gives an address: a board programmed earlier that still talks
// to the link must not be taken for it. With no adapter able to answer BOOTP (port 67
// held) or BOOTP off, the job can only program a board that already runs its firmware,
// and the first one heard is taken.
void EnetDevice::FollowBootp() {
    RequireGrant(bootp_ && (!bootp_->InterfacesSettled() || bootp_->ListeningInterfaces() > 0));
}

void EnetDevice::AdmitOnly(const std::optional<net::EthernetAddress>& board) {
    if (bootp_) bootp_->AdmitOnly(board);
}

int EnetDevice::PollStatus(DeviceStatus& status) {
    if (tftp_ && tftp_->HasEnded()) finished_ = 1;
    status.finished = finished_ != 0 ? 1 : 0;
    if (Activity() > 0) {
        status.linkActive = 1;
        localAddressSeen_ = LocalAddress();
        status.localAddress = &localAddressSeen_;
    } else {
        status.linkActive = 0;
        status.localAddress = nullptr;
    }
    status.valueCount = kStatusValueCount;
    status.rxDatagrams = rxDatagramsSeen_;
    status.rxBytes = rxBytesSeen_;
    status.txDatagrams = Stats().txDatagrams;
    status.txBytes = Stats().txBytes;
    for (int i = 0; i < kBoardValueCount; ++i)
        status.boardValues[i] = boardValues_[i];
    return 1;
}

// Every field is read only where the datagram actually has it: a payload length
// that reaches past the received bytes is cut to them.
int EnetDevice::OnDatagram(const std::uint8_t* datagram, int& length) {
    int result = 0;
    const std::span<const std::uint8_t> received(datagram,
                                                 static_cast<std::size_t>(std::max(0, length)));
    const std::uint32_t declared = os::read_le32(received, kPayloadLengthOffset).value_or(0);
    const int available = std::max(0, length - kPayloadOffset);
    const int payload =
        static_cast<int>(std::min<std::uint32_t>(declared, static_cast<std::uint32_t>(available)));
    if (payload > 0) result = rxQueue_.Put(datagram + kPayloadOffset, payload) ? 1 : 0;

    {
        std::lock_guard lock(lastHeadLock_);
        std::memset(lastHead_, 0, sizeof lastHead_);
        lastHeadLength_ = std::clamp(length, 0, kLastHeadSize);
        if (lastHeadLength_ > 0)  // an empty datagram may come without any buffer
            std::memcpy(lastHead_, datagram, static_cast<std::size_t>(lastHeadLength_));
    }
    rxDatagramsSeen_ = Stats().rxDatagrams.load();
    rxBytesSeen_ = Stats().rxBytes.load();
    for (int i = 0; i < kBoardValueCount; ++i)
        boardValues_[i] = os::read_le32(received, kBoardValueOffsets[i]).value_or(0);
    return result;
}

// As the board values: a datagram too short to hold the value gives 0, not a mixture
// of its last bytes and padding.
std::uint32_t EnetDevice::LastHeadValue() const {
    std::lock_guard lock(lastHeadLock_);
    const std::span<const std::uint8_t> head(lastHead_, static_cast<std::size_t>(lastHeadLength_));
    return os::read_le32(head, kLastHeadValueOffset).value_or(0);
}

std::uint64_t EnetDevice::DelayMicroseconds(std::uint32_t microseconds) {
    using Clock = std::chrono::steady_clock;
    const std::uint64_t ticks = static_cast<std::uint64_t>(microseconds) * 1000u;  // ns
    const Clock::time_point start = Clock::now();
    while (static_cast<std::uint64_t>(
               std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count()) <
           ticks) {
    }
    return ticks;
}

void EnetDevice::NotRunning() {
    diag::Ui().ShowMessage(kNotRunningText);
}

int EnetDevice::FT_Open(void*) {
    if (bootp_) bootp_->Init();
    FollowBootp();
    if (tftp_) tftp_->Start();
    if (Start()) return FT_OK;
    diag::Ui().ShowMessage("FT_Open - Server not started!");
    return FT_INVALID_HANDLE;
}

int EnetDevice::FT_Close() {
    if (bootp_) bootp_->StopAll();
    if (tftp_) tftp_->Stop();
    if (Stop()) return FT_OK;
    diag::Ui().ShowMessage("FT_Close - Server not started!");
    return FT_INVALID_HANDLE;
}

int EnetDevice::Reopen() {
    FT_Close();
    return FT_Open(nullptr);
}

int EnetDevice::FT_ListDevices(void*, void*, std::uint32_t) {
    if (bootp_) return FT_OK;
    diag::Ui().ShowMessage("FT_ListDevices - Handle is not valid!");
    return FT_INVALID_HANDLE;
}

int EnetDevice::FT_Purge(std::uint32_t) {
    if (!IsReceiving()) {
        diag::Ui().ShowMessage("FT_Purge - Server is not running!");
        return FT_INVALID_HANDLE;
    }
    rxQueue_.Flush();
    txQueue_.Flush();
    return FT_OK;
}

int EnetDevice::FT_Write(const void* bytes, std::uint32_t length, std::uint32_t* written) {
    *written = 0;
    if (!IsSending()) {
        NotRunning();
        return FT_INVALID_HANDLE;
    }
    int size = static_cast<int>(length);
    if (Send(bytes, size)) *written = length;
    return FT_OK;
}

int EnetDevice::ReadMessage(void* buffer, std::uint32_t size, std::uint32_t* read) {
    *read = 0;
    if (!IsReceiving()) return FT_INVALID_HANDLE;
    int length = static_cast<int>(size);
    if (Receive(buffer, length)) *read = static_cast<std::uint32_t>(length);
    return FT_OK;
}

int EnetDevice::GetRxQueueBytes(std::uint32_t* count) {
    *count = static_cast<std::uint32_t>(rxQueue_.UsedBytes());
    return FT_OK;
}

int EnetDevice::IsQuiet() const {
    return Activity() <= 0 ? 1 : 0;
}

int EnetDevice::IsRunning() const {
    return IsReceiving() && IsSending() ? 1 : 0;
}

// Builds one board message in `message` and queues it; true when it was queued.
int EnetDevice::SendMessage(std::uint16_t command, const std::uint8_t* payload, int length) {
    os::store_le16(message_ + kMessageLengthOffset,
                   static_cast<std::uint16_t>(length + kMessageHeaderSize));
    os::store_le16(message_ + kMessageCommandOffset, command);
    if (length > 0)
        std::memcpy(message_ + kMessagePayloadOffset, payload, static_cast<std::size_t>(length));
    int size = length + kMessageHeaderSize;
    return Send(message_, size) ? 1 : 0;
}

int EnetDevice::SendSingleMessage(bool serverReady, std::uint16_t command,
                                  const std::uint8_t* payload, int length) {
    if (!serverReady) {
        NotRunning();
        return FT_INVALID_HANDLE;
    }
    SendMessage(command, payload, length);  // a full queue loses it, as a full driver would
    return FT_OK;
}

int EnetDevice::WriteBlocks(const void* bytes, std::uint32_t length, std::uint32_t* written) {
    *written = 0;
    if (!IsSending()) {
        NotRunning();
        return FT_INVALID_HANDLE;
    }
    const auto* data = static_cast<const std::uint8_t*>(bytes);
    std::uint32_t sent = 0;
    int attempts = 0;
    do {
        const auto n = static_cast<int>(std::min<std::uint32_t>(length - sent, kChunk));
        if (SendMessage(kCommandDataBlocks, data + sent, n)) sent += static_cast<std::uint32_t>(n);
        ++attempts;
    } while (sent < length && attempts < kWriteAttempts);
    *written = sent;
    return FT_OK;
}

int EnetDevice::SendValue(std::uint32_t value) {
    std::uint8_t payload[4];
    os::store_le32(payload, value);
    return SendSingleMessage(IsSending(), kCommandValue, payload, sizeof payload);
}

int EnetDevice::SendDisconnect() {
    return SendSingleMessage(IsSending(), kCommandDisconnect, nullptr, 0);
}

int EnetDevice::WriteConfig(const std::uint8_t* block) {
    return SendSingleMessage(IsSending(), kCommandWriteConfig, block, kConfigBytesSent);
}

int EnetDevice::SendPattern() {
    constexpr std::uint8_t kPattern[] = {0x56, 0x78, 0x9A, 0xBC};
    return SendSingleMessage(IsSending(), kCommandPattern, kPattern, sizeof kPattern);
}

int EnetDevice::SendDisconnectValue(std::uint32_t value) {
    std::uint8_t payload[kDisconnectValuePayloadSize];
    os::store_le32(payload + kDisconnectValueOffset, value);
    std::memset(payload + kDisconnectTrailerOffset, kDisconnectTrailerByte, kDisconnectTrailerSize);
    return SendSingleMessage(IsReceiving(), kCommandDisconnect, payload, sizeof payload);
}

int EnetDevice::BeginFpgaUpload(std::uint32_t length) {
    if (!progress_) progress_ = diag::Ui().CreateProgressWindow("FPGA Uploading", true);
    if (!progress_) return -1;
    progress_->Show();
    progress_->SetRange(0, static_cast<int>(2 * length), 1);
    progressBase_ = 0;
    uploadTotal_ = length;
    return 0;
}

int EnetDevice::UploadFpga(const std::uint8_t* bytes, std::uint32_t length,
                           std::uint32_t* written) {
    *written = 0;
    if (!IsSending()) {
        NotRunning();
        return FT_INVALID_HANDLE;
    }
    std::uint8_t chunk[kMaxMessagePayload];
    std::uint32_t sent = 0;
    int attempts = 0;
    do {
        const auto n = static_cast<int>(std::min<std::uint32_t>(length - sent, kChunk));
        for (int i = 0; i < n; ++i)
            chunk[i] = kBitReversal[bytes[sent + static_cast<std::uint32_t>(i)]];
        if (SendMessage(kCommandFpga, chunk, n)) {
            sent += static_cast<std::uint32_t>(n);
            progressBase_ += static_cast<std::uint32_t>(n);
            if (progress_) progress_->SetPos(static_cast<int>(progressBase_));
        }
        ++attempts;
    } while (sent < length && attempts < kFpgaAttempts);
    *written = sent;
    return WaitForFpgaCount();
}

// Follows the board's count of bytes received until it reaches the upload's length.
// A board that stops counting for the stall limit ends the wait, and the user is told.
int EnetDevice::WaitForFpgaCount() {
    std::uint32_t lastSeen = boardValues_[kFpgaCountValue];
    std::uint32_t lastChange = os::TickCountMs();
    for (;;) {
        const std::uint32_t count = boardValues_[kFpgaCountValue];
        if (progress_ && count <= uploadTotal_)
            progress_->SetPos(static_cast<int>(progressBase_ + count));
        if (count >= uploadTotal_) return FT_OK;
        const std::uint32_t now = os::TickCountMs();
        if (count != lastSeen) {
            lastSeen = count;
            lastChange = now;
        } else if (now - lastChange >= services_.fpgaStallLimitMs) {
            diag::theLog.Print(
                "EnetDevice::UploadFpga - the board's count stopped at %u of %u bytes", count,
                uploadTotal_);
            diag::Ui().ShowMessage("The board stopped reporting FPGA bytes: it has received " +
                                   std::to_string(count) + " of " + std::to_string(uploadTotal_) +
                                   ".\nThe FPGA was not loaded. Reset the board and try again.");
            return FT_INVALID_HANDLE;
        }
        if (progress_) progress_->PumpMessages(false);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));  // the count moves per datagram
    }
}

int EnetDevice::EndFpgaUpload() {
    if (progress_) {
        progress_->Hide();
        progress_.reset();
    }
    return FT_OK;
}

}  // namespace device
