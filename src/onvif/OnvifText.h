#pragma once
// Text helpers for building SOAP requests and reading ONVIF replies.
#include <cstdint>
#include <string>

namespace korvane {

// The text with &, <, >, " and ' replaced by entity references, safe as
// element content and as a double- or single-quoted attribute value.
std::string EscapeXml(const std::string& text);

// An XPath string literal that denotes exactly the text, whatever quotes it holds.
std::string XPathLiteral(const std::string& text);

// Unsigned decimal number between optional blanks; 0 when missing or not a number.
uint32_t ParseUnsigned(const std::string& text);
// Floating-point number between optional blanks; 0 when missing or not a number.
float ParseFloat(const std::string& text);

}  // namespace korvane
