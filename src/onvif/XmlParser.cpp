#include "onvif/XmlParser.h"

namespace korvane {

CXmlParser::~CXmlParser()
{
    Unload();
}

bool CXmlParser::LoadFromFile(const std::string& path)
{
    CAutoLock guard(m_lock);
    if (path.empty() || m_document.IsLoaded())
        return false;
    return m_document.LoadFile(path);
}

bool CXmlParser::LoadFromText(const std::string& text)
{
    CAutoLock guard(m_lock);
    if (text.empty())
        return false;
    m_namespaces.AddFromDocument(text);
    if (m_document.IsLoaded() || !m_document.LoadText(text))
        return false;
    ApplySelectionNamespaces();
    return true;
}

void CXmlParser::ApplySelectionNamespaces()
{
    std::vector<platform::XmlNamespaceBinding> bindings;
    for (const auto& [prefix, entry] : m_namespaces.Entries())
        bindings.emplace_back(prefix, entry.namespaceName);
    m_document.SetSelectionNamespaces(std::move(bindings));
}

void CXmlParser::Unload()
{
    CAutoLock guard(m_lock);
    if (!m_document.IsLoaded())
        return;
    m_document.Unload();
    m_document.SetSelectionNamespaces({});
    m_namespaces.Clear();
    m_namespaces.AddStandard();
}

std::string CXmlParser::GetText(const std::string& path) const
{
    CAutoLock guard(m_lock);
    return m_document.SelectSingleNode(path).FirstChildValue();
}

std::string CXmlParser::GetAttribute(const std::string& path, const std::string& name) const
{
    CAutoLock guard(m_lock);
    return m_document.SelectSingleNode(path).Attribute(name).value_or(std::string());
}

std::vector<std::string> CXmlParser::GetAttributeList(const std::string& path, const std::string& name) const
{
    CAutoLock guard(m_lock);
    std::vector<std::string> values;
    for (const platform::XmlNode& node : m_document.SelectNodes(path)) {
        if (auto value = node.Attribute(name))
            values.push_back(std::move(*value));
    }
    return values;
}

bool CXmlParser::NodeExists(const std::string& path) const
{
    CAutoLock guard(m_lock);
    return static_cast<bool>(m_document.SelectSingleNode(path));
}

}  // namespace korvane
