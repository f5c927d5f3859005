#include "platform/DynamicLibrary.h"

#include <windows.h>

namespace korvane::platform {

DynamicLibrary::~DynamicLibrary()
{
    Unload();
}

bool DynamicLibrary::Load(const std::string& fileName)
{
    Unload();
    m_handle = LoadLibraryA(fileName.c_str());
    return m_handle != nullptr;
}

void DynamicLibrary::Unload()
{
    if (m_handle != nullptr) {
        FreeLibrary(static_cast<HMODULE>(m_handle));
        m_handle = nullptr;
    }
}

void* DynamicLibrary::Symbol(const char* name) const
{
    return m_handle ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(m_handle), name)) : nullptr;
}

std::string SharedLibraryFileName(const std::string& baseName)
{
    return baseName + ".dll";
}

}  // namespace korvane::platform
