#pragma once
// Facts about the running process: where its executable lies, which host core
// library it has loaded, and random identifiers.
#include <array>
#include <cstdint>
#include <string>

namespace korvane::platform {

#ifdef _WIN32
constexpr char kDirectorySeparator = '\\';
#else
constexpr char kDirectorySeparator = '/';
#endif

// Directory of the main executable, ending with kDirectorySeparator; empty when
// unknown or longer than maxLength characters.
std::string ExecutableDirectory(size_t maxLength = 511);

// The file at relativePath from the executable's directory when it exists, else
// fallbackPath: an installed program finds its companions beside it, one run
// from the build tree finds them where they were built.
std::string InstalledOrFallbackPath(const std::string& relativePath, const std::string& fallbackPath);

struct ModuleVersion {
    uint16_t major = 0;
    uint16_t minor = 0;
    uint16_t third = 0;
    uint16_t fourth = 0;
};

// Version of the module with this file name. On Windows: the product version in
// the version resource of the loaded module, else of the file that the library
// search finds by that name. Elsewhere: the four-part suffix of the resolved
// file name of a loaded module whose name starts with it ("libvexhost.so" ->
// "libvexhost.so.6.3.0.0"). False when there is no such module or no version.
bool LoadedModuleVersion(const std::string& moduleName, ModuleVersion& out);

// 16 random bytes (a version-4 GUID); false when no randomness is available.
bool CreateGuid(std::array<uint8_t, 16>& out);

}  // namespace korvane::platform
