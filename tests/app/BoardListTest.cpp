// The list of boards and the report of a run: what spreadsheets write is read, every
// bad row is found with its line before a board is touched, and the report reads
// back as the rows it was written from.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/BoardList.h"
#include "app/BoardReport.h"
#include "app/CsvTable.h"
#include "tests/support/AddressTexts.h"

namespace app {
namespace {

std::vector<BoardRow> Rows(const std::string& text) {
    std::string error;
    const auto rows = BoardList::Parse(text, "boards.csv", error);
    EXPECT_TRUE(rows) << error;
    return rows.value_or(std::vector<BoardRow>{});
}

std::string Refusal(const std::string& text) {
    std::string error;
    EXPECT_FALSE(BoardList::Parse(text, "boards.csv", error));
    return error;
}

TEST(CsvTable, QuotedFieldsKeepCommasQuotesAndLineBreaksAndLinesAreCounted) {
    std::string error;
    const auto records = ParseCsv(
        "\xEF\xBB\xBFip,nickname\r\n10.9.9.21,\"Axis, \"\"X\"\"\"\r\n\r\n10.9.9.22,\"two\nlines\"\n"
        "10.9.9.23,last",
        error);
    ASSERT_TRUE(records) << error;
    ASSERT_EQ(records->size(), 4u);
    EXPECT_EQ((*records)[0].fields, (std::vector<std::string>{"ip", "nickname"}));
    EXPECT_EQ((*records)[1].fields[1], "Axis, \"X\"");
    EXPECT_EQ((*records)[2].line, 4);
    EXPECT_EQ((*records)[2].fields[1], "two\nlines");
    EXPECT_EQ((*records)[3].line, 6);
    EXPECT_EQ((*records)[3].fields[1], "last");
}

TEST(CsvTable, MalformedQuotingNamesItsLine) {
    std::string error;
    EXPECT_FALSE(ParseCsv("ip\n10.9.9.21\n\"open\n\n", error));
    EXPECT_EQ(error, "line 3: a quoted field is never closed");
    EXPECT_FALSE(ParseCsv("ip\nab\"c\n", error));
    EXPECT_EQ(error, "line 2: a quote inside a field not in quotes");
    EXPECT_FALSE(ParseCsv("ip\n\"a\"b\n", error));
    EXPECT_EQ(error, "line 2: text after a closing quote");
}

TEST(CsvTable, WrittenLinesReadBackAsTheirFields) {
    const std::vector<std::string> fields = {"plain", "with, comma", "with \"quote\"", "two\nlines",
                                             ""};
    std::string error;
    const auto records = ParseCsv(CsvLine(fields) + "\n", error);
    ASSERT_TRUE(records) << error;
    ASSERT_EQ(records->size(), 1u);
    EXPECT_EQ(records->front().fields, fields);
}

TEST(CsvTable, FieldsASpreadsheetWouldRunAreWrittenAsTextAndReadBackUnchanged) {
    EXPECT_EQ(CsvLine({"=1+1", "a=b", "-5", "'=x"}), "\"'=1+1\",a=b,\"'-5\",\"''=x\"");
    const std::vector<std::string> fields = {
        "=HYPERLINK(\"x\")", "+1",     "-", "@SUM(A1)",   "\tx", "\rx", "'=x",
        "''+y, z",           "'plain", "'", "=a,\"b\"\nc"};
    std::string error;
    const auto records = ParseCsv(CsvLine(fields) + "\n", error);
    ASSERT_TRUE(records) << error;
    ASSERT_EQ(records->size(), 1u);
    EXPECT_EQ(records->front().fields, fields);
    // Only a quoted field loses its apostrophe: one typed into a plain list stays.
    EXPECT_EQ(ParseCsv("'=x,\"'=y\"\n", error)->front().fields,
              (std::vector<std::string>{"'=x", "=y"}));
}

TEST(BoardList, ClearedRowsAreSkippedAndTheRowsCountedWithoutThem) {
    const auto rows = Rows("ip,mac,nickname\n10.9.9.21,,a\n,,\n , ,\t\n10.9.9.22,,b\n,,\n");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].row, 2);
    EXPECT_EQ(rows[1].line, 5);
    EXPECT_EQ(Refusal("ip,mac,nickname\n,,\n,,\n"),
              "boards.csv: no boards are listed below the header row");
}

TEST(BoardList, ControlBytesInAFieldAreRefusedWithTheLine) {
    const std::string header = "ip,mac,nickname\n";
    EXPECT_EQ(Refusal(header + "10.9.9.21,,Axis\x01\n"),
              "boards.csv line 2: the nickname field holds the control byte 0x01 at character 5; "
              "a field may hold no bytes below 0x20");
    EXPECT_EQ(Refusal(header + "10.9.9.21,,a\n10.9.9.22,,\"Axis\t2\"\n").substr(0, 48),
              "boards.csv line 3: the nickname field holds the ");
    EXPECT_NE(Refusal(header + std::string("10.9.9.21,,ab\0c\n", 17)).find("0x00 at character 3"),
              std::string::npos);
    EXPECT_NE(Refusal(header + "10.9.9.21,,\"two\nlines\"\n").find("line 2: the nickname"),
              std::string::npos);
    EXPECT_NE(Refusal(std::string("\xFF\xFEi\0p\0\n", 7))
                  .find("line 1: field 1 holds the "
                        "control byte 0x00"),
              std::string::npos);
}

TEST(BoardList, AddressTextsAreCheckedAsTheyStand) {
    for (const test::AddressText& ip : test::kIpTexts) {
        std::string error;
        const auto rows = BoardList::Parse("ip\n" + std::string(ip.text) + "\n", "b.csv", error);
        EXPECT_EQ(rows.has_value(), ip.valid) << '"' << ip.text << '"';
        if (!ip.valid) {
            EXPECT_NE(error.find("b.csv line 2: "), std::string::npos) << error;
            EXPECT_NE(error.find("IP address \"" + std::string(ip.text) + '"'), std::string::npos)
                << error;
        }
    }
    for (const test::AddressText& mac : test::kMacTexts) {
        std::string error;
        const auto rows =
            BoardList::Parse("ip,mac\n10.9.9.21," + std::string(mac.text) + "\n", "b.csv", error);
        EXPECT_EQ(rows.has_value(), mac.valid) << '"' << mac.text << '"';
        if (!mac.valid) {
            EXPECT_NE(error.find("MAC address \"" + std::string(mac.text) + '"'), std::string::npos)
                << error;
        }
    }
}

TEST(BoardList, ColumnsInAnyOrderAndEmptyFieldsTakeTheDefaults) {
    const auto rows = Rows("Nickname , IP,mac\nAxis 1,10.9.9.21,00-1B-2C-3D-4E-5F\n,10.9.9.22,\n");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].row, 1);
    EXPECT_EQ(rows[0].line, 2);
    EXPECT_EQ(rows[0].fields.ip, "10.9.9.21");
    EXPECT_EQ(rows[0].fields.mac, "00-1B-2C-3D-4E-5F");
    EXPECT_EQ(rows[0].fields.nickname, "Axis 1");
    EXPECT_EQ(rows[1].fields.mac, kDefaultMacText);
    EXPECT_EQ(rows[1].fields.nickname, kDefaultNicknameText);

    const auto ipOnly = Rows("ip\n10.9.9.21\n");
    ASSERT_EQ(ipOnly.size(), 1u);
    EXPECT_EQ(ipOnly[0].fields.mac, kDefaultMacText);
}

TEST(BoardList, EveryBadRowIsRefusedWithItsLine) {
    const std::string header = "ip,mac,nickname\n";
    EXPECT_EQ(Refusal(header + "10.9.9.21,,a\n\n10.9.9.300,,b\n").substr(0, 23),
              "boards.csv line 4: The ");
    EXPECT_NE(Refusal(header + "10.9.9.21,00-1B,a\n").find("line 2: The server MAC address"),
              std::string::npos);
    EXPECT_EQ(Refusal(header + "10.9.9.21,,a\n10.9.9.21,,b\n"),
              "boards.csv line 3: the IP address 10.9.9.21 is already given to the board of "
              "line 2");
    EXPECT_EQ(Refusal(header + ",,a\n"), "boards.csv line 2: the IP address is empty");
    EXPECT_EQ(Refusal(header + "10.9.9.21,,a,extra\n"),
              "boards.csv line 2: the row has 4 fields and the header 3");
    EXPECT_NE(Refusal(header + "10.9.9.21,," + std::string(64, 'n') + "\n")
                  .find("line 2: the nickname \""),
              std::string::npos);
    EXPECT_NE(Refusal(header + "10.9.9.210000000,,a\n").find("longer than 15 characters"),
              std::string::npos);
}

TEST(BoardList, AHeaderWithoutTheColumnsOrWithoutRowsIsRefused) {
    EXPECT_EQ(Refusal("mac,nickname\n,a\n"),
              "boards.csv line 1: the header has no column \"ip\" (the columns are ip, mac and "
              "nickname)");
    EXPECT_EQ(Refusal("ip,adress\n10.9.9.21,x\n"),
              "boards.csv line 1: the header names a column \"adress\"; the columns are ip, mac "
              "and nickname");
    EXPECT_EQ(Refusal("ip,IP\n"), "boards.csv line 1: the header names the column \"ip\" twice");
    EXPECT_EQ(Refusal("ip,mac,nickname\n"),
              "boards.csv: no boards are listed below the header row");
    EXPECT_EQ(Refusal(""),
              "boards.csv: the file is empty; it needs a header row and a row per board");
}

TEST(BoardReport, EveryRowIsWrittenTheUnreachedAsNotRunAndReadsBack) {
    auto rows = Rows("ip,mac,nickname\n10.9.9.21,,\"Axis, 1\"\n10.9.9.22,,=cmd|' /C calc'!A0\n");
    std::vector<BoardResult> results(2);
    results[0].board = rows[0];
    results[0].outcome = "programmed";
    results[0].hardwareAddress = "02-00-00-00-0C-01";
    results[0].bootpAddress = "10.9.9.100";
    results[0].msFromAddressToResult = 1705;
    results[1].board = rows[1];

    std::string error;
    const auto records = ParseCsv(BoardReport::Csv(results), error);
    ASSERT_TRUE(records) << error;
    ASSERT_EQ(records->size(), 3u);
    EXPECT_EQ(CsvLine((*records)[0].fields), BoardReport::kHeader);
    EXPECT_EQ((*records)[1].fields,
              (std::vector<std::string>{"1", "02-00-00-00-0C-01", "10.9.9.100", "10.9.9.21",
                                        kDefaultMacText, "Axis, 1", "programmed", "1.705"}));
    EXPECT_EQ((*records)[2].fields,
              (std::vector<std::string>{"2", "", "", "10.9.9.22", kDefaultMacText,
                                        "=cmd|' /C calc'!A0", "not-run", ""}));
    EXPECT_NE(BoardReport::Csv(results).find(",\"'=cmd|' /C calc'!A0\","), std::string::npos);
}

}  // namespace
}  // namespace app
