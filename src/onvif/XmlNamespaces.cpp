#include "onvif/XmlNamespaces.h"

namespace korvane {

namespace {

struct StandardNamespace {
    const char* prefix;
    const char* namespaceName;
};

constexpr StandardNamespace kStandardNamespaces[] = {
    {"SOAP-ENV", "http://www.w3.org/2003/05/soap-envelope"},
    {"SOAP-ENC", "http://www.w3.org/2003/05/soap-encoding"},
    {"xsi", "http://www.w3.org/2001/XMLSchema-instance"},
    {"xsd", "http://www.w3.org/2001/XMLSchema"},
    {"c14n", "http://www.w3.org/2001/10/xml-exc-c14n#"},
    {"ds", "http://www.w3.org/2000/09/xmldsig#"},
    {"ns1", "http://www.w3.org/2005/05/xmlmime"},
    {"tt", "http://www.onvif.org/ver10/schema"},
    {"wsnt", "http://docs.oasis-open.org/wsn/b-2"},
    {"wsa5", "http://www.w3.org/2005/08/addressing"},
    {"wsbf", "http://docs.oasis-open.org/wsrf/bf-2"},
    {"wstop", "http://docs.oasis-open.org/wsn/t-1"},
    {"tds", "http://www.onvif.org/ver10/device/wsdl"},
    {"trt", "http://www.onvif.org/ver10/media/wsdl"},
    {"tptz", "http://www.onvif.org/ver20/ptz/wsdl"},
    {"tev", "http://www.onvif.org/ver10/events/wsdl"},
    {"tns1", "http://www.onvif.org/ver10/topics"},
    {"wsse", "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd"},
    {"wsu", "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd"},
};

constexpr const char* kBlanks = " \t";
// Characters that end a prefix or a namespace name in a declaration scan.
constexpr const char* kDeclarationDelimiters = " \t=\"\r\n";

std::string Declaration(const std::string& attributeName, const std::string& namespaceName)
{
    return attributeName + "=\"" + namespaceName + "\"";
}

}  // namespace

CXmlNamespaces::CXmlNamespaces()
{
    AddStandard();
}

void CXmlNamespaces::Clear()
{
    m_entries.clear();
}

void CXmlNamespaces::AddStandard()
{
    for (const StandardNamespace& standard : kStandardNamespaces)
        m_entries[standard.prefix] = Entry{standard.namespaceName, 1};
}

void CXmlNamespaces::Add(const std::string& prefix, const std::string& namespaceName)
{
    if (!prefix.empty() && !namespaceName.empty())
        m_entries[prefix] = Entry{namespaceName, 0};
}

void CXmlNamespaces::AddFromList(const std::string& list)
{
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find_first_of(kBlanks, start);
        if (end == std::string::npos)
            end = list.size();
        const std::string item = list.substr(start, end - start);
        const size_t equals = item.find('=');
        if (equals != std::string::npos)
            Add(item.substr(0, equals), item.substr(equals + 1));
        start = end + 1;
    }
}

void CXmlNamespaces::AddFromDocument(const std::string& document)
{
    static const std::string kMarker = "xmlns:";
    static const std::string kValueStart = "=\"";
    size_t position = document.find(kMarker);
    while (position != std::string::npos) {
        const size_t prefixStart = position + kMarker.size();
        size_t prefixEnd = document.find_first_of(kDeclarationDelimiters, prefixStart);
        if (prefixEnd == std::string::npos)
            prefixEnd = document.size();
        position = prefixEnd;
        if (document.compare(prefixEnd, kValueStart.size(), kValueStart) == 0) {
            const size_t valueStart = prefixEnd + kValueStart.size();
            size_t valueEnd = document.find_first_of(kDeclarationDelimiters, valueStart);
            if (valueEnd == std::string::npos)
                valueEnd = document.size();
            Add(document.substr(prefixStart, prefixEnd - prefixStart), document.substr(valueStart, valueEnd - valueStart));
            position = valueEnd;
        }
        position = document.find(kMarker, position);
    }
}

void CXmlNamespaces::AddAll(const CXmlNamespaces& other)
{
    for (const auto& [prefix, entry] : other.m_entries) {
        if (!entry.standard)
            Add(prefix, entry.namespaceName);
    }
}

std::string CXmlNamespaces::GetNamespace(const std::string& prefix) const
{
    const auto found = m_entries.find(prefix);
    return found == m_entries.end() ? std::string() : found->second.namespaceName;
}

std::string CXmlNamespaces::GetDeclaration(const std::string& prefix) const
{
    const std::string namespaceName = GetNamespace(prefix);
    if (prefix.empty() || namespaceName.empty())
        return {};
    return " " + Declaration("xmlns:" + prefix, namespaceName);
}

std::string CXmlNamespaces::GetDefaultDeclaration(const std::string& prefix) const
{
    const std::string namespaceName = GetNamespace(prefix);
    if (prefix.empty() || namespaceName.empty())
        return {};
    return " " + Declaration("xmlns", namespaceName);
}

std::string CXmlNamespaces::GetAllDeclarations() const
{
    std::string declarations;
    for (const auto& [prefix, entry] : m_entries) {
        if (prefix.empty() || entry.namespaceName.empty())
            continue;
        if (!declarations.empty())
            declarations += ' ';
        declarations += Declaration("xmlns:" + prefix, entry.namespaceName);
    }
    return declarations;
}

}  // namespace korvane
