#pragma once
// A fresh temporary directory for one test, removed with everything in it.
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace korvane::test {

class ScratchDirectory {
public:
    ScratchDirectory()
    {
        std::random_device random;
        for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
            const std::filesystem::path path =
                std::filesystem::temp_directory_path() / ("tallowcam-" + std::to_string(random()));
            std::error_code error;
            if (std::filesystem::create_directory(path, error))  // false when it exists already
                m_path = path.string() + "/";
        }
    }
    ~ScratchDirectory()
    {
        std::error_code ignored;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    // Ends with '/'; empty when the directory could not be created.
    const std::string& Path() const { return m_path; }

    // Writes (or replaces) a file and returns its full path.
    std::string WriteFile(const std::string& name, const std::string& contents) const
    {
        const std::string path = m_path + name;
        std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
        return path;
    }

private:
    std::string m_path;
};

}  // namespace korvane::test
