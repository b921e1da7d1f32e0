#include "tools/board-sim/LinkOptions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace board_sim {
namespace {

using ::testing::HasSubstr;

std::optional<LinkOptions> Parse(std::vector<std::string> arguments,
                                 std::string* errorOut = nullptr) {
    std::string error;
    auto options = ParseLinkOptions(arguments, error);
    if (errorOut != nullptr) *errorOut = error;
    EXPECT_EQ(options.has_value(), error.empty()) << error;
    return options;
}

TEST(LinkOptions, DefaultsWithOnlyAServer) {
    const auto options = Parse({"--server", "127.0.0.1"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->serverPort, 5020);
    EXPECT_EQ(options->serverText, "127.0.0.1:5020");
    EXPECT_EQ(options->statusIntervalMs, 100u);
    EXPECT_EQ(options->durationMs, 60'000u);
    EXPECT_EQ(options->seed, 1u);
    EXPECT_EQ(options->faultRates.dropIncoming, 0.0);
    EXPECT_FALSE(options->silent);
    EXPECT_FALSE(options->exitAfterDisconnect);
}

TEST(LinkOptions, EveryOptionIsRead) {
    const auto options =
        Parse({"--server=127.3.2.1:6000", "--drop-rx", "0.25", "--drop-tx", "1", "--dup", "0.5",
               "--seed", "99", "--status-ms", "20", "--duration", "2.5", "--exit-after-disconnect",
               "--flash", "f.bin", "--record", "r.bin", "--silent"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->serverPort, 6000);
    EXPECT_EQ(options->serverText, "127.3.2.1:6000");
    EXPECT_EQ(options->faultRates.dropIncoming, 0.25);
    EXPECT_EQ(options->faultRates.dropOutgoing, 1.0);
    EXPECT_EQ(options->faultRates.duplicate, 0.5);
    EXPECT_EQ(options->seed, 99u);
    EXPECT_EQ(options->statusIntervalMs, 20u);
    EXPECT_EQ(options->durationMs, 2500u);
    EXPECT_TRUE(options->exitAfterDisconnect);
    EXPECT_EQ(options->flashPath, "f.bin");
    EXPECT_EQ(options->recordPath, "r.bin");
    EXPECT_TRUE(options->silent);
}

TEST(LinkOptions, OnlyLoopbackServersAreAccepted) {
    for (const char* server :
         {"10.0.0.1", "192.168.1.20:5020", "0.0.0.0", "255.255.255.255", "128.0.0.1", "8.8.8.8"}) {
        std::string error;
        EXPECT_FALSE(Parse({"--server", server}, &error)) << server;
        EXPECT_THAT(error, HasSubstr("loopback")) << server;
    }
    EXPECT_TRUE(Parse({"--server", "127.255.255.254:1"}));
}

// A board already at its address in its own namespace may reach another host of its
// /24 network, and nothing else.
TEST(LinkOptions, WithAnAddressOfItsOwnTheServerMayBeAnotherHostOfItsNetwork) {
    const auto options =
        Parse({"--interface", "veth1", "--address", "10.9.9.21", "--server", "10.9.9.1"});
    ASSERT_TRUE(options);
    EXPECT_EQ(options->interfaceName, "veth1");
    EXPECT_EQ(options->localAddressNetworkOrder, 0x1509090Au);
    EXPECT_EQ(options->serverText, "10.9.9.1:5020");
    EXPECT_TRUE(Parse({"--interface", "veth1", "--address", "10.9.9.21", "--server", "127.0.0.1"}));
    struct Case {
        std::vector<std::string> arguments;
        const char* says;
    };
    const std::vector<Case> refused = {
        {{"--interface", "veth1", "--address", "10.9.9.21", "--server", "10.9.8.1"}, "loopback"},
        {{"--interface", "veth1", "--address", "10.9.9.21", "--server", "10.9.9.21"}, "loopback"},
        {{"--interface", "veth1", "--address", "10.9.9.21", "--server", "10.9.9.255"}, "loopback"},
        {{"--interface", "veth1", "--address", "10.9.9.21", "--server", "10.9.9.0"}, "loopback"},
        {{"--address", "10.9.9.21", "--server", "10.9.9.1"}, "--interface"},
        {{"--interface", "veth1", "--server", "10.9.9.1"}, "--address"},
        {{"--interface", "veth1", "--address", "127.0.0.2", "--server", "127.0.0.1"}, "host"},
        {{"--interface", "veth1", "--address", "224.0.0.5", "--server", "127.0.0.1"}, "host"},
        {{"--interface", "veth1", "--address", "10.9.9.255", "--server", "127.0.0.1"}, "host"},
        {{"--interface", "veth1", "--address", "10.9.9", "--server", "127.0.0.1"}, "host"},
    };
    for (const Case& c : refused) {
        std::string error;
        EXPECT_FALSE(Parse(c.arguments, &error)) << ::testing::PrintToString(c.arguments);
        EXPECT_THAT(error, HasSubstr(c.says)) << ::testing::PrintToString(c.arguments);
    }
}

TEST(LinkOptions, MalformedValuesAreRefused) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--server", "localhost"},
        {"--server", "127.1"},
        {"--server", "127.0.0.1:0"},
        {"--server", "127.0.0.1:65536"},
        {"--server", "127.0.0.1:"},
        {"--server", "127.0.0.1", "--drop-rx", "1.5"},
        {"--server", "127.0.0.1", "--drop-tx", "-0.1"},
        {"--server", "127.0.0.1", "--dup", "half"},
        {"--server", "127.0.0.1", "--seed", "-1"},
        {"--server", "127.0.0.1", "--status-ms", "0"},
        {"--server", "127.0.0.1", "--duration", "0"},
        {"--server", "127.0.0.1", "--duration", "nan"},
        {"--server", "127.0.0.1", "--duration", "100000"},
        {"--server", "127.0.0.1", "--bogus"},
        {"--server"},
    };
    for (const auto& arguments : cases) {
        std::string error;
        EXPECT_FALSE(Parse(arguments, &error)) << ::testing::PrintToString(arguments);
        EXPECT_FALSE(error.empty());
    }
}

TEST(LinkOptions, HelpNeedsNothingElse) {
    const auto options = Parse({"--help"});
    ASSERT_TRUE(options);
    EXPECT_TRUE(options->help);
}

}  // namespace
}  // namespace board_sim
