// TFTP packet handling in every state: packets from six clients (two ports on each of
// three hosts) on port 69 and on the transfer socket, time-outs and the worker's
// servicing, in any order and with any answers to the question; with BOOTP off, or
// (inputs of odd length) with the first host given its address by BOOTP. Properties: every DATA
// packet carries exactly the image bytes its block number names and goes only to a client that made
// a well-formed request; no more than the room for clients is ever in use.
#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/firmware_image.h"
#include "diag/CLog.h"
#include "diag/UiPort.h"
#include "fuzz/FuzzReader.h"
#include "net/CTftpTransfer.h"
#include "os/byte_order.h"

namespace {

using net::CTftpTransfer;

constexpr int kClients = 6;
constexpr int kPortsPerHost = 2;

os::SocketAddress Client(int index) {
    const auto host = static_cast<std::uint32_t>(1 + index / kPortsPerHost);
    return {(host << 24) | 0x7Fu, static_cast<std::uint16_t>(1000 + index)};
}

class Sender final : public CTftpTransfer::Sender {
  public:
    bool EnsureTransferSocket() override { return true; }
    void SendData(const std::uint8_t* packet, int length, const os::SocketAddress& to) override {
        FUZZ_CHECK(length >= net::kTftpDataHeaderSize && length <= net::kTftpMaxDataPacket);
        FUZZ_CHECK(os::load_be16(packet) == net::kTftpOpData);
        FUZZ_CHECK(requesters.count(to.Pack()) == 1);
        const std::uint16_t block = os::load_be16(packet + net::kTftpBlockOffset);
        FUZZ_CHECK(block >= 1);
        const std::size_t offset =
            (block - 1u) * static_cast<std::size_t>(net::kTftpBlockContentSize);
        const std::size_t content = app::kFirmwareImageSize - net::kTftpContentOffset;
        FUZZ_CHECK(offset <= content);
        const std::size_t expected =
            std::min<std::size_t>(content - offset, net::kTftpBlockContentSize);
        FUZZ_CHECK(static_cast<std::size_t>(length - net::kTftpDataHeaderSize) == expected);
        FUZZ_CHECK(std::memcmp(packet + net::kTftpDataOffset,
                               app::FirmwareImage() + net::kTftpContentOffset + offset,
                               expected) == 0);
    }
    std::set<std::uint64_t> requesters;
};

// A window the input may cancel; it draws nothing.
class Window final : public diag::ProgressWindow {
  public:
    explicit Window(const bool& cancel) : cancel_(cancel) {}
    void Show() override {}
    void Hide() override {}
    void MoveTo(int, int) override {}
    void SetRange(int lower, int upper, int) override { FUZZ_CHECK(lower < upper); }
    void SetPos(int position) override { FUZZ_CHECK(position >= 0); }
    bool IsCancelled() const override { return cancel_; }
    void PumpMessages(bool) override {}
    std::string Caption() const override { return {}; }

  private:
    const bool& cancel_;
};

// Answers the question, and cancels the window, as the input says.
class Ui final : public diag::UiPort, private diag::SettingsPort {
  public:
    void ShowMessage(const std::string&) override {}
    bool AskRetryCancel(const std::string&) override { return retry; }
    std::unique_ptr<diag::ProgressWindow> CreateProgressWindow(const std::string&, bool) override {
        return std::make_unique<Window>(cancel);
    }
    SettingsPort& Settings() override { return *this; }
    bool retry = true;
    bool cancel = false;

  private:
    int GetInt(const std::string&, const std::string&, int defaultValue) const override {
        return defaultValue;
    }
    bool SetInt(const std::string&, const std::string&, int) override { return true; }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    diag::theLog.SetConsole(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzReader input(data, size);
    Ui ui;
    diag::SetUiPort(&ui);
    net::BoardContext context;
    context.image = app::FirmwareImage();
    context.imageSize = app::kFirmwareImageSize;
    Sender sender;
    std::uint32_t now = 0xFFFFFF00u;
    CTftpTransfer transfer(context, {3000, 250, 8}, sender, [&] { return now; });
    if (size % 2 == 1) {
        transfer.ExpectBoardFromBootp();
        transfer.BoardAddressGiven(Client(0).addressNetworkOrder);
    }
    transfer.CreateProgressWindow();
    transfer.BeginListening();
    bool running = true;
    while (running && !input.Empty()) {
        const std::uint8_t kind = input.U8();
        const os::SocketAddress client = Client(input.U8() % kClients);
        const std::uint16_t advance = input.U16();
        now += advance & 0x7FF;
        ui.retry = (advance & 0x8000) == 0;
        ui.cancel = (advance & 0x4000) != 0 && (advance & 0x3000) == 0x3000;
        switch (kind % 5) {
            case 0: {
                const auto packet = input.Bytes(input.U16() % 600);
                if (packet.size() >= 2 && os::load_be16(packet.data()) == net::kTftpOpRrq &&
                    CTftpTransfer::IsWellFormedRequest(packet.data() + 2,
                                                       static_cast<int>(packet.size()) - 2))
                    sender.requesters.insert(client.Pack());
                transfer.OnServerDatagram(packet.data(), static_cast<int>(packet.size()), client);
                break;
            }
            case 1: {
                const auto packet = input.Bytes(input.U16() % 600);
                transfer.OnTransferDatagram(packet.data(), static_cast<int>(packet.size()), client);
                break;
            }
            case 2:
                running = transfer.OnTimeout();
                break;
            case 3:
                running = transfer.ServiceTransfers();
                break;
            default:
                running = transfer.PumpProgress();
                break;
        }
        FUZZ_CHECK(transfer.ActiveTransfers() <= CTftpTransfer::kMaxClients);
        FUZZ_CHECK((transfer.ActiveTransfers() == 0) ==
                   (transfer.CurrentState() == CTftpTransfer::Idle));
    }
    transfer.DestroyProgressWindow();
    diag::SetUiPort(nullptr);
    return 0;
}
