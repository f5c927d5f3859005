#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "capabilities/CameraReply.h"

using namespace korvane;

namespace {

TEST(CameraReply, ValuesOfInformationReplies)
{
    // Reply, key, value.
    const std::tuple<const char*, const char*, const char*> cases[] = {
        // The key must match the whole line name.
        {"a.b:=1\r\nb:=2\r\n", "b", "2"},
        {"a.b:=1\r\nb:=2\r\n", "a.b", "1"},
        {"c.1.pan.speed.min:=1\r\nc.1.pan:=on\r\n", "c.1.pan", "on"},
        {"x:=b\r\nb:=3", "b", "3"},  // an occurrence inside a value is skipped
        {"B:=1\r\n", "b", ""},       // case-sensitive
        {"bb:=1\r\n", "b", ""},
        // The value is everything after the first separator of its line.
        {"s.hardware:=Canon VB:=H41\r\n", "s.hardware", "Canon VB:=H41"},
        {"  key \t:= padded value \r\n", "key", " padded value "},
        {"key:=", "key", ""},
        {"key:=last", "key", "last"},
        {"first:=1\nkey:=lf only\rnext:=3", "key", "lf only"},
        // Missing keys and separators give empty values.
        {"", "key", ""},
        {"key\r\n:=1\r\n", "key", ""},  // separator on the next line
        {"key=1\r\n", "key", ""},
    };
    for (const auto& [reply, key, value] : cases)
        EXPECT_EQ(GetValue(reply, key, kInfoSeparator, kReplyLineSeparators), value) << reply;
    EXPECT_EQ(GetValue("key:=1", "", ":=", "\r\n"), "");
    EXPECT_EQ(GetValue("key:=1", "key", "", "\r\n"), "");
    EXPECT_EQ(GetValue("key:=1", "key", ":=", ""), "");
    EXPECT_EQ(GetValue("Valra02=00%3A1e\r\n", "Valra02", kSettingsSeparator, kReplyLineSeparators), "00%3A1e");

    // Numbers are the leading decimal digits.
    const std::string reply = "a:=12\r\nb:=\r\nc:=abc\r\nd:= 7 \r\ne:=3 (mono)\r\nf:=-1\r\ng:=99999999999\r\n";
    const std::pair<const char*, uint32_t> numbers[] = {{"a", 12u}, {"b", 0u}, {"c", 0u}, {"d", 7u}, {"e", 3u},
                                                        {"f", 0u},  {"g", 0xFFFFFFFFu}, {"missing", 0u}};
    for (const auto& [key, number] : numbers)
        EXPECT_EQ(GetUIntValue(reply, key, kInfoSeparator, kReplyLineSeparators), number) << key;
}

TEST(CameraReply, SplitsSettingsTypesAndRequests)
{
    EXPECT_EQ(Split("a,b,c", ','), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(Split("a,,b,", ','), (std::vector<std::string>{"a", "", "b", ""}));  // empty pieces are kept
    EXPECT_EQ(Split("", ','), (std::vector<std::string>{""}));
    EXPECT_EQ(Split("jpg:640x480", ':'), (std::vector<std::string>{"jpg", "640x480"}));

    EXPECT_EQ(ParseSettingsType("int%281%2C30%29"), (std::vector<std::string>{"1", "30"}));
    EXPECT_EQ(ParseSettingsType("int%280%2C100%29"), (std::vector<std::string>{"0", "100"}));
    EXPECT_EQ(ParseSettingsType("int%285%29"), (std::vector<std::string>{"5"}));
    EXPECT_TRUE(ParseSettingsType("").empty());
    EXPECT_EQ(SettingsTypeKey("dh04"), "Typdh04-0");
    EXPECT_EQ(SettingsValueRequest("ra02"), "/admin/-set-?el=ra02");
    EXPECT_EQ(SettingsTypeRequest("dh01"), "/admin/-set-?tl=dh01");
    EXPECT_EQ(ReplaceAll("00%3A1e%3A8f", "%3A", ":"), "00:1e:8f");
}

}  // namespace
