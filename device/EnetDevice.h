// The computer's handle on one board reached over Ethernet: the datagram link (as
// its base), the BOOTP server on every adapter and the TFTP server for the board's
// firmware image. Init starts all three; the owner then polls the board's state,
// writes board messages and deletes the device, which stops everything.
//
// One owner thread makes every call; OnDatagram runs on the link's receive thread.
// Calls that return a status give FT_OK (0) or FT_INVALID_HANDLE (1) after telling
// the user why through the UI port.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "device/PeerGrants.h"
#include "device/board_wire.h"
#include "device/status_text.h"
#include "diag/UiPort.h"
#include "net/CBootP.h"
#include "net/CTftp.h"
#include "net/CUdpServer.h"
#include "net/board_context.h"

namespace device {

struct DeviceStatus {
    std::uint8_t linkActive = 0;  // the board has been heard
    std::uint8_t finished = 0;    // the TFTP worker ended, or the device never started
    const os::SocketAddress* localAddress = nullptr;  // while linkActive
    std::uint32_t valueCount = 0;                     // always 14: the values below
    std::uint32_t rxDatagrams = 0;
    std::uint32_t rxBytes = 0;
    std::uint32_t txDatagrams = 0;
    std::uint32_t txBytes = 0;
    std::uint32_t boardValues[kBoardValueCount] = {};
};

// Which services the device runs, and where. The defaults are the real ones; tests
// outside a network namespace turn BOOTP off (it answers on every adapter).
struct DeviceServices {
    bool bootp = true;
    std::uint16_t tftpPort = net::CTftp::kDefaultPort;
    std::uint16_t linkPort = net::CUdpServer::kDefaultPort;
    net::CTftpTiming tftpTiming = {};
    std::uint32_t fpgaStallLimitMs = 5000;  // no progress this long ends an FPGA wait
    net::ServiceEvents* events = nullptr;   // told of addresses and transfers; not owned
    // Which boards BOOTP answers; its refused addresses are never the link's peer either.
    net::BootpAdmission admission;
    net::CBootPPlatform* bootpPlatform = nullptr;  // null: the computer's own; not owned
};

class EnetDevice : public net::CUdpServer {
  public:
    static constexpr std::uint32_t kStatusValueCount = 14;

    // `context` (not owned) must outlive the device. No thread or socket yet.
    explicit EnetDevice(net::BoardContext* context, DeviceServices services = {});
    ~EnetDevice() override;

    // Starts BOOTP, TFTP and the link, in that order. 1 when the link started, else 0.
    int Init();
    // Always 1.
    int PollStatus(DeviceStatus& status);
    int OnDatagram(const std::uint8_t* datagram, int& length) override;
    // The 32-bit value at offset 60 of the last board datagram.
    std::uint32_t LastHeadValue() const;
    // Spins for `microseconds`; returns the clock ticks waited (nanoseconds).
    std::uint64_t DelayMicroseconds(std::uint32_t microseconds);

    // The driver-style calls.
    int FT_Open(void* unused);
    int FT_Close();
    int Reopen();
    int FT_ListDevices(void* unused1, void* unused2, std::uint32_t unused3);
    int FT_Purge(std::uint32_t unused);
    int FT_Write(const void* bytes, std::uint32_t length, std::uint32_t* written);
    int ReadMessage(void* buffer, std::uint32_t size, std::uint32_t* read);
    int GetRxQueueBytes(std::uint32_t* count);
    int IsQuiet() const;
    int IsRunning() const;
    int WriteBlocks(const void* bytes, std::uint32_t length, std::uint32_t* written);
    int SendValue(std::uint32_t value);
    int SendDisconnect();
    int WriteConfig(const std::uint8_t* block);
    int SendPattern();
    int SendDisconnectValue(std::uint32_t value);

    // FPGA bitstream upload, shown in an "FPGA Uploading" window over twice the length.
    int BeginFpgaUpload(std::uint32_t length);
    // Sends the whole bitstream, then waits for the board's count to reach it. 1 when
    // the link is not running, or when the board's count stopped moving for the stall
    // limit (the user is told); else 0.
    int UploadFpga(const std::uint8_t* bytes, std::uint32_t length, std::uint32_t* written);
    int EndFpgaUpload();

    std::uint32_t BoardValue(int index) const { return boardValues_[index].load(); }
    // Sets the link's peer rule from what BOOTP serves: a grant is required while it
    // serves an adapter or one is still starting. Init calls it; call it again once the
    // adapters have settled, and whenever the adapters served change.
    void FollowBootp();
    // BOOTP answers only this board from now on, or none without one.
    void AdmitOnly(const std::optional<net::EthernetAddress>& board);
    const net::CTftp* Tftp() const { return tftp_.get(); }
    const net::CBootP* Bootp() const { return bootp_.get(); }

  private:
    int SendMessage(std::uint16_t command, const std::uint8_t* payload, int length);
    int SendSingleMessage(bool serverReady, std::uint16_t command, const std::uint8_t* payload,
                          int length);
    int WaitForFpgaCount();
    void NotRunning();

    std::uint8_t message_[kMessageHeaderSize + kMaxMessagePayload] = {};
    std::atomic<int> finished_{0};
    std::unique_ptr<net::CBootP> bootp_;
    std::unique_ptr<net::CTftp> tftp_;
    std::unique_ptr<diag::ProgressWindow> progress_;
    std::uint32_t progressBase_ = 0;
    std::uint32_t uploadTotal_ = 0;
    std::atomic<std::uint32_t> rxDatagramsSeen_{0};
    std::atomic<std::uint32_t> rxBytesSeen_{0};
    std::array<std::atomic<std::uint32_t>, kBoardValueCount> boardValues_{};
    mutable std::mutex lastHeadLock_;
    std::uint8_t lastHead_[kLastHeadSize] = {};
    int lastHeadLength_ = 0;  // bytes of lastHead_ the datagram had
    net::BoardContext* context_;
    DeviceServices services_;
    PeerGrants peerGrants_{*this, services_.events};
    os::SocketAddress localAddressSeen_;
};

}  // namespace device
