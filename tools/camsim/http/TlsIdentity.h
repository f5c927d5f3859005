#pragma once
// A self-signed certificate and key made at start-up, for the simulator's HTTPS server.
#include <openssl/ssl.h>

namespace camsim {

class TlsIdentity {
public:
    TlsIdentity();
    ~TlsIdentity();
    TlsIdentity(const TlsIdentity&) = delete;
    TlsIdentity& operator=(const TlsIdentity&) = delete;

    bool IsValid() const { return m_key != nullptr && m_certificate != nullptr; }
    bool Install(SSL_CTX& context) const;

private:
    EVP_PKEY* m_key = nullptr;
    X509* m_certificate = nullptr;
};

}  // namespace camsim
