#include "platform/XmlDocument.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <mutex>

namespace korvane::platform {

namespace {

// No entity substitution, no DTD loading, no network; the library's default
// limits on depth and text size stay in force. Errors are reported only
// through the result.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

void InitialiseLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

void IgnoreXPathError(void*, xmlErrorPtr) {}

std::string ToText(const xmlChar* text)
{
    return text ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

std::string QualifiedName(const xmlChar* prefix, const xmlChar* localName)
{
    return prefix ? ToText(prefix) + ":" + ToText(localName) : ToText(localName);
}

struct ParserContextDeleter {
    void operator()(xmlParserCtxt* context) const { xmlFreeParserCtxt(context); }
};
struct XPathContextDeleter {
    void operator()(xmlXPathContext* context) const { xmlXPathFreeContext(context); }
};
struct XPathObjectDeleter {
    void operator()(xmlXPathObject* object) const { xmlXPathFreeObject(object); }
};

}  // namespace

std::string XmlNode::FirstChildValue() const
{
    const xmlNode* child = m_node ? static_cast<const xmlNode*>(m_node)->children : nullptr;
    if (!child)
        return {};
    switch (child->type) {
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
        return ToText(child->content);
    default:
        return {};  // elements, entity references and declarations carry no value
    }
}

std::optional<std::string> XmlNode::Attribute(const std::string& qualifiedName) const
{
    const auto* node = static_cast<const xmlNode*>(m_node);
    if (!node || node->type != XML_ELEMENT_NODE)
        return std::nullopt;
    for (const xmlAttr* attribute = node->properties; attribute; attribute = attribute->next) {
        const xmlChar* prefix = attribute->ns ? attribute->ns->prefix : nullptr;
        if (QualifiedName(prefix, attribute->name) != qualifiedName)
            continue;
        xmlChar* value = xmlNodeListGetString(node->doc, attribute->children, 1);
        std::string text = ToText(value);
        xmlFree(value);
        return text;
    }
    // Namespace declarations are attributes too.
    static const xmlChar kXmlns[] = "xmlns";
    for (const xmlNs* declaration = node->nsDef; declaration; declaration = declaration->next) {
        const std::string name = declaration->prefix ? QualifiedName(kXmlns, declaration->prefix) : ToText(kXmlns);
        if (name == qualifiedName)
            return ToText(declaration->href);
    }
    return std::nullopt;
}

void XmlDocument::DocumentDeleter::operator()(void* document) const
{
    xmlFreeDoc(static_cast<xmlDoc*>(document));
}

bool XmlDocument::LoadText(const std::string& text)
{
    Unload();
    if (text.empty() || text.size() > kMaxDocumentBytes)
        return false;
    InitialiseLibrary();
    std::unique_ptr<xmlParserCtxt, ParserContextDeleter> parser(xmlNewParserCtxt());
    if (!parser)
        return false;
    m_document.reset(xmlCtxtReadMemory(parser.get(), text.data(), static_cast<int>(text.size()), nullptr, nullptr,
                                       kParseOptions));
    // A document type declaration is refused: it is the only way to entity
    // expansion, and SOAP messages must not carry one.
    const auto* document = static_cast<const xmlDoc*>(m_document.get());
    if (document && (document->intSubset || document->extSubset))
        Unload();
    return IsLoaded();
}

void XmlDocument::SetSelectionNamespaces(std::vector<XmlNamespaceBinding> bindings)
{
    m_namespaces = std::move(bindings);
}

std::vector<XmlNode> XmlDocument::SelectNodes(const std::string& xpath) const
{
    auto* document = static_cast<xmlDoc*>(m_document.get());
    if (!document)
        return {};
    std::unique_ptr<xmlXPathContext, XPathContextDeleter> context(xmlXPathNewContext(document));
    if (!context)
        return {};
    context->node = reinterpret_cast<xmlNode*>(document);
    context->error = IgnoreXPathError;
    for (const auto& [prefix, name] : m_namespaces)
        xmlXPathRegisterNs(context.get(), BAD_CAST prefix.c_str(), BAD_CAST name.c_str());

    std::unique_ptr<xmlXPathObject, XPathObjectDeleter> result(
        xmlXPathEval(BAD_CAST xpath.c_str(), context.get()));
    if (!result || result->type != XPATH_NODESET || !result->nodesetval)
        return {};
    std::vector<XmlNode> nodes;
    const xmlNodeSet& found = *result->nodesetval;
    for (int i = 0; i < found.nodeNr; ++i) {
        // Namespace nodes are copies owned by the result; they are not handed out.
        if (found.nodeTab[i]->type != XML_NAMESPACE_DECL)
            nodes.push_back(XmlNode(found.nodeTab[i]));
    }
    return nodes;
}

}  // namespace korvane::platform
