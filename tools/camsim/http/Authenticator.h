#pragma once
// Server side of HTTP Basic and Digest (qop=auth, MD5) authentication.
#include <mutex>
#include <string>
#include <vector>

namespace camsim {

enum class AuthScheme { Basic, Digest };

struct AuthConfig {
    std::string user;
    std::string password;
    std::vector<AuthScheme> schemes;  // accepted, and offered in this order; empty: no authentication
};

class Authenticator {
public:
    Authenticator();

    void Configure(const AuthConfig& config);
    AuthConfig Config() const;
    bool Accepts(const std::string& method, const std::string& target, const std::string& authorization) const;
    // WWW-Authenticate values of a 401 reply, in the configured order (Basic when none is configured).
    std::vector<std::string> Challenges() const;

private:
    bool AcceptsBasic(const std::string& credentials) const;
    bool AcceptsDigest(const std::string& method, const std::string& target, const std::string& parameters) const;

    mutable std::mutex m_mutex;
    AuthConfig m_config;
    std::string m_realm = "camsim";
    std::string m_nonce;
};

}  // namespace camsim
