#include "platform/Process.h"

#include <filesystem>

namespace korvane::platform {

std::string InstalledOrFallbackPath(const std::string& relativePath, const std::string& fallbackPath)
{
    const std::string directory = ExecutableDirectory();
    if (directory.empty())
        return fallbackPath;
    std::error_code error;
    const std::filesystem::path installed = std::filesystem::path(directory) / relativePath;
    if (!std::filesystem::exists(installed, error))
        return fallbackPath;
    return installed.lexically_normal().string();
}

}  // namespace korvane::platform
