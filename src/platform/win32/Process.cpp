#include "platform/Process.h"

#include <windows.h>
#include <objbase.h>

#include <cstring>
#include <vector>

namespace korvane::platform {

std::string ExecutableDirectory(size_t maxLength)
{
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || length > maxLength)
        return {};
    const std::string name(path, length);
    const size_t separator = name.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : name.substr(0, separator + 1);
}

bool LoadedModuleVersion(const std::string& moduleName, ModuleVersion& out)
{
    // The loaded module's own file, else the file the library search finds by that name.
    const HMODULE module = GetModuleHandleA(moduleName.c_str());
    char loadedPath[MAX_PATH + 1] = {};
    const DWORD length = module ? GetModuleFileNameA(module, loadedPath, MAX_PATH) : 0;
    const char* path = length > 0 && length < MAX_PATH ? loadedPath : moduleName.c_str();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0)
        return false;
    std::vector<char> resource(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (!GetFileVersionInfoA(path, 0, size, resource.data()) ||
        !VerQueryValueA(resource.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize) || fixed == nullptr ||
        fixedSize < sizeof(VS_FIXEDFILEINFO))
        return false;
    out = {HIWORD(fixed->dwProductVersionMS), LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS),
           LOWORD(fixed->dwProductVersionLS)};
    return true;
}

bool CreateGuid(std::array<uint8_t, 16>& out)
{
    GUID guid{};
    if (FAILED(CoCreateGuid(&guid)))
        return false;
    static_assert(sizeof guid == 16, "a GUID is 16 bytes");
    std::memcpy(out.data(), &guid, out.size());
    return true;
}

}  // namespace korvane::platform
