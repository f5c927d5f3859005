#include "runtime/StopScope.h"

#include <utility>

namespace korvane {

namespace {

thread_local const CStopScope* t_innermost = nullptr;

}  // namespace

CStopScope::CStopScope(std::function<bool()> isStopping) : m_isStopping(std::move(isStopping)), m_outer(t_innermost)
{
    t_innermost = this;
}

CStopScope::~CStopScope()
{
    t_innermost = m_outer;
}

bool CStopScope::IsStopping()
{
    for (const CStopScope* scope = t_innermost; scope != nullptr; scope = scope->m_outer) {
        if (scope->m_isStopping())
            return true;
    }
    return false;
}

}  // namespace korvane
