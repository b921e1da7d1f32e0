// The device's handling of one board datagram, whatever its bytes and length.
// Properties: the payload queued is exactly the datagram's bytes from 108 on, as many
// as its length field says but never past its end; the values read are the
// datagram's own (0 where it is too short to hold them).
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "app/firmware_image.h"
#include "device/EnetDevice.h"
#include "diag/CLog.h"
#include "fuzz/FuzzReader.h"
#include "os/byte_order.h"

namespace {

std::uint32_t ValueAt(const std::uint8_t* data, std::size_t size, int offset) {
    const auto at = static_cast<std::size_t>(offset);
    return at + 4 <= size ? os::load_le32(data + at) : 0;
}

device::EnetDevice& Device() {
    static net::BoardContext context;
    static device::EnetDevice device(&context);  // never started: no socket, no thread
    return device;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    diag::theLog.SetConsole(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > static_cast<std::size_t>(net::kMaxDatagramSize)) return 0;  // the socket's limit
    device::EnetDevice& device = Device();
    std::vector<std::uint8_t> datagram(data, data + size);  // exactly as long as received
    int length = static_cast<int>(size);
    const int stored = device.OnDatagram(datagram.data(), length);

    const std::size_t available =
        size > static_cast<std::size_t>(device::kPayloadOffset) ? size - device::kPayloadOffset : 0;
    const std::size_t expected =
        std::min<std::size_t>(ValueAt(data, size, device::kPayloadLengthOffset), available);
    std::vector<std::uint8_t> payload(net::kMaxDatagramSize);
    int read = static_cast<int>(payload.size());
    const bool queued = device.Receive(payload.data(), read);
    if (expected == 0) {
        FUZZ_CHECK(stored == 0);
        FUZZ_CHECK(!queued);
    } else {
        FUZZ_CHECK(stored == 1);
        FUZZ_CHECK(queued && static_cast<std::size_t>(read) == expected);
        FUZZ_CHECK(std::memcmp(payload.data(), data + device::kPayloadOffset, expected) == 0);
    }
    device::DeviceStatus polled;
    device.PollStatus(polled);
    for (int i = 0; i < device::kBoardValueCount; ++i)
        FUZZ_CHECK(polled.boardValues[i] == ValueAt(data, size, device::kBoardValueOffsets[i]));
    FUZZ_CHECK(device.LastHeadValue() == ValueAt(data, size, device::kLastHeadValueOffset));
    return 0;
}
