#include "camsim/http/TlsServer.h"

#include <httplib.h>

namespace camsim {

bool TlsServerAvailable() { return false; }

std::unique_ptr<httplib::Server> MakeTlsServer(TlsHandshakeCount&) { return nullptr; }

}  // namespace camsim
