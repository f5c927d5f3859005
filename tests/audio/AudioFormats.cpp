#include "AudioFormats.h"

#include <algorithm>

namespace korvane::test {

bool IsAllowedPath(const std::vector<std::pair<uint32_t, uint32_t>>& states,
                   const std::vector<std::vector<uint32_t>>& allowed)
{
    uint32_t from = 0;
    for (const auto& [id, to] : states) {
        if (from >= allowed.size() || std::find(allowed[from].begin(), allowed[from].end(), to) == allowed[from].end())
            return false;
        from = to;
    }
    return true;
}

}  // namespace korvane::test
