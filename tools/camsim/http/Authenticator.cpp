#include "camsim/http/Authenticator.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>

#include "runtime/Base64.h"
#include "runtime/Md5.h"

namespace camsim {

namespace {

// key=value and key="value" pairs separated by commas.
std::map<std::string, std::string> ParseParameters(const std::string& text)
{
    std::map<std::string, std::string> parameters;
    size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && (text[at] == ' ' || text[at] == ',' || text[at] == '\t'))
            ++at;
        const size_t equals = text.find('=', at);
        if (equals == std::string::npos)
            break;
        const std::string key = text.substr(at, equals - at);
        std::string value;
        at = equals + 1;
        if (at < text.size() && text[at] == '"') {
            const size_t close = text.find('"', at + 1);
            if (close == std::string::npos)
                break;
            value = text.substr(at + 1, close - at - 1);
            at = close + 1;
        } else {
            const size_t comma = text.find(',', at);
            value = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
            at = comma == std::string::npos ? text.size() : comma;
        }
        parameters[key] = value;
    }
    return parameters;
}

}  // namespace

Authenticator::Authenticator()
{
    // 128 random bits in hexadecimal.
    std::random_device random;
    for (int i = 0; i < 4; ++i) {
        char word[9];
        std::snprintf(word, sizeof word, "%08x", static_cast<unsigned>(random()));
        m_nonce += word;
    }
}

void Authenticator::Configure(const AuthConfig& config)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_config = config;
}

AuthConfig Authenticator::Config() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_config;
}

bool Authenticator::Accepts(const std::string& method, const std::string& target, const std::string& authorization) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_config.schemes.empty())
        return true;
    const size_t space = authorization.find(' ');
    if (space == std::string::npos)
        return false;
    const std::string scheme = authorization.substr(0, space);
    const std::string rest = authorization.substr(space + 1);
    const auto offers = [&](AuthScheme wanted) {
        return std::find(m_config.schemes.begin(), m_config.schemes.end(), wanted) != m_config.schemes.end();
    };
    if (scheme == "Basic" && offers(AuthScheme::Basic))
        return AcceptsBasic(rest);
    if (scheme == "Digest" && offers(AuthScheme::Digest))
        return AcceptsDigest(method, target, rest);
    return false;
}

bool Authenticator::AcceptsBasic(const std::string& credentials) const
{
    const std::vector<uint8_t> decoded = korvane::Base64Decode(credentials);
    return std::string(decoded.begin(), decoded.end()) == m_config.user + ":" + m_config.password;
}

bool Authenticator::AcceptsDigest(const std::string& method, const std::string& target, const std::string& text) const
{
    auto parameters = ParseParameters(text);
    if (parameters["username"] != m_config.user || parameters["realm"] != m_realm || parameters["nonce"] != m_nonce ||
        parameters["uri"] != target || parameters["qop"] != "auth" || parameters["nc"].empty() ||
        parameters["cnonce"].empty())
        return false;
    const std::string ha1 = korvane::Md5Hex(m_config.user + ":" + m_realm + ":" + m_config.password);
    const std::string ha2 = korvane::Md5Hex(method + ":" + target);
    const std::string expected =
        korvane::Md5Hex(ha1 + ":" + m_nonce + ":" + parameters["nc"] + ":" + parameters["cnonce"] + ":auth:" + ha2);
    return parameters["response"] == expected;
}

std::vector<std::string> Authenticator::Challenges() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> challenges;
    for (AuthScheme scheme : m_config.schemes) {
        if (scheme == AuthScheme::Basic)
            challenges.push_back("Basic realm=\"" + m_realm + "\"");
        else
            challenges.push_back("Digest realm=\"" + m_realm + "\", nonce=\"" + m_nonce +
                                 "\", qop=\"auth\", algorithm=MD5");
    }
    if (challenges.empty())
        challenges.push_back("Basic realm=\"" + m_realm + "\"");
    return challenges;
}

}  // namespace camsim
