#include "platform/Process.h"

#include <link.h>
#include <sys/random.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace korvane::platform {

std::string ExecutableDirectory(size_t maxLength)
{
    char path[PATH_MAX + 1];
    const ssize_t length = ::readlink("/proc/self/exe", path, PATH_MAX);
    if (length <= 0 || static_cast<size_t>(length) > maxLength)
        return {};
    std::string name(path, static_cast<size_t>(length));
    const size_t slash = name.rfind('/');
    return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

namespace {

bool ParseVersionSuffix(const std::string& text, ModuleVersion& out)
{
    unsigned parts[4];
    char tail = 0;
    if (std::sscanf(text.c_str(), ".%u.%u.%u.%u%c", &parts[0], &parts[1], &parts[2], &parts[3], &tail) != 4)
        return false;
    for (unsigned part : parts)
        if (part > 0xFFFF)
            return false;
    out = {static_cast<uint16_t>(parts[0]), static_cast<uint16_t>(parts[1]), static_cast<uint16_t>(parts[2]),
           static_cast<uint16_t>(parts[3])};
    return true;
}

struct ModuleSearch {
    const std::string* prefix;
    ModuleVersion* out;
    bool found;
};

int VisitModule(struct dl_phdr_info* info, size_t, void* data)
{
    auto* search = static_cast<ModuleSearch*>(data);
    if (info->dlpi_name == nullptr || info->dlpi_name[0] == '\0')
        return 0;
    const char* base = std::strrchr(info->dlpi_name, '/');
    base = base ? base + 1 : info->dlpi_name;
    if (std::strncmp(base, search->prefix->c_str(), search->prefix->size()) != 0)
        return 0;
    char resolved[PATH_MAX];
    if (::realpath(info->dlpi_name, resolved) == nullptr)
        return 0;
    const char* resolvedBase = std::strrchr(resolved, '/');
    resolvedBase = resolvedBase ? resolvedBase + 1 : resolved;
    if (std::strncmp(resolvedBase, search->prefix->c_str(), search->prefix->size()) != 0)
        return 0;
    if (!ParseVersionSuffix(resolvedBase + search->prefix->size(), *search->out))
        return 0;
    search->found = true;
    return 1;
}

}  // namespace

bool LoadedModuleVersion(const std::string& moduleName, ModuleVersion& out)
{
    ModuleSearch search{&moduleName, &out, false};
    dl_iterate_phdr(VisitModule, &search);
    return search.found;
}

bool CreateGuid(std::array<uint8_t, 16>& out)
{
    size_t filled = 0;
    while (filled < out.size()) {
        const ssize_t got = ::getrandom(out.data() + filled, out.size() - filled, 0);
        if (got <= 0)
            return false;
        filled += static_cast<size_t>(got);
    }
    out[6] = static_cast<uint8_t>((out[6] & 0x0F) | 0x40);
    out[8] = static_cast<uint8_t>((out[8] & 0x3F) | 0x80);
    return true;
}

}  // namespace korvane::platform
