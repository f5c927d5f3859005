#include "platform/XmlDocument.h"

#include <windows.h>
#include <msxml2.h>
#include <objbase.h>
#include <ole2.h>


#include "platform/win32/WideText.h"

namespace korvane::platform {

namespace {

// MSXML 3.0's DOM document class and its XPath-capable interface.
const CLSID kDomDocument30 = {0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};
const IID kXmlDomDocument2 = {0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
constexpr DWORD kAnyServer = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* Get() const { return m_pointer; }
    T** Receive()
    {
        Reset();
        return &m_pointer;
    }
    T* Release() { return std::exchange(m_pointer, nullptr); }
    T* operator->() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }
    void Reset()
    {
        if (m_pointer != nullptr)
            std::exchange(m_pointer, nullptr)->Release();
    }

private:
    T* m_pointer = nullptr;
};

class Bstr {
public:
    explicit Bstr(const std::string& text) : m_text(SysAllocString(Widen(text).c_str())) {}
    Bstr() = default;
    ~Bstr() { SysFreeString(m_text); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR Get() const { return m_text; }
    BSTR* Receive() { return &m_text; }
    std::string Text() const { return Narrow(m_text, SysStringLen(m_text)); }

private:
    BSTR m_text = nullptr;
};

// A node's value as text: a VARIANT changed to a string.
std::string NodeValue(IXMLDOMNode* node)
{
    VARIANT value;
    VariantInit(&value);
    std::string text;
    if (SUCCEEDED(node->get_nodeValue(&value)) &&
        (value.vt == VT_BSTR || SUCCEEDED(VariantChangeType(&value, &value, 0, VT_BSTR))) && value.vt == VT_BSTR)
        text = Narrow(value.bstrVal, SysStringLen(value.bstrVal));
    VariantClear(&value);
    return text;
}

bool SetProperty(IXMLDOMDocument2* document, const char* name, const std::string& value)
{
    VARIANT variant;
    VariantInit(&variant);
    variant.vt = VT_BSTR;
    variant.bstrVal = SysAllocString(Widen(value).c_str());
    const Bstr property(name);
    const HRESULT result = document->setProperty(property.Get(), variant);
    VariantClear(&variant);
    return SUCCEEDED(result);
}


}  // namespace

// The loaded document, its thread's COM initialisation, and the nodes handed out
// (held until unloaded, so that XmlNode stays a plain pointer).
struct MsxmlDocument {
    ~MsxmlDocument()
    {
        for (IXMLDOMNode* node : handedOut)
            node->Release();
        dom.Reset();
        CoUninitialize();
    }

    ComPtr<IXMLDOMDocument2> dom;
    std::vector<IXMLDOMNode*> handedOut;
};

std::string XmlNode::FirstChildValue() const
{
    auto* node = static_cast<IXMLDOMNode*>(m_node);
    ComPtr<IXMLDOMNode> child;
    DOMNodeType type = NODE_INVALID;
    if (node == nullptr || node->get_firstChild(child.Receive()) != S_OK || !child || FAILED(child->get_nodeType(&type)))
        return {};
    switch (type) {
    case NODE_TEXT:
    case NODE_CDATA_SECTION:
    case NODE_COMMENT:
    case NODE_PROCESSING_INSTRUCTION:
        return NodeValue(child.Get());
    default:
        return {};  // elements, entity references and declarations carry no value
    }
}

std::optional<std::string> XmlNode::Attribute(const std::string& qualifiedName) const
{
    auto* node = static_cast<IXMLDOMNode*>(m_node);
    ComPtr<IXMLDOMNamedNodeMap> attributes;
    ComPtr<IXMLDOMNode> attribute;
    const Bstr name(qualifiedName);
    if (node == nullptr || node->get_attributes(attributes.Receive()) != S_OK || !attributes ||
        attributes->getNamedItem(name.Get(), attribute.Receive()) != S_OK || !attribute)
        return std::nullopt;
    return NodeValue(attribute.Get());
}

void XmlDocument::DocumentDeleter::operator()(void* document) const
{
    delete static_cast<MsxmlDocument*>(document);
}

bool XmlDocument::LoadText(const std::string& text)
{
    Unload();
    if (text.empty() || text.size() > kMaxDocumentBytes)
        return false;
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return false;
    auto document = std::make_unique<MsxmlDocument>();  // uninitialises COM when it goes
    ComPtr<IUnknown> unknown;
    if (FAILED(CoCreateInstance(kDomDocument30, nullptr, kAnyServer, IID_IUnknown,
                                reinterpret_cast<void**>(unknown.Receive()))) ||
        FAILED(OleRun(unknown.Get())) ||
        FAILED(unknown->QueryInterface(kXmlDomDocument2, reinterpret_cast<void**>(document->dom.Receive()))))
        return false;
    IXMLDOMDocument2* dom = document->dom.Get();
    VARIANT_BOOL loaded = VARIANT_FALSE;
    const Bstr xml(text);
    if (FAILED(dom->put_async(VARIANT_FALSE)) || FAILED(dom->put_preserveWhiteSpace(VARIANT_TRUE)) ||
        FAILED(dom->put_resolveExternals(VARIANT_FALSE)) || FAILED(dom->put_validateOnParse(VARIANT_FALSE)) ||
        dom->loadXML(xml.Get(), &loaded) != S_OK || loaded != VARIANT_TRUE || !SetProperty(dom, "SelectionLanguage", "XPath"))
        return false;
    // A document type declaration is refused: it is the only way to entity
    // expansion, and SOAP messages must not carry one.
    ComPtr<IXMLDOMDocumentType> doctype;
    if (SUCCEEDED(dom->get_doctype(doctype.Receive())) && doctype)
        return false;
    m_document.reset(document.release());
    SetSelectionNamespaces(std::move(m_namespaces));
    return true;
}

void XmlDocument::SetSelectionNamespaces(std::vector<XmlNamespaceBinding> bindings)
{
    m_namespaces = std::move(bindings);
    auto* document = static_cast<MsxmlDocument*>(m_document.get());
    if (document == nullptr)
        return;
    std::string declarations;
    for (const auto& [prefix, name] : m_namespaces)
        declarations += (declarations.empty() ? "xmlns:" : " xmlns:") + prefix + "='" + name + "'";
    SetProperty(document->dom.Get(), "SelectionNamespaces", declarations);
}

std::vector<XmlNode> XmlDocument::SelectNodes(const std::string& xpath) const
{
    auto* document = static_cast<MsxmlDocument*>(m_document.get());
    ComPtr<IXMLDOMNodeList> list;
    const Bstr path(xpath);
    if (document == nullptr || document->dom->selectNodes(path.Get(), list.Receive()) != S_OK || !list)
        return {};
    std::vector<XmlNode> nodes;
    for (;;) {
        IXMLDOMNode* node = nullptr;
        if (list->nextNode(&node) != S_OK || node == nullptr)
            break;
        document->handedOut.push_back(node);
        nodes.push_back(XmlNode(node));
    }
    return nodes;
}

}  // namespace korvane::platform
