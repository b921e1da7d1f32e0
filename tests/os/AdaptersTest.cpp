#include "os/adapters.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "os/inet_addr.h"

namespace os {
namespace {

TEST(Adapters, NoRoomMakesTheQueryAskForTheRoomItNeeds) {
    std::vector<AdapterInfo> adapters;
    std::uint32_t needed = 0;
    const std::uint32_t error = ListAdapters(0, adapters, needed);
    if (error == kErrorNoData) GTEST_SKIP() << "this computer lists no adapter";
    ASSERT_EQ(error, kErrorBufferOverflow);
    EXPECT_GE(needed, 1u);
    EXPECT_TRUE(adapters.empty());
}

TEST(Adapters, ListedAdaptersCarryNameIndexAndAnAddressTextButNeverLoopback) {
    std::vector<AdapterInfo> adapters;
    std::uint32_t needed = 0;
    std::uint32_t error = ListAdapters(0, adapters, needed);
    if (error == kErrorNoData) GTEST_SKIP() << "this computer lists no adapter";
    ASSERT_EQ(error, kErrorBufferOverflow);
    error = ListAdapters(needed, adapters, needed);
    ASSERT_EQ(error, 0u);
    ASSERT_FALSE(adapters.empty());
    for (const AdapterInfo& adapter : adapters) {
        EXPECT_NE(adapter.name[0], '\0');
        EXPECT_NE(adapter.index, 0u) << adapter.name;
        EXPECT_LE(adapter.hardwareAddressLength, sizeof adapter.hardwareAddress);
        EXPECT_NE(InetAddr(adapter.ipAddress), kInaddrNone) << adapter.ipAddress;
        EXPECT_STRNE(adapter.ipAddress, "127.0.0.1") << adapter.name;
    }
}

TEST(Adapters, InterfaceCountAndHostNameAreAvailable) {
    std::uint32_t count = 12345;
    EXPECT_EQ(NumberOfInterfaces(count), 0u);
    EXPECT_NE(count, 12345u);
    char name[257] = "";
    EXPECT_EQ(HostName(name, 256), 0);
    EXPECT_GT(std::strlen(name), 0u);
}

}  // namespace
}  // namespace os
