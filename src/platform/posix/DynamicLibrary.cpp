#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>

namespace korvane::platform {

DynamicLibrary::~DynamicLibrary()
{
    Unload();
}

bool DynamicLibrary::Load(const std::string& fileName)
{
    Unload();
    m_handle = ::dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    return m_handle != nullptr;
}

void DynamicLibrary::Unload()
{
    if (m_handle != nullptr) {
        ::dlclose(m_handle);
        m_handle = nullptr;
    }
}

void* DynamicLibrary::Symbol(const char* name) const
{
    return m_handle ? ::dlsym(m_handle, name) : nullptr;
}

std::string SharedLibraryFileName(const std::string& baseName)
{
    std::string lower = baseName;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return "lib" + lower + ".so";
}

}  // namespace korvane::platform
