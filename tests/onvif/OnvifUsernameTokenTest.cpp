#include <gtest/gtest.h>

#include "onvif/OnvifUsernameToken.h"
#include "runtime/Base64.h"

using namespace korvane;

namespace {

SYSTEMTIME At(uint16_t minute, uint16_t second, uint16_t millisecond)
{
    SYSTEMTIME time{};
    time.wYear = 2026;
    time.wMonth = 12;
    time.wDay = 6;
    time.wHour = 7;
    time.wMinute = minute;
    time.wSecond = second;
    time.wMilliseconds = millisecond;
    return time;
}

}  // namespace

TEST(OnvifUsernameToken, NonceLayoutIsFilledUpToSixteenCharacters)
{
    uint32_t draw = 0;
    auto random = [&draw] { return draw++; };
    // counter, 'a', millisecond, 'b', second, 'c', minute, then 'd', 'e' as filler
    EXPECT_EQ(BuildNonceText(0x1234, At(9, 7, 5), random), "1234a005b07c09de");
}

TEST(OnvifUsernameToken, LongNonceGetsNoFiller)
{
    auto random = [] { return 63u; };
    const std::string nonce = BuildNonceText(0x123456, At(59, 59, 999), random);
    EXPECT_EQ(nonce, "123456/3e7/3b/3b");
    EXPECT_EQ(nonce.size(), 16u);
    EXPECT_EQ(BuildNonceText(0x1234567, At(59, 59, 999), random).size(), 17u);
}

TEST(OnvifUsernameToken, CreatedHasNoFractionOfASecond)
{
    EXPECT_EQ(FormatCreatedTime(At(5, 4, 321)), "2026-12-06T07:05:04Z");
}

TEST(OnvifUsernameToken, DigestMatchesThePublishedExample)
{
    const std::vector<uint8_t> nonce = Base64Decode("LKqI6G/AikKCQrN0zqZFlg==");
    EXPECT_EQ(ComputePasswordDigest(std::string(nonce.begin(), nonce.end()), "2010-09-16T07:50:45Z", "userpassword"),
              "tuOSpGlFlIXsozq4HFNeeGeFLEI=");
}

TEST(OnvifUsernameToken, SuccessiveNoncesDiffer)
{
    const USERNAME_TOKEN_DIGEST first = MakeUsernameTokenDigest("secret");
    const USERNAME_TOKEN_DIGEST second = MakeUsernameTokenDigest("secret");
    EXPECT_NE(first.nonce, second.nonce);
    EXPECT_EQ(Base64Decode(first.nonce).size(), 16u);
    EXPECT_EQ(first.created.size(), 20u);
}
