#include <gtest/gtest.h>

#include "capabilities/CameraReply.h"

using namespace korvane;

namespace {

std::string Info(const std::string& reply, const std::string& key)
{
    return GetValue(reply, key, kInfoSeparator, kReplyLineSeparators);
}

}  // namespace

TEST(CameraReply, KeyMustMatchTheWholeLineName)
{
    EXPECT_EQ(Info("a.b:=1\r\nb:=2\r\n", "b"), "2");
    EXPECT_EQ(Info("a.b:=1\r\nb:=2\r\n", "a.b"), "1");
    EXPECT_EQ(Info("c.1.pan.speed.min:=1\r\nc.1.pan:=on\r\n", "c.1.pan"), "on");
    EXPECT_EQ(Info("x:=b\r\nb:=3", "b"), "3");  // an occurrence inside a value is skipped
    EXPECT_EQ(Info("B:=1\r\n", "b"), "");       // case-sensitive
    EXPECT_EQ(Info("bb:=1\r\n", "b"), "");
}

TEST(CameraReply, ValueIsEverythingAfterTheFirstSeparatorOfItsLine)
{
    EXPECT_EQ(Info("s.hardware:=Canon VB:=H41\r\n", "s.hardware"), "Canon VB:=H41");
    EXPECT_EQ(Info("  key \t:= padded value \r\n", "key"), " padded value ");
    EXPECT_EQ(Info("key:=", "key"), "");
    EXPECT_EQ(Info("key:=last", "key"), "last");
    EXPECT_EQ(Info("first:=1\nkey:=lf only\rnext:=3", "key"), "lf only");
}

TEST(CameraReply, MissingKeysAndSeparatorsGiveEmptyValues)
{
    EXPECT_EQ(Info("", "key"), "");
    EXPECT_EQ(Info("key\r\n:=1\r\n", "key"), "");  // separator on the next line
    EXPECT_EQ(Info("key=1\r\n", "key"), "");
    EXPECT_EQ(GetValue("key:=1", "", ":=", "\r\n"), "");
    EXPECT_EQ(GetValue("key:=1", "key", "", "\r\n"), "");
    EXPECT_EQ(GetValue("key:=1", "key", ":=", ""), "");
    EXPECT_EQ(GetValue("Valra02=00%3A1e\r\n", "Valra02", kSettingsSeparator, kReplyLineSeparators), "00%3A1e");
}

TEST(CameraReply, NumbersAreLeadingDecimalDigits)
{
    const std::string reply = "a:=12\r\nb:=\r\nc:=abc\r\nd:= 7 \r\ne:=3 (mono)\r\nf:=-1\r\ng:=99999999999\r\n";
    EXPECT_EQ(GetUIntValue(reply, "a", kInfoSeparator, kReplyLineSeparators), 12u);
    EXPECT_EQ(GetUIntValue(reply, "b", kInfoSeparator, kReplyLineSeparators), 0u);
    EXPECT_EQ(GetUIntValue(reply, "c", kInfoSeparator, kReplyLineSeparators), 0u);
    EXPECT_EQ(GetUIntValue(reply, "d", kInfoSeparator, kReplyLineSeparators), 7u);
    EXPECT_EQ(GetUIntValue(reply, "e", kInfoSeparator, kReplyLineSeparators), 3u);
    EXPECT_EQ(GetUIntValue(reply, "f", kInfoSeparator, kReplyLineSeparators), 0u);
    EXPECT_EQ(GetUIntValue(reply, "g", kInfoSeparator, kReplyLineSeparators), 0xFFFFFFFFu);
    EXPECT_EQ(GetUIntValue(reply, "missing", kInfoSeparator, kReplyLineSeparators), 0u);
}

TEST(CameraReply, SplitKeepsEmptyPieces)
{
    EXPECT_EQ(Split("a,b,c", ','), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(Split("a,,b,", ','), (std::vector<std::string>{"a", "", "b", ""}));
    EXPECT_EQ(Split("", ','), (std::vector<std::string>{""}));
    EXPECT_EQ(Split("jpg:640x480", ':'), (std::vector<std::string>{"jpg", "640x480"}));
}

TEST(CameraReply, SettingsTypesGiveTheirNumbers)
{
    EXPECT_EQ(ParseSettingsType("int%281%2C30%29"), (std::vector<std::string>{"1", "30"}));
    EXPECT_EQ(ParseSettingsType("int%280%2C100%29"), (std::vector<std::string>{"0", "100"}));
    EXPECT_EQ(ParseSettingsType("int%285%29"), (std::vector<std::string>{"5"}));
    EXPECT_TRUE(ParseSettingsType("").empty());
    EXPECT_EQ(SettingsTypeKey("dh04"), "Typdh04-0");
    EXPECT_EQ(SettingsValueRequest("ra02"), "/admin/-set-?el=ra02");
    EXPECT_EQ(SettingsTypeRequest("dh01"), "/admin/-set-?tl=dh01");
    EXPECT_EQ(ReplaceAll("00%3A1e%3A8f", "%3A", ":"), "00:1e:8f");
}
