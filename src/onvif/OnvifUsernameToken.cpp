#include "onvif/OnvifUsernameToken.h"

#include <mutex>
#include <random>

#include "platform/Time.h"
#include "runtime/Base64.h"
#include "runtime/Sha1.h"
#include "runtime/StringFormat.h"

namespace korvane {

namespace {

constexpr size_t kNonceLength = 16;
const char kNonceAlphabet[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+/";

std::string Base64Of(const std::string& text)
{
    return Base64Encode(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// The process-wide nonce counter and the generator it seeds.
class CNonceSource {
public:
    std::string Next(const SYSTEMTIME& now)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (!m_started) {
            m_counter = now.wSecond * 1000u + now.wMilliseconds;
            m_random.seed(m_counter);
            m_started = true;
        }
        const uint32_t counter = m_counter;
        m_counter += 1 + Random() % 99;
        return BuildNonceText(counter, now, [this] { return Random() % 64; });
    }

private:
    uint32_t Random() { return static_cast<uint32_t>(m_random()); }

    std::mutex m_mutex;
    bool m_started = false;
    uint32_t m_counter = 0;
    std::minstd_rand m_random;
};

CNonceSource& NonceSource()
{
    static CNonceSource source;
    return source;
}

}  // namespace

std::string FormatCreatedTime(const SYSTEMTIME& utc)
{
    return FormatString("%.4u-%.2u-%.2uT%.2u:%.2u:%.2uZ", utc.wYear, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute,
                        utc.wSecond);
}

std::string BuildNonceText(uint32_t counter, const SYSTEMTIME& time, const std::function<uint32_t()>& randomIndex)
{
    auto randomChar = [&randomIndex] { return kNonceAlphabet[randomIndex() % 64]; };
    std::string nonce = FormatString("%.2x", counter);
    nonce += randomChar();
    nonce += FormatString("%.3x", time.wMilliseconds);
    nonce += randomChar();
    nonce += FormatString("%.2x", time.wSecond);
    nonce += randomChar();
    nonce += FormatString("%.2x", time.wMinute);
    while (nonce.size() < kNonceLength)
        nonce += randomChar();
    return nonce;
}

std::string ComputePasswordDigest(const std::string& nonceText, const std::string& created,
                                  const std::string& password)
{
    const std::string hashed = nonceText + created + password;
    const std::array<uint8_t, 20> digest = Sha1(hashed.data(), hashed.size());
    return Base64Encode(digest.data(), digest.size());
}

USERNAME_TOKEN_DIGEST MakeUsernameTokenDigest(const std::string& password)
{
    const SYSTEMTIME now = platform::UtcTimeNow();
    const std::string nonceText = NonceSource().Next(now);
    USERNAME_TOKEN_DIGEST token;
    token.created = FormatCreatedTime(now);
    token.nonce = Base64Of(nonceText);
    token.passwordDigest = ComputePasswordDigest(nonceText, token.created, password);
    return token;
}

}  // namespace korvane
