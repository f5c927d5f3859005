#pragma once
// The HTTPS flavour of the simulator's server: cpp-httplib's TLS server with a
// self-signed identity, counting the TLS handshakes it sees.
#include <atomic>
#include <cstddef>
#include <memory>

namespace httplib {
class Server;
}

namespace camsim {

struct TlsHandshakeCount {
    std::atomic<size_t> started{0};
    std::atomic<size_t> done{0};
};

// False when camsim is built without OpenSSL (the Windows build).
bool TlsServerAvailable();
// Nothing when camsim is built without OpenSSL (the Windows build): no HTTPS camera there.
std::unique_ptr<httplib::Server> MakeTlsServer(TlsHandshakeCount& handshakes);

}  // namespace camsim
