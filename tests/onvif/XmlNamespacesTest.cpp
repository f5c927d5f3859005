#include <gtest/gtest.h>

#include "onvif/XmlNamespaces.h"

namespace korvane {
namespace {

const char kOnvifSchema[] = "http://www.onvif.org/ver10/schema";

TEST(XmlNamespaces, StartsWithTheStandardTable)
{
    CXmlNamespaces table;
    EXPECT_EQ(table.Entries().size(), 19u);
    for (const auto& [prefix, entry] : table.Entries())
        EXPECT_EQ(entry.standard, 1) << prefix;
    EXPECT_EQ(table.GetNamespace("SOAP-ENV"), "http://www.w3.org/2003/05/soap-envelope");
    EXPECT_EQ(table.GetNamespace("c14n"), "http://www.w3.org/2001/10/xml-exc-c14n#");
    EXPECT_EQ(table.GetNamespace("tt"), kOnvifSchema);
    EXPECT_EQ(table.GetNamespace("tptz"), "http://www.onvif.org/ver20/ptz/wsdl");
    EXPECT_EQ(table.GetNamespace("trt"), "http://www.onvif.org/ver10/media/wsdl");
    EXPECT_EQ(table.GetNamespace("wsse"),
              "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd");
    EXPECT_EQ(table.GetNamespace("wsu"),
              "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd");
    EXPECT_EQ(table.GetNamespace("s"), "");
}

TEST(XmlNamespaces, AddIgnoresEmptyPartsAndReplacesKnownPrefixes)
{
    CXmlNamespaces table;
    table.Clear();
    table.Add("", "urn:x");
    table.Add("x", "");
    EXPECT_TRUE(table.Entries().empty());

    CXmlNamespaces standard;
    standard.Add("tt", "urn:other");
    EXPECT_EQ(standard.GetNamespace("tt"), "urn:other");
    EXPECT_EQ(standard.Entries().at("tt").standard, 0);
    EXPECT_EQ(standard.Entries().size(), 19u);
}

TEST(XmlNamespaces, AddFromListSkipsItemsWithoutEquals)
{
    CXmlNamespaces table;
    table.Clear();
    table.AddFromList("a=urn:x b  c=urn:y=z");
    EXPECT_EQ(table.Entries().size(), 2u);
    EXPECT_EQ(table.GetNamespace("a"), "urn:x");
    EXPECT_EQ(table.GetNamespace("b"), "");
    EXPECT_EQ(table.GetNamespace("c"), "urn:y=z");
}

TEST(XmlNamespaces, AddFromDocumentTakesTheReplysDeclarations)
{
    CXmlNamespaces table;
    table.AddFromDocument(
        "<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\"\r\n"
        "  xmlns:tt=\"http://www.onvif.org/ver10/schema2\" xmlns:q='urn:single' xmlns:=\"urn:empty\">"
        "<a xmlns:tptz=\"http://www.onvif.org/ver10/ptz/wsdl\"/></env:Envelope>");
    EXPECT_EQ(table.GetNamespace("env"), "http://www.w3.org/2003/05/soap-envelope");
    EXPECT_EQ(table.GetNamespace("tt"), "http://www.onvif.org/ver10/schema2");
    EXPECT_EQ(table.Entries().at("tt").standard, 0);
    EXPECT_EQ(table.GetNamespace("tptz"), "http://www.onvif.org/ver10/ptz/wsdl");
    EXPECT_EQ(table.GetNamespace("q"), "");
    EXPECT_EQ(table.Entries().size(), 20u);
}

TEST(XmlNamespaces, AddFromDocumentStopsAtTheEndOfTruncatedText)
{
    CXmlNamespaces table;
    table.Clear();
    table.AddFromDocument("<a xmlns:x=\"urn:cut");
    table.AddFromDocument("<a xmlns:y");
    table.AddFromDocument("xmlns:");
    EXPECT_EQ(table.GetNamespace("x"), "urn:cut");
    EXPECT_EQ(table.Entries().size(), 1u);
}

TEST(XmlNamespaces, AddAllCopiesOnlyNonStandardEntries)
{
    CXmlNamespaces client;
    client.Add("s", "http://www.w3.org/2003/05/soap-envelope");
    CXmlNamespaces target;
    target.Clear();
    target.AddAll(client);
    EXPECT_EQ(target.Entries().size(), 1u);
    EXPECT_EQ(target.GetNamespace("s"), "http://www.w3.org/2003/05/soap-envelope");
}

TEST(XmlNamespaces, BuildsDeclarations)
{
    CXmlNamespaces table;
    EXPECT_EQ(table.GetDeclaration("tt"), std::string(" xmlns:tt=\"") + kOnvifSchema + "\"");
    EXPECT_EQ(table.GetDefaultDeclaration("tt"), std::string(" xmlns=\"") + kOnvifSchema + "\"");
    EXPECT_EQ(table.GetDeclaration("unknown"), "");
    EXPECT_EQ(table.GetDefaultDeclaration("unknown"), "");

    table.Clear();
    EXPECT_EQ(table.GetAllDeclarations(), "");
    table.Add("b", "urn:b");
    table.Add("a", "urn:a");
    EXPECT_EQ(table.GetAllDeclarations(), "xmlns:a=\"urn:a\" xmlns:b=\"urn:b\"");

    table.Clear();
    table.AddStandard();
    EXPECT_EQ(table.Entries().size(), 19u);
}

}  // namespace
}  // namespace korvane
