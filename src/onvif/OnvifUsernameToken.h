#pragma once
// WS-Security UsernameToken fields (UsernameToken Profile 1.0, PasswordDigest).
#include <cstdint>
#include <functional>
#include <string>

#include "tallowcam/HostTypes.h"

namespace korvane {

struct USERNAME_TOKEN_DIGEST {
    std::string passwordDigest;  // Base64 of SHA-1(nonce text + created + password)
    std::string nonce;           // Base64 of the nonce text
    std::string created;         // UTC time, "YYYY-MM-DDThh:mm:ssZ"
};

// "%.4u-%.2u-%.2uT%.2u:%.2u:%.2uZ" of a UTC time.
std::string FormatCreatedTime(const SYSTEMTIME& utc);

// The nonce text: counter "%.2x", random character, millisecond "%.3x", random
// character, second "%.2x", random character, minute "%.2x", then random
// characters up to 16 characters. `randomIndex` gives numbers below 64.
std::string BuildNonceText(uint32_t counter, const SYSTEMTIME& time, const std::function<uint32_t()>& randomIndex);

// Base64 of SHA-1 over nonce text, created and password.
std::string ComputePasswordDigest(const std::string& nonceText, const std::string& created,
                                  const std::string& password);

// All three fields for a request sent now; the nonce counter is process-wide.
USERNAME_TOKEN_DIGEST MakeUsernameTokenDigest(const std::string& password);

}  // namespace korvane
