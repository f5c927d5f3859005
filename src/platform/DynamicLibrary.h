#pragma once
// A shared library loaded at run time; unloaded when the object goes.
#include <string>

namespace korvane::platform {

class DynamicLibrary {
public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    bool Load(const std::string& fileName);
    void Unload();
    bool IsLoaded() const { return m_handle != nullptr; }
    // Address of an exported symbol, or null.
    void* Symbol(const char* name) const;

private:
    void* m_handle = nullptr;
};

// The platform's file name of a shared library: "Quarnel" gives "Quarnel.dll"
// on Windows and "libquarnel.so" elsewhere.
std::string SharedLibraryFileName(const std::string& baseName);

}  // namespace korvane::platform
