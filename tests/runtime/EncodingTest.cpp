#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "runtime/Base64.h"
#include "runtime/Md5.h"
#include "runtime/Sha1.h"
#include "support/TestData.h"

using namespace korvane;

namespace {

std::string Hex(const uint8_t* bytes, size_t length)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

std::string Sha1Hex(const std::string& text)
{
    const auto digest = Sha1(text.data(), text.size());
    return Hex(digest.data(), digest.size());
}

std::string Encode(const std::string& text)
{
    return Base64Encode(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

std::string Decode(const std::string& text)
{
    const auto bytes = Base64Decode(text);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(Encoding, DigestsMatchTheStandardVectors)
{
    const std::vector<std::string> rows = test::ReadTestDataLines("runtime/digests.txt");
    EXPECT_EQ(rows.size(), 14u);
    for (const std::string& row : rows) {
        std::istringstream fields(row);
        std::string algorithm;
        std::string digest;
        std::string text;
        fields >> algorithm >> digest >> std::ws;
        std::getline(fields, text);
        if (text.rfind("a*", 0) == 0)
            text = std::string(std::stoul(text.substr(2)), 'a');
        EXPECT_EQ(algorithm == "md5" ? Md5Hex(text) : Sha1Hex(text), digest) << row;
    }
}

TEST(EncodingBase64, MatchesRfc4648VectorsAndBreaksLinesAfter76Characters)
{
    const char* plain[] = {"", "f", "fo", "foo", "foob", "fooba", "foobar"};
    const char* encoded[] = {"", "Zg==", "Zm8=", "Zm9v", "Zm9vYg==", "Zm9vYmE=", "Zm9vYmFy"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(Encode(plain[i]), encoded[i]);
        EXPECT_EQ(Decode(encoded[i]), plain[i]);
    }
    // Lines break after 76 characters.
    const std::string text = Encode(std::string(57 * 2 + 1, 'x'));  // 76 + 76 + 4 characters
    ASSERT_EQ(text.size(), 76u + 2 + 76 + 2 + 4);
    EXPECT_EQ(text.substr(76, 2), "\r\n");
    EXPECT_EQ(text.substr(154, 2), "\r\n");
    EXPECT_EQ(Decode(text), std::string(115, 'x'));
    EXPECT_EQ(Encode(std::string(57, 'x')).substr(76), "\r\n");
}

TEST(EncodingBase64, DecoderSkipsCharactersOutsideTheAlphabet)
{
    EXPECT_EQ(Decode(" Zm9v\r\nYm Fy=*"), "foobar");
    EXPECT_EQ(Decode("Z=m=8"), "fo");
    EXPECT_TRUE(Base64Decode("!!!").empty());
    const uint8_t bytes[] = {0x00, 0xFF, 0xFE, 0x80};
    EXPECT_EQ(Base64Encode(bytes, 4), "AP/+gA==");
    EXPECT_EQ(Base64Decode("AP/+gA=="), std::vector<uint8_t>(bytes, bytes + 4));
}
