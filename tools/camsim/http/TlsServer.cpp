#include "camsim/http/TlsServer.h"

#include <httplib.h>

#include "camsim/http/TlsIdentity.h"

namespace camsim {

namespace {

void CountHandshakes(const SSL* ssl, int where, int)
{
    auto* handshakes = static_cast<TlsHandshakeCount*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
    if (handshakes == nullptr)
        return;
    if (where & SSL_CB_HANDSHAKE_START)
        ++handshakes->started;
    if (where & SSL_CB_HANDSHAKE_DONE)
        ++handshakes->done;
}

}  // namespace

bool TlsServerAvailable() { return true; }

std::unique_ptr<httplib::Server> MakeTlsServer(TlsHandshakeCount& handshakes)
{
    // The context holds its own references to the certificate and key.
    const TlsIdentity identity;
    return std::make_unique<httplib::SSLServer>([&](SSL_CTX& context) {
        SSL_CTX_set_app_data(&context, &handshakes);
        SSL_CTX_set_info_callback(&context, &CountHandshakes);
        return identity.Install(context);
    });
}

}  // namespace camsim
