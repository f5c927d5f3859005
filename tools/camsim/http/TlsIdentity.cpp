#include "camsim/http/TlsIdentity.h"

#include <openssl/evp.h>
#include <openssl/x509.h>

namespace camsim {

TlsIdentity::TlsIdentity()
{
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* certificate = X509_new();
    X509_NAME* name = certificate != nullptr ? X509_get_subject_name(certificate) : nullptr;
    const bool made = key != nullptr && name != nullptr && X509_set_version(certificate, 2) == 1 &&
                      ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1) == 1 &&
                      X509_gmtime_adj(X509_getm_notBefore(certificate), -3600) != nullptr &&
                      X509_gmtime_adj(X509_getm_notAfter(certificate), 7 * 24 * 3600) != nullptr &&
                      X509_set_pubkey(certificate, key) == 1 &&
                      X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                                 reinterpret_cast<const unsigned char*>("camsim"), -1, -1, 0) == 1 &&
                      X509_set_issuer_name(certificate, name) == 1 && X509_sign(certificate, key, EVP_sha256()) > 0;
    if (!made) {
        EVP_PKEY_free(key);
        X509_free(certificate);
        return;
    }
    m_key = key;
    m_certificate = certificate;
}

TlsIdentity::~TlsIdentity()
{
    EVP_PKEY_free(m_key);
    X509_free(m_certificate);
}

bool TlsIdentity::Install(SSL_CTX& context) const
{
    return IsValid() && SSL_CTX_use_certificate(&context, m_certificate) == 1 &&
           SSL_CTX_use_PrivateKey(&context, m_key) == 1;
}

}  // namespace camsim
