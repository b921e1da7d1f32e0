#include <gtest/gtest.h>

#include "ui/cli/JsonText.h"

namespace cli {
namespace {

TEST(JsonText, UnicodeStaysAndControlCharactersAreEscaped) {
    EXPECT_EQ(JsonText("Achse \xC3\x9C \xE2\x82\xAC \xF0\x9F\x98\x80"),
              "\"Achse \xC3\x9C \xE2\x82\xAC \xF0\x9F\x98\x80\"");
    EXPECT_EQ(JsonText("a\"b\\c\nd\te\x01\x7F"), "\"a\\\"b\\\\c\\nd\\u0009e\\u0001\\u007f\"");
}

// Whatever bytes a nickname holds, the output stays JSON: each byte that does not
// begin a well-formed UTF-8 sequence becomes U+FFFD.
TEST(JsonText, BytesThatAreNotUtf8BecomeReplacementCharacters) {
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(JsonText("\xFF"), "\"" + replacement + "\"");
    EXPECT_EQ(JsonText("a\xC3"), "\"a" + replacement + "\"");                  // cut short
    EXPECT_EQ(JsonText("\xC0\xAF"), "\"" + replacement + replacement + "\"");  // overlong
    EXPECT_EQ(JsonText("\xED\xA0\x80"), "\"" + replacement + replacement + replacement + "\"");
    EXPECT_EQ(JsonText("\xF4\x90\x80\x80x").substr(0, 4), "\"" + replacement);  // above U+10FFFF
}

TEST(JsonText, ObjectsAndListsJoinTheirValues) {
    EXPECT_EQ(JsonObject().Add("a", "1").Add("b", JsonList({"2", "\"x\""})).Text(),
              "{\"a\":1,\"b\":[2,\"x\"]}");
    EXPECT_EQ(JsonObject().Text(), "{}");
    EXPECT_EQ(JsonList({}), "[]");
}

}  // namespace
}  // namespace cli
