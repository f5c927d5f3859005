#pragma once
// One holder's reference on the socket library: taken at most once, given
// back at most once, and given back when the holder goes.
#include "platform/Network.h"

namespace korvane {

class CSocketsReference {
public:
    CSocketsReference() = default;
    ~CSocketsReference() { Release(); }
    CSocketsReference(const CSocketsReference&) = delete;
    CSocketsReference& operator=(const CSocketsReference&) = delete;

    void Acquire()
    {
        if (!m_held)
            m_held = platform::SocketsStartup() == 0;
    }
    void Release()
    {
        if (!m_held)
            return;
        platform::SocketsCleanup();
        m_held = false;
    }

private:
    bool m_held = false;
};

}  // namespace korvane
