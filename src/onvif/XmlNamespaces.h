#pragma once
// Prefix table: namespace declarations for SOAP requests and the prefixes that
// reply paths may use.
#include <cstdint>
#include <map>
#include <string>

namespace korvane {

class CXmlNamespaces {
public:
    // Filled with the standard table.
    CXmlNamespaces();
    virtual ~CXmlNamespaces() = default;

    void Clear();
    void AddStandard();
    // Ignored unless both are non-empty; replaces an entry with the same prefix.
    void Add(const std::string& prefix, const std::string& namespaceName);
    // Blank-separated items "prefix=namespace"; items without '=' are skipped.
    void AddFromList(const std::string& list);
    // Every xmlns:prefix="namespace" declaration found in a document text.
    void AddFromDocument(const std::string& document);
    // The entries of the other table that are not standard ones.
    void AddAll(const CXmlNamespaces& other);

    // The namespace bound to the prefix; empty when unknown.
    std::string GetNamespace(const std::string& prefix) const;
    // ` xmlns:prefix="namespace"`, or empty.
    std::string GetDeclaration(const std::string& prefix) const;
    // ` xmlns="namespace"` with the prefix's namespace, or empty.
    std::string GetDefaultDeclaration(const std::string& prefix) const;
    // `xmlns:a="..." xmlns:b="..."` for every entry, in prefix order.
    std::string GetAllDeclarations() const;

    struct Entry {
        std::string namespaceName;
        uint8_t standard = 0;
    };
    const std::map<std::string, Entry>& Entries() const { return m_entries; }

private:
    std::map<std::string, Entry> m_entries;
};

}  // namespace korvane
