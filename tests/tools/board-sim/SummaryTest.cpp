#include "tools/board-sim/Summary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/tools/board-sim/link_datagrams.h"
#include "tools/board-sim/BoardLink.h"
#include "tools/board-sim/BoardMode.h"
#include "tools/board-sim/BootpMode.h"
#include "tools/board-sim/TftpMode.h"

namespace board_sim {
namespace {

using testing::Datagram;
using ::testing::HasSubstr;
using testing::Message;

TEST(Summary, BeforeAnyTrafficOptionalValuesAreNullAndEveryCommandIsListed) {
    const BoardLink link;
    const FaultInjector faults({}, 1);
    const Flash flash;
    const TrafficCounts traffic;
    const std::string json = Summary(link.Counters(), faults, flash, traffic).ToJson();
    EXPECT_EQ(json.rfind("{\"mode\":\"link\",", 0), 0u) << json;
    EXPECT_EQ(json.back(), '}');
    EXPECT_THAT(json, HasSubstr("\"last_config_block\":null"));
    EXPECT_THAT(json, HasSubstr("\"config_crc_ok\":null"));
    EXPECT_THAT(json, HasSubstr("\"first_message_retries\":null"));
    EXPECT_THAT(json, HasSubstr("\"messages_by_command\":{\"0x8E8E\":0,\"0x7C7C\":0,\"0x6B6B\":0,"
                                "\"0x3412\":0,\"0x1F1F\":0,\"0xA5A5\":0,\"unparsed\":0}"));
    EXPECT_EQ(json.find('\n'), std::string::npos);
}

TEST(Summary, ReportsWhatTheLinkSaw) {
    BoardLink link;
    const app::ConfigBlock block = testing::SampleConfigBlock();
    link.Receive(Datagram(1, 1, testing::ConfigWrite(block)));
    link.Receive(Datagram(1, 3, testing::ConfigWrite(block)));
    link.Receive(Datagram(2, 0, testing::Bytes{7, 7, 7}));
    link.Receive(Datagram(9, 0, testing::Bytes{7}));
    link.Receive(Datagram(3, 0, Message(kCommandDisconnect)));
    testing::Bytes badType = Datagram(4, 0, testing::Bytes{1});
    badType[kHeaderTypeOffset] = 1;
    link.Receive(badType);

    FaultInjector faults({1.0, 0.0, 0.0}, 1);
    faults.DropIncoming();
    faults.DropIncoming();
    Flash flash;
    flash.Store(block);
    TrafficCounts traffic;
    traffic.datagramsReceived = 8;
    traffic.datagramsSent = 11;

    const std::string json = Summary(link.Counters(), faults, flash, traffic).ToJson();
    for (const char* field :
         {"\"datagrams_received\":8,", "\"datagrams_sent\":11,", "\"messages_accepted\":3,",
          "\"0x8E8E\":1,", "\"0x7C7C\":1,", "\"unparsed\":1}", "\"duplicates_dropped\":1,",
          "\"dropped_rx\":2,", "\"dropped_tx\":0,", "\"duplicated\":0,",
          "\"header_violations\":{\"total\":2,\"length\":0,\"check\":0,\"type\":1,\"ack\":0,"
          "\"seq\":1,\"retries\":0}",
          "\"message_violations\":0,", "\"max_retries_seen\":3,", "\"first_message_retries\":1,",
          "\"config_crc_ok\":true", "\"first_seq\":1,"}) {
        EXPECT_THAT(json, HasSubstr(field));
    }
    const std::string key = "\"last_config_block\":\"";
    const std::size_t hexStart = json.find(key) + key.size();
    ASSERT_NE(json.find(key), std::string::npos);
    const std::string hex = json.substr(hexStart, json.find('"', hexStart) - hexStart);
    ASSERT_EQ(hex.size(), 2048u);
    char first[3];
    std::snprintf(first, sizeof first, "%02x", block[0]);
    EXPECT_EQ(hex.substr(0, 2), first);
    EXPECT_EQ(hex.substr(160), std::string(2048 - 160, 'f'));
}

TEST(Summary, StringsWithQuotesBackslashesAndControlCharactersStayValidJson) {
    const std::string awkward = "d:\\\"odd\" name\t\x01\n";
    TftpOptions tftp;
    tftp.fileName = awkward;
    BootpOptions bootp;
    bootp.interfaceName = awkward;
    const std::string tftpLine = TftpMode(tftp, stdout, stderr).SummaryJson();
    const std::string bootpLine = BootpMode(bootp, stdout, stderr).SummaryJson();
    const std::string numbered = WithBoardNumber(tftpLine, 4);
    for (const std::string& line : {tftpLine, bootpLine, numbered}) {
        EXPECT_EQ(line.find('\n'), std::string::npos) << line;
        EXPECT_TRUE(nlohmann::json::accept(line)) << line;
    }
    EXPECT_EQ(nlohmann::json::parse(tftpLine)["file"], awkward);
    EXPECT_EQ(nlohmann::json::parse(bootpLine)["interface"], awkward);
    EXPECT_EQ(nlohmann::json::parse(numbered)["file"], awkward);
    EXPECT_EQ(nlohmann::json::parse(numbered)["board"], 4);

    // Bytes that are not UTF-8 are replaced, not thrown on nor passed through.
    tftp.fileName = "a\xff\xfe.bin";
    const std::string replaced = TftpMode(tftp, stdout, stderr).SummaryJson();
    EXPECT_TRUE(nlohmann::json::accept(replaced)) << replaced;
}

}  // namespace
}  // namespace board_sim
