// A board asking again comes up at the address its stored block holds.
#include "tools/board-sim/AskingAgain.h"

#include <gtest/gtest.h>

#include "app/config_block.h"

namespace board_sim {
namespace {

TEST(AskingAgain, ComesUpAtTheAddressOfItsStoredBlock) {
    for (const char* ip : {"10.9.9.21", "192.168.1.250", "1.2.3.4"}) {
        app::ConfigBlock block{};
        app::BuildConfigBlock(ip, "", "Axis", block.data());
        EXPECT_EQ(DottedAddress(ConfiguredAddress(block)), ip);
    }
}

}  // namespace
}  // namespace board_sim
