#include "net/CArp.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/net/CArpTestTable.h"

namespace net {
namespace {

using testing::ArpRow;
using testing::LogLines;

const std::vector<std::uint8_t> kBoardMac = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e};

class ArpTest : public ::testing::Test {
  protected:
    CArp arp_{[this](std::uint8_t* buffer, std::uint32_t capacity) {
        ++reads_;
        if (failLoad_) {
            std::memset(buffer, 0xAB, 64);  // a failed load may leave anything behind
            return os::kErrorInsufficientBuffer;
        }
        return testing::WriteArpTable(rows_, buffer, capacity);
    }};
    std::vector<ArpRow> rows_;
    bool failLoad_ = false;
    int reads_ = 0;
    LogLines log_;
    char text_[128] = "10.9.9.100";
};

TEST_F(ArpTest, MacTextIsLowerCaseHexWithSingleBlanks) {
    EXPECT_STREQ(arp_.MacText(kBoardMac.data(), 6), "00 1a 2b 3c 4d 5e");
    EXPECT_STREQ(arp_.MacText(kBoardMac.data(), 0), "");
    const std::vector<std::uint8_t> many(60, 0xFF);
    const std::string cut = arp_.MacText(many.data(), 60);
    EXPECT_EQ(cut.size(), static_cast<std::size_t>(CArp::kMaxTextBytes * 3 - 1));
}

TEST_F(ArpTest, KnownAddressYieldsItsIpThenTheTableIsReloadedAndPrinted) {
    rows_ = {{7, kBoardMac, "10.9.9.20", os::kArpTypeStatic}};
    arp_.SetAdapter(3);
    const int readsBefore = reads_;
    EXPECT_EQ(arp_.GetNewAddress(kBoardMac.data(), 6, text_), CArp::kFound);
    EXPECT_STREQ(text_, "10.9.9.20");
    EXPECT_EQ(reads_, readsBefore + 1);
    EXPECT_TRUE(log_.Has("CArp::GetNewAddress(3) - Looking for IP for MAC 00 1a 2b 3c 4d 5e"));
    EXPECT_TRUE(log_.Has("CArp::LookForAddr - Looking for 00 1a 2b : 3c 4d 5e in ARP Table"));
    EXPECT_TRUE(log_.Has("CArp::LookForAddr - 00 1a 2b 3c 4d 5e already entered as 10.9.9.20"));
    EXPECT_TRUE(
        log_.Has("CArp::GetNewAddress MAC 00 1a 2b 3c 4d 5e already has IP 10.9.9.20 "
                 "located at position 0 in ARP table"));
    EXPECT_TRUE(log_.Has("ARP Table"));
    EXPECT_TRUE(log_.Has("Index\tIpAddr     \tMAC_Addr        \tType"));
    EXPECT_TRUE(log_.Has("7\t10.9.9.20\t00 1a 2b 3c 4d 5e\t4"));
}

TEST_F(ArpTest, AmongDuplicatesTheFirstInTableOrderWinsWhateverAdapterOrType) {
    rows_ = {{9, kBoardMac, "10.9.9.20", os::kArpTypeInvalid},
             {2, kBoardMac, "10.9.9.30", os::kArpTypeDynamic}};
    arp_.SetAdapter(2);
    EXPECT_EQ(arp_.GetNewAddress(kBoardMac.data(), 6, text_), CArp::kFound);
    EXPECT_STREQ(text_, "10.9.9.20");
}

TEST_F(ArpTest, EntriesOfAnotherLengthEachLogAMismatchAndNeverMatch) {
    rows_ = {{1, {}, "10.9.9.5", os::kArpTypeInvalid},
             {1, {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e, 0, 0}, "10.9.9.6", os::kArpTypeDynamic}};
    arp_.SetAdapter(1);
    EXPECT_EQ(arp_.GetNewAddress(kBoardMac.data(), 6, text_), CArp::kNotFound);
    EXPECT_STREQ(text_, "10.9.9.100");
    EXPECT_EQ(log_.Count("CArp::LookForAddr - PhysAddrLength mismatch 6 != 0"), 1);
    EXPECT_EQ(log_.Count("CArp::LookForAddr - PhysAddrLength mismatch 6 != 8"), 1);
}

TEST_F(ArpTest, EmptyTableLogsItOnSearchAndWhenFirstPrinted) {
    arp_.SetAdapter(1);
    EXPECT_EQ(log_.Count("ARP Table is empty"), 1);  // loaded
    log_.Clear();
    EXPECT_EQ(arp_.GetNewAddress(kBoardMac.data(), 6, text_), CArp::kNotFound);
    EXPECT_EQ(log_.Count("CArp::LookForAddr - ARP Table is empty"), 1);
    EXPECT_EQ(log_.Count("ARP Table is empty"), 1);  // reloaded the same, printed once
    EXPECT_FALSE(arp_.Print());
}

// A host asking again and again (a stranger's DHCP client) reloads the table each time;
// it is written to the log only when it changed, the length mismatches with it.
TEST_F(ArpTest, TheTableIsLoggedWhenItChangesNotPerRequest) {
    rows_ = {{1, {}, "10.9.9.5", os::kArpTypeInvalid}, {1, kBoardMac, "10.9.9.20"}};
    arp_.SetAdapter(1);
    arp_.Print();  // as the interfaces are detected
    const std::vector<std::uint8_t> stranger = {0x06, 0x11, 0x22, 0x33, 0x44, 0x55};
    for (int request = 0; request < 5; ++request)
        EXPECT_EQ(arp_.GetNewAddress(stranger.data(), 6, text_), CArp::kNotFound);
    EXPECT_EQ(log_.Count("ARP Table"), 1);
    EXPECT_EQ(log_.Count("CArp::LookForAddr - PhysAddrLength mismatch 6 != 0"), 1);
    EXPECT_EQ(log_.Count("CArp::GetNewAddress(1) - Looking for IP for MAC 06 11 22 33 44 55"), 5);

    rows_.push_back({1, stranger, "10.9.9.30"});
    EXPECT_EQ(arp_.GetNewAddress(stranger.data(), 6, text_), CArp::kNotFound);  // old table
    EXPECT_EQ(log_.Count("ARP Table"), 2);
    EXPECT_EQ(log_.Count("1\t10.9.9.30\t06 11 22 33 44 55\t3"), 1);
    EXPECT_EQ(arp_.GetNewAddress(stranger.data(), 6, text_), CArp::kFound);
    EXPECT_STREQ(text_, "10.9.9.30");
    EXPECT_EQ(log_.Count("ARP Table"), 2);
    EXPECT_EQ(log_.Count("CArp::LookForAddr - PhysAddrLength mismatch 6 != 0"), 2);
}

TEST_F(ArpTest, LengthAboveEightYieldsNotFoundWithoutSearchOrReload) {
    rows_ = {{1, kBoardMac, "10.9.9.20"}};
    arp_.SetAdapter(1);
    const int readsBefore = reads_;
    const std::uint8_t nine[9] = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e, 1, 2, 3};
    EXPECT_EQ(arp_.GetNewAddress(nine, 9, text_), CArp::kNotFound);
    EXPECT_EQ(reads_, readsBefore);
    EXPECT_TRUE(
        log_.Has("CArp::GetNewAddress(1) - Looking for IP for MAC 00 1a 2b 3c 4d 5e 01 02 03"));
    EXPECT_FALSE(log_.HasSubstring("CArp::LookForAddr"));
}

TEST_F(ArpTest, WithoutAnAdapterTheIndexIsReportedInvalid) {
    EXPECT_EQ(arp_.GetNewAddress(kBoardMac.data(), 6, text_), CArp::kNotFound);
    EXPECT_TRUE(log_.Has("CArp::GetNewAddress - Invalid Adapter Index -1"));
    EXPECT_EQ(reads_, 0);
}

TEST_F(ArpTest, FailedLoadReadsAsAnEmptyTable) {
    rows_ = {{1, kBoardMac, "10.9.9.20"}};
    failLoad_ = true;
    arp_.SetAdapter(1);
    EXPECT_EQ(arp_.EntryCount(), 0u);
    EXPECT_TRUE(log_.Has("ARP Table is empty"));
    EXPECT_EQ(arp_.GetNewAddress(kBoardMac.data(), 6, text_), CArp::kNotFound);
}

}  // namespace
}  // namespace net
