#include "device/EnetDevice.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/config_block.h"
#include "app/firmware_image.h"
#include "device/bit_reversal.h"
#include "tests/data/captured_packets.h"
#include "tests/diag/RecordingUiPort.h"
#include "tests/support/LoopbackBoard.h"

namespace device {
namespace {

using net::Bytes;
using net::TestBoard;
using net::WaitUntil;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A board datagram with the given values at the device's offsets.
Bytes BoardDatagram(std::uint32_t ack, std::uint32_t payloadLength, const Bytes& payload,
                    std::uint32_t fpgaCount = 0) {
    Bytes datagram(static_cast<std::size_t>(kPayloadOffset) + payload.size(), 0);
    os::store_le32(&datagram[net::kBoardAckOffset], ack);
    for (int i = 0; i < kBoardValueCount; ++i)
        os::store_le32(&datagram[static_cast<std::size_t>(kBoardValueOffsets[i])],
                       0x1000u + static_cast<std::uint32_t>(i));
    os::store_le32(&datagram[kBoardValueOffsets[kFpgaCountValue]], fpgaCount);
    os::store_le32(&datagram[kLastHeadValueOffset], 0xCAFEF00Du);
    os::store_le32(&datagram[kPayloadLengthOffset], payloadLength);
    std::copy(payload.begin(), payload.end(), datagram.begin() + kPayloadOffset);
    return datagram;
}

class EnetDeviceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        context_.imageSize = app::kFirmwareImageSize;
        context_.image = app::FirmwareImage();
        DeviceServices services;
        services.bootp = false;  // it would answer on every adapter of this machine
        services.tftpPort = 0;
        services.linkPort = 0;
        services.fpgaStallLimitMs = 300;
        device_ = std::make_unique<EnetDevice>(&context_, services);
        ASSERT_EQ(device_->Init(), 1);
        port_ = device_->LocalAddress().port;
    }

    // The board's first datagram, once the device has taken it.
    void Introduce() {
        board_.SendRaw(port_, BoardDatagram(0, 0, {}));
        ASSERT_TRUE(WaitUntil([&] { return device_->Stats().rxDatagrams >= 1; }));
    }

    std::vector<Bytes> Messages(std::size_t count) { return board_.ReceiveMessages(port_, count); }

    diag::RecordingUiPort ui_;
    net::BoardContext context_;
    std::unique_ptr<EnetDevice> device_;
    std::uint16_t port_ = 0;
    TestBoard board_;
};

TEST_F(EnetDeviceTest, PollBeforeAnyDatagramShowsNothingHeard) {
    DeviceStatus status;
    EXPECT_EQ(device_->PollStatus(status), 1);
    EXPECT_EQ(status.linkActive, 0);
    EXPECT_EQ(status.finished, 0);
    EXPECT_EQ(status.localAddress, nullptr);
    EXPECT_EQ(status.valueCount, 14u);
    EXPECT_EQ(status.rxDatagrams, 0u);
    EXPECT_EQ(status.rxBytes, 0u);
    for (std::uint32_t value : status.boardValues)
        EXPECT_EQ(value, 0u);
}

TEST_F(EnetDeviceTest, DatagramWithoutPayloadUpdatesTheStatusOnly) {
    board_.SendRaw(port_, BoardDatagram(0, 0, {}));
    ASSERT_TRUE(WaitUntil([&] { return device_->Stats().rxDatagrams == 1; }));
    DeviceStatus status;
    device_->PollStatus(status);
    EXPECT_EQ(status.linkActive, 1);
    ASSERT_NE(status.localAddress, nullptr);
    EXPECT_EQ(status.localAddress->port, port_);
    EXPECT_EQ(status.rxDatagrams, 1u);
    EXPECT_EQ(status.rxBytes, 108u);
    EXPECT_EQ(status.boardValues[0], 0x1000u);
    EXPECT_EQ(status.boardValues[9], 0x1009u);
    EXPECT_EQ(device_->LastHeadValue(), 0xCAFEF00Du);
    std::uint32_t bytes = 99;
    device_->GetRxQueueBytes(&bytes);
    EXPECT_EQ(bytes, 0u);
}

TEST_F(EnetDeviceTest, CapturedBoardDatagramIsReadAtItsOffsets) {
    const Bytes captured = testdata::AsBytes(testdata::kBoardSimLinkDatagram);
    ASSERT_EQ(captured.size(), 108u);
    board_.SendRaw(port_, captured);
    ASSERT_TRUE(WaitUntil([&] { return device_->Stats().rxDatagrams == 1; }));
    DeviceStatus status;
    device_->PollStatus(status);
    // What the board sent, read from its bytes by hand: 4 at 36, 1 at 48 and 52, 0xD4
    // at 60, 0x0FD6 at 92, an acknowledgement of 1 at 8 and no payload (0 at 100).
    EXPECT_THAT(status.boardValues, ElementsAre(4u, 0u, 1u, 1u, 0u, 0u, 0u, 0u, 0u, 0x0FD6u));
    EXPECT_EQ(device_->LastHeadValue(), 0xD4u);
    EXPECT_EQ(device_->LastAckSeq(), 0u);  // it acknowledges a datagram never sent here
    std::uint32_t bytes = 99;
    device_->GetRxQueueBytes(&bytes);
    EXPECT_EQ(bytes, 0u);
}

// Found by fuzzing: a datagram that ends inside a value gives 0 for it, and an empty
// one may come with no buffer at all.
TEST_F(EnetDeviceTest, ShortAndEmptyDatagramsGiveZeroForWhatTheyDoNotHold) {
    Bytes datagram = BoardDatagram(0, 0, {});
    datagram.resize(kLastHeadValueOffset + 2);
    int length = static_cast<int>(datagram.size());
    EXPECT_EQ(device_->OnDatagram(datagram.data(), length), 0);
    EXPECT_EQ(device_->LastHeadValue(), 0u);
    EXPECT_EQ(device_->BoardValue(0), 0x1000u);  // at 36: still whole
    length = 0;
    EXPECT_EQ(device_->OnDatagram(nullptr, length), 0);
    EXPECT_EQ(device_->LastHeadValue(), 0u);
    EXPECT_EQ(device_->BoardValue(0), 0u);
}

TEST_F(EnetDeviceTest, PayloadLengthPastTheDatagramIsBoundedByIt) {
    board_.SendRaw(port_, BoardDatagram(0, 5000, Bytes(20, 0x77)));
    Bytes buffer(8192);
    std::uint32_t read = 0;
    ASSERT_TRUE(WaitUntil([&] {
        device_->ReadMessage(buffer.data(), static_cast<std::uint32_t>(buffer.size()), &read);
        return read != 0;
    }));
    EXPECT_EQ(read, 20u);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 20), Bytes(20, 0x77));
}

TEST_F(EnetDeviceTest, ReadMessageIntoASmallBufferLosesTheRestOfTheEntry) {
    board_.SendRaw(port_, BoardDatagram(0, 10, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    std::uint8_t buffer[4] = {};
    std::uint32_t read = 0;
    ASSERT_TRUE(WaitUntil([&] {
        device_->ReadMessage(buffer, sizeof buffer, &read);
        return read != 0;
    }));
    EXPECT_EQ(read, 4u);
    EXPECT_THAT(buffer, ElementsAre(1, 2, 3, 4));
    EXPECT_EQ(device_->ReadMessage(buffer, sizeof buffer, &read), FT_OK);
    EXPECT_EQ(read, 0u);
}

TEST_F(EnetDeviceTest, FinishedStaysSetOnceTheTftpWorkerHasEnded) {
    EXPECT_EQ(device_->FT_Close(), FT_OK);
    DeviceStatus status;
    device_->PollStatus(status);
    EXPECT_EQ(status.finished, 1);
    EXPECT_EQ(device_->FT_Open(nullptr), FT_OK);
    device_->PollStatus(status);
    EXPECT_EQ(status.finished, 1);
}

TEST_F(EnetDeviceTest, SingleMessageCallsPutTheirExactBytesOnTheWire) {
    Introduce();
    app::ConfigBlock block{};
    app::BuildConfigBlock("10.9.9.20", "00-1B-2C-3D-4E-5F", "Axis", block.data());
    EXPECT_EQ(device_->WriteConfig(block.data()), FT_OK);
    EXPECT_EQ(device_->SendDisconnect(), FT_OK);
    EXPECT_EQ(device_->SendPattern(), FT_OK);
    EXPECT_EQ(device_->SendValue(0x11223344u), FT_OK);
    EXPECT_EQ(device_->SendDisconnectValue(0x01020304u), FT_OK);

    const auto messages = Messages(5);
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages[0], testdata::AsBytes(testdata::kConfigurationMessage));
    EXPECT_EQ(messages[1], (Bytes{0x04, 0x00, 0x7C, 0x7C}));
    EXPECT_EQ(messages[2], (Bytes{0x08, 0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}));
    EXPECT_EQ(messages[3], (Bytes{0x08, 0x00, 0x6B, 0x6B, 0x44, 0x33, 0x22, 0x11}));
    EXPECT_EQ(messages[4],
              (Bytes{0x0C, 0x00, 0x7C, 0x7C, 0x04, 0x03, 0x02, 0x01, 0x88, 0x88, 0x88, 0x88}));
}

TEST_F(EnetDeviceTest, WriteBlocksSplitsIntoMessagesOfAtMost1024Bytes) {
    Introduce();
    Bytes data(2500);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i);
    std::uint32_t written = 0;
    EXPECT_EQ(device_->WriteBlocks(data.data(), 2500, &written), FT_OK);
    EXPECT_EQ(written, 2500u);
    EXPECT_EQ(device_->WriteBlocks(data.data(), 0, &written), FT_OK);
    EXPECT_EQ(written, 0u);

    const auto messages = Messages(4);
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0].size(), 1028u);
    EXPECT_EQ(messages[1].size(), 1028u);
    EXPECT_EQ(messages[2].size(), 456u);
    EXPECT_THAT(Bytes(messages[2].begin(), messages[2].begin() + 4),
                ElementsAre(0xC8, 0x01, 0x1F, 0x1F));
    EXPECT_EQ(Bytes(messages[1].begin() + 4, messages[1].end()),
              Bytes(data.begin() + 1024, data.begin() + 2048));
    EXPECT_EQ(messages[3], (Bytes{0x04, 0x00, 0x1F, 0x1F}));
}

TEST_F(EnetDeviceTest, FpgaUploadSendsBitReversedBytesAndFollowsTheBoardsCount) {
    Introduce();
    Bytes bitstream(2500);
    for (std::size_t i = 0; i < bitstream.size(); ++i)
        bitstream[i] = static_cast<std::uint8_t>(i * 3);
    ASSERT_EQ(device_->BeginFpgaUpload(2500), 0);

    std::thread boardThread([&] {
        const auto messages = Messages(3);
        ASSERT_EQ(messages.size(), 3u);
        EXPECT_EQ(messages[0].size(), 1028u);
        EXPECT_EQ(messages[2].size(), 456u);
        EXPECT_THAT(Bytes(messages[0].begin(), messages[0].begin() + 4),
                    ElementsAre(0x04, 0x04, 0xA5, 0xA5));
        for (std::size_t i = 0; i < 1024; ++i)
            ASSERT_EQ(messages[0][4 + i], kBitReversal[bitstream[i]]) << i;
        board_.SendRaw(port_, BoardDatagram(3, 0, {}, 2500));
    });
    std::uint32_t written = 0;
    EXPECT_EQ(device_->UploadFpga(bitstream.data(), 2500, &written), FT_OK);
    boardThread.join();
    EXPECT_EQ(written, 2500u);
    EXPECT_EQ(device_->EndFpgaUpload(), FT_OK);

    diag::RecordingUiPort::WindowRecord window;
    for (std::size_t i = 0; i < ui_.WindowCount(); ++i)
        if (ui_.Window(i).title == "FPGA Uploading") window = ui_.Window(i);
    EXPECT_TRUE(window.smooth);
    EXPECT_EQ(window.upper, 5000);
    ASSERT_GE(window.positions.size(), 4u);
    EXPECT_THAT(std::vector<int>(window.positions.begin(), window.positions.begin() + 3),
                ElementsAre(1024, 2048, 2500));
    EXPECT_EQ(window.positions.back(), 5000);
    EXPECT_TRUE(window.destroyed);
}

TEST_F(EnetDeviceTest, EmptyFpgaUploadSendsOneHeaderAndReturnsAtOnce) {
    Introduce();
    std::uint32_t written = 7;
    EXPECT_EQ(device_->UploadFpga(nullptr, 0, &written), FT_OK);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(Messages(1).at(0), (Bytes{0x04, 0x00, 0xA5, 0xA5}));
}

TEST_F(EnetDeviceTest, FpgaWaitEndsWhenTheBoardStopsCounting) {
    Introduce();
    ASSERT_EQ(device_->BeginFpgaUpload(10), 0);
    std::uint32_t written = 0;
    const Bytes bitstream(10, 0x01);
    EXPECT_EQ(device_->UploadFpga(bitstream.data(), 10, &written), FT_INVALID_HANDLE);
    EXPECT_EQ(written, 10u);
    ASSERT_EQ(ui_.Messages().size(), 1u);
    EXPECT_THAT(ui_.Messages()[0], HasSubstr("0 of 10"));
}

TEST_F(EnetDeviceTest, CallsOnAStoppedLinkSayTheServerIsNotRunning) {
    ASSERT_TRUE(device_->Stop());
    std::uint32_t written = 5;
    const std::uint8_t byte = 0;
    EXPECT_EQ(device_->FT_Write(&byte, 1, &written), FT_INVALID_HANDLE);
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(device_->SendDisconnect(), FT_INVALID_HANDLE);
    EXPECT_EQ(device_->FT_Purge(0), FT_INVALID_HANDLE);
    std::uint32_t read = 3;
    EXPECT_EQ(device_->ReadMessage(&written, 4, &read), FT_INVALID_HANDLE);
    EXPECT_EQ(read, 0u);
    EXPECT_THAT(ui_.Messages(),
                ElementsAre("FT_Write - Server is not running", "FT_Write - Server is not running",
                            "FT_Purge - Server is not running!"));
    EXPECT_EQ(device_->FT_ListDevices(nullptr, nullptr, 0), FT_INVALID_HANDLE);  // no BOOTP here
}

TEST(EnetDevice, DeletingAfterAFailedInitIsSafe) {
    diag::RecordingUiPort ui;
    os::UdpSocket holder;
    ASSERT_TRUE(holder.Open());
    ASSERT_TRUE(holder.Bind(0, 0));
    net::BoardContext context;
    DeviceServices services;
    services.bootp = false;
    services.tftpPort = 0;
    services.linkPort = holder.LocalPort();
    auto device = std::make_unique<EnetDevice>(&context, services);
    EXPECT_EQ(device->Init(), 0);
    device.reset();
}

TEST(EnetDevice, DelayOfZeroReturnsAtOnce) {
    net::BoardContext context;
    EnetDevice device(&context);
    EXPECT_EQ(device.DelayMicroseconds(0), 0u);
    EXPECT_EQ(device.DelayMicroseconds(50), 50000u);
}

TEST(StatusText, HeadingForKnownCodesAndAPlainTextOtherwise) {
    EXPECT_EQ(StatusText(0), "Enet Driver Error\r\n\r\nError = FT_OK (no error, success)");
    EXPECT_EQ(StatusText(18), "Enet Driver Error\r\n\r\nError = FT_OTHER_ERROR");
    EXPECT_EQ(StatusText(19), "Unknown Error Code!");
    EXPECT_EQ(StatusText(-1), "Unknown Error Code!");
}

TEST(BitReversal, MirrorsTheBitsOfEachByte) {
    EXPECT_EQ(kBitReversal[0x01], 0x80);
    EXPECT_EQ(kBitReversal[0x03], 0xC0);
    EXPECT_EQ(kBitReversal[0x0F], 0xF0);
    EXPECT_EQ(kBitReversal[0x12], 0x48);
    EXPECT_EQ(kBitReversal[0xFF], 0xFF);
    EXPECT_EQ(kBitReversal[0x00], 0x00);
    for (int value = 0; value < 256; ++value)
        EXPECT_EQ(kBitReversal[kBitReversal[value]], value);
}

}  // namespace
}  // namespace device
