#include <gtest/gtest.h>

#include <string>

#include "runtime/Base64.h"
#include "runtime/Md5.h"
#include "runtime/Sha1.h"

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
    // RFC 1321's suite; 55, 56 and 64 bytes straddle the one- and two-block padding cases.
    const std::pair<std::string, const char*> md5[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
        {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
        {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
    };
    for (const auto& [text, digest] : md5)
        EXPECT_EQ(Md5Hex(text), digest) << text.size() << " bytes";
    // FIPS 180's vectors.
    const std::pair<std::string, const char*> sha1[] = {
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    };
    for (const auto& [text, digest] : sha1)
        EXPECT_EQ(Sha1Hex(text), digest) << text.size() << " bytes";
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
