#pragma once
// The bases of the ONVIF records: each reads itself from a parsed reply at a
// path and may write itself as XML.
#include <string>

namespace korvane {
class CXmlParser;
}

namespace Onvif {

class CCommonStructure {
public:
    virtual ~CCommonStructure() = default;
    virtual std::string ToXml() const { return std::string(); }
    virtual bool Read(const korvane::CXmlParser& reply, const std::string& path) = 0;
};

class CCommonNamedStructure : public CCommonStructure {
public:
    // Name from "/tt:Name"; the token attribute only when no token is set yet.
    // True when a token is known.
    bool Read(const korvane::CXmlParser& reply, const std::string& path) override;
    virtual bool IsValid() const { return !token.empty() && !name.empty(); }

    std::string token;
    std::string name;
};

}  // namespace Onvif
