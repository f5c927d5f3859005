#pragma once
// An XML document with XPath 1.0 selection; the only code that touches the XML
// library. Parsing never goes to the network or the file system, and refuses
// documents with a document type declaration (so no entity is ever expanded)
// and documents above kMaxDocumentBytes.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvane::platform {

// A node of a loaded document; valid until the document is unloaded or reloaded.
class XmlNode {
public:
    XmlNode() = default;
    explicit operator bool() const { return m_node != nullptr; }

    // Value of the first child: the text of a text, CDATA, comment or
    // processing-instruction child; empty for an element child or no child.
    std::string FirstChildValue() const;
    // Value of the attribute with this qualified name ("token", "wsu:Id",
    // "xmlns:tt"); nothing when the node has no such attribute.
    std::optional<std::string> Attribute(const std::string& qualifiedName) const;

private:
    friend class XmlDocument;
    explicit XmlNode(void* node) : m_node(node) {}

    void* m_node = nullptr;
};

// Prefix and namespace name.
using XmlNamespaceBinding = std::pair<std::string, std::string>;

class XmlDocument {
public:
    static constexpr size_t kMaxDocumentBytes = 8 * 1024 * 1024;

    XmlDocument();
    ~XmlDocument();
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // Each load replaces the current document; false (and unloaded) when the
    // file cannot be read, or the document is too large, not well-formed or
    // has a document type declaration.
    bool LoadFile(const std::string& path);
    bool LoadText(const std::string& text);
    void Unload();
    bool IsLoaded() const { return m_document != nullptr; }

    // Prefixes that selection paths may use.
    void SetSelectionNamespaces(std::vector<XmlNamespaceBinding> bindings);

    // Paths are evaluated from the document node. A path that does not parse,
    // uses an unknown prefix or selects no node gives no node.
    XmlNode SelectSingleNode(const std::string& xpath) const;
    std::vector<XmlNode> SelectNodes(const std::string& xpath) const;

private:
    struct DocumentDeleter {
        void operator()(void* document) const;
    };

    std::unique_ptr<void, DocumentDeleter> m_document;
    std::vector<XmlNamespaceBinding> m_namespaces;
};

}  // namespace korvane::platform
