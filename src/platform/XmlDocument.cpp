#include "platform/XmlDocument.h"

#include <filesystem>
#include <fstream>

namespace korvane::platform {

namespace {

bool ReadWholeFile(const std::string& path, std::string& contents)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return false;
    const auto size = std::filesystem::file_size(path, error);
    if (error || size > XmlDocument::kMaxDocumentBytes)
        return false;
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    contents.resize(static_cast<size_t>(size));
    file.read(contents.data(), static_cast<std::streamsize>(contents.size()));
    contents.resize(static_cast<size_t>(file.gcount()));
    return !file.bad();
}

}  // namespace

XmlDocument::XmlDocument() = default;
XmlDocument::~XmlDocument() = default;

bool XmlDocument::LoadFile(const std::string& path)
{
    Unload();
    std::string contents;
    return ReadWholeFile(path, contents) && LoadText(contents);
}

void XmlDocument::Unload()
{
    m_document.reset();
}

XmlNode XmlDocument::SelectSingleNode(const std::string& xpath) const
{
    std::vector<XmlNode> nodes = SelectNodes(xpath);
    return nodes.empty() ? XmlNode() : nodes.front();
}

}  // namespace korvane::platform
