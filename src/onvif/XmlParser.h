#pragma once
// One XML document answering path queries: the text of the first selected
// node, its attributes, and whether a path selects anything. Replies loaded from
// text resolve the prefixes of the parser's namespace table (standard table plus
// the reply's own declarations); files are queried without prefixes.
#include <string>
#include <vector>

#include "onvif/XmlNamespaces.h"
#include "platform/XmlDocument.h"
#include "runtime/RecursiveLock.h"

namespace korvane {

class CXmlParser {
public:
    CXmlParser() = default;
    virtual ~CXmlParser();
    CXmlParser(const CXmlParser&) = delete;
    CXmlParser& operator=(const CXmlParser&) = delete;

    // False for an empty path, an unreadable or malformed file, or while a
    // document is loaded.
    bool LoadFromFile(const std::string& path);
    // Adds the text's namespace declarations to the table, then loads it;
    // false for an empty or malformed text, or while a document is loaded.
    bool LoadFromText(const std::string& text);
    // Drops the document and puts the standard namespace table back.
    void Unload();

    // The table used by the next LoadFromText; callers add their own prefixes here.
    CXmlNamespaces& Namespaces() { return m_namespaces; }

    // Value of the first child of the first selected node; empty when nothing
    // is loaded or selected, or that child has no value.
    std::string GetText(const std::string& path) const;
    // Attribute of the first selected node; empty when absent.
    std::string GetAttribute(const std::string& path, const std::string& name) const;
    // The attribute of every selected node that has it, in document order.
    std::vector<std::string> GetAttributeList(const std::string& path, const std::string& name) const;
    bool NodeExists(const std::string& path) const;

private:
    void ApplySelectionNamespaces();

    mutable CRecursiveLock m_lock;
    platform::XmlDocument m_document;
    CXmlNamespaces m_namespaces;
};

}  // namespace korvane
