#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <utility>

#include "capabilities/CameraReply.h"
#include "onvif/XmlNamespaces.h"
#include "onvif/XmlParser.h"
#include "support/ScratchDirectory.h"
#include "support/TestData.h"

namespace korvane {
namespace {

using test::ScratchDirectory;

const char kOnvifSchema[] = "http://www.onvif.org/ver10/schema";
const char kSoap[] = "http://www.w3.org/2003/05/soap-envelope";
const char kProfilesPath[] = "SOAP-ENV:Envelope/SOAP-ENV:Body/trt:GetProfilesResponse/trt:Profiles";

std::string ProfilePath(const std::string& token, const std::string& child)
{
    return std::string(kProfilesPath) + "[@token=\"" + token + "\"]" + child;
}

TEST(XmlParser, AnswersPathQueriesAndBadPathsSilently)
{
    CXmlParser parser;
    ASSERT_TRUE(parser.LoadFromText(test::ReadTestData("onvif/profiles-reply.xml")));
    testing::internal::CaptureStderr();
    EXPECT_EQ(parser.GetAttributeList(kProfilesPath, "token"), (std::vector<std::string>{"MREC", "", "MLIVE"}));
    EXPECT_EQ(parser.GetText(ProfilePath("MREC", "/tt:Name")), "MREC");
    EXPECT_EQ(parser.GetText(ProfilePath("MREC", "/tt:VideoEncoderConfiguration/tt:Resolution/tt:Width")), "1920");
    EXPECT_EQ(parser.GetAttribute(ProfilePath("MREC", "/tt:VideoEncoderConfiguration"), "token"), "enc0");
    EXPECT_EQ(parser.GetAttribute(kProfilesPath, "fixed"), "true");
    EXPECT_EQ(parser.GetAttribute(kProfilesPath, "missing"), "");
    EXPECT_TRUE(parser.NodeExists(ProfilePath("MLIVE", "")));
    EXPECT_FALSE(parser.NodeExists(ProfilePath("MREMOTE", "")));
    EXPECT_EQ(parser.GetText(ProfilePath("MREMOTE", "/tt:Name")), "");

    // Bad paths give empty results.
    EXPECT_EQ(parser.GetText("undeclared:Envelope"), "");
    EXPECT_FALSE(parser.NodeExists("SOAP-ENV:Envelope[["));
    EXPECT_EQ(parser.GetAttribute("", "token"), "");
    EXPECT_TRUE(parser.GetAttributeList("//trt:Profiles/@token)", "token").empty());
    EXPECT_FALSE(parser.NodeExists("count(//trt:Profiles)"));  // not a node set
    EXPECT_FALSE(parser.NodeExists("//namespace::*"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    // Text is the first child's value, none when that is an element; white space is kept.
    CXmlParser texts;
    ASSERT_TRUE(texts.LoadFromText(
        "<r><empty/><selfclosed></selfclosed><text>a &amp; b</text><nested><x>1</x></nested>"
        "<spaced>\n  <x>1</x></spaced><cdata><![CDATA[<raw>]]></cdata><comment><!--note-->after</comment>"
        "<mixed>one<x/>two</mixed></r>"));
    const std::pair<const char*, const char*> firstTexts[] = {
        {"r/empty", ""},      {"r/selfclosed", ""}, {"r/text", "a & b"},   {"r/nested", ""},
        {"r/spaced", "\n  "}, {"r/cdata", "<raw>"}, {"r/comment", "note"}, {"r/mixed", "one"},
        {"r/text/text()", ""}};  // a text node has no children
    for (const auto& [path, text] : firstTexts)
        EXPECT_EQ(texts.GetText(path), text) << path;

    // Attributes match qualified names; an attribute has no attributes.
    CXmlParser attributes;
    ASSERT_TRUE(attributes.LoadFromText(test::ReadTestDataTexts("onvif/records.txt").at("qualified attributes")));
    attributes.Namespaces().Add("d", "urn:default");
    const std::tuple<const char*, const char*, const char*> values[] = {
        {"*", "token", ""},        {"*", "p:token", "prefixed"}, {"*", "id", "x < y"},
        {"*", "xmlns:p", "urn:p"}, {"*", "xmlns", "urn:default"}, {"*/@id", "id", ""}};
    for (const auto& [path, name, value] : values)
        EXPECT_EQ(attributes.GetAttribute(path, name), value) << path << " " << name;
}

TEST(XmlParser, PrefixesResolveThroughTheTableAndTheReply)
{
    // The camera binds tt to a namespace other than the standard table's.
    const std::map<std::string, std::string> replies = test::ReadTestDataTexts("onvif/records.txt");
    CXmlParser vendor;
    ASSERT_TRUE(vendor.LoadFromText(replies.at("vendor tt binding")));
    EXPECT_EQ(vendor.Namespaces().GetNamespace("tt"), "urn:vendor:schema");
    EXPECT_EQ(vendor.GetText("SOAP-ENV:Envelope/SOAP-ENV:Body/tt:Value"), "42");
    EXPECT_EQ(vendor.GetText("env:Envelope/env:Body/tt:Value"), "42");
    vendor.Unload();  // forgets the reply's bindings
    EXPECT_EQ(vendor.Namespaces().GetNamespace("tt"), "http://www.onvif.org/ver10/schema");
    EXPECT_EQ(vendor.Namespaces().GetNamespace("env"), "");

    // Standard prefixes match whatever prefix the reply uses.
    CXmlParser other;
    ASSERT_TRUE(other.LoadFromText(replies.at("other prefixes")));
    EXPECT_EQ(other.GetText("SOAP-ENV:Envelope/SOAP-ENV:Body/tt:Name"), "cam");

    // The caller's prefixes added before loading are usable.
    CXmlNamespaces client;
    client.Add("s", "http://www.w3.org/2003/05/soap-envelope");
    CXmlParser caller;
    caller.Namespaces().AddAll(client);
    ASSERT_TRUE(caller.LoadFromText("<Envelope xmlns=\"http://www.w3.org/2003/05/soap-envelope\"><Body>ok</Body>"
                                    "</Envelope>"));
    EXPECT_EQ(caller.GetText("s:Envelope/s:Body"), "ok");
    EXPECT_EQ(caller.GetText("Envelope/Body"), "");  // unprefixed names are in no namespace

    // With an empty table only unprefixed paths select.
    CXmlParser empty;
    empty.Namespaces().Clear();
    ASSERT_TRUE(empty.LoadFromText("<a><b>1</b></a>"));
    EXPECT_EQ(empty.GetText("a/b"), "1");
    EXPECT_FALSE(empty.NodeExists("tt:a"));
}

TEST(XmlParser, LoadsOneDocumentAtATimeFromTextOrFile)
{
    CXmlParser parser;
    EXPECT_FALSE(parser.LoadFromText("<a><b></a>"));
    ASSERT_TRUE(parser.LoadFromText("<first/>"));  // a malformed text left it free for a new document
    EXPECT_FALSE(parser.LoadFromText("<second/>"));  // a second load needs an unload first
    EXPECT_TRUE(parser.NodeExists("first"));
    parser.Unload();
    EXPECT_FALSE(parser.NodeExists("first"));
    EXPECT_EQ(parser.GetText("first"), "");
    ASSERT_TRUE(parser.LoadFromText("<second>2</second>"));
    EXPECT_EQ(parser.GetText("second"), "2");

    ScratchDirectory directory;
    const std::string path = directory.WriteFile("c.xml", "<Configuration><Mode>multicast</Mode></Configuration>");
    CXmlParser file;
    EXPECT_FALSE(file.LoadFromFile(""));
    EXPECT_FALSE(file.LoadFromFile(directory.Path() + "missing.xml"));
    EXPECT_FALSE(file.LoadFromFile(directory.Path()));
    ASSERT_TRUE(file.LoadFromFile(path));
    EXPECT_EQ(file.GetText("Configuration/Mode"), "multicast");
    EXPECT_FALSE(file.LoadFromFile(path));
    CXmlParser malformed;
    EXPECT_FALSE(malformed.LoadFromFile(directory.WriteFile("bad.xml", "<Configuration>")));

    // Large documents load up to the size limit.
    const std::string large = "<a>" + std::string(1024 * 1024, 'x') + "</a>";
    CXmlParser big;
    ASSERT_TRUE(big.LoadFromFile(directory.WriteFile("large.xml", large)));
    EXPECT_EQ(big.GetText("a").size(), 1024u * 1024u);
}

// Malformed documents, document type declarations (and with them every entity), oversized and
// deeply nested documents are refused silently, and a file named by an external entity is never read.
TEST(XmlParser, RefusesDangerousDocuments)
{
    ScratchDirectory directory;
    const std::string secret = directory.WriteFile("secret.txt", "TOP-SECRET-CONTENT");
    std::map<std::string, std::string> documents = test::ReadTestDataTexts("onvif/refused-documents.txt");
    ASSERT_EQ(documents.size(), 9u);
    for (auto& [name, document] : documents)
        document = ReplaceAll(document, "{secret}", secret);
    // One flat entity referenced many times in an attribute: 100 KB expanding to 100 MB.
    std::string quadratic = "<!DOCTYPE a [<!ENTITY e \"" + std::string(10000, 'x') + "\">]><a v=\"";
    for (int i = 0; i < 10000; ++i)
        quadratic += "&e;";
    documents["quadratic blowup"] = quadratic + "\"/>";
    documents["above the size limit"] = "<a>" + std::string(platform::XmlDocument::kMaxDocumentBytes, ' ') + "</a>";
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<d>";
    documents["deep nesting"] = deep;
    documents["embedded zero"] = std::string("<a>\0</a>", 8);
    documents["empty"] = "";

    testing::internal::CaptureStderr();
    for (const auto& [name, document] : documents) {
        SCOPED_TRACE(name);
        CXmlParser fromText;
        EXPECT_FALSE(fromText.LoadFromText(document));
        EXPECT_FALSE(fromText.NodeExists("*"));
        EXPECT_EQ(fromText.GetAttribute("*", "v"), "");
        CXmlParser fromFile;
        EXPECT_FALSE(fromFile.LoadFromFile(directory.WriteFile("doc.xml", document)));
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(XmlNamespaces, StandardTableDeclarationsAndAddedEntries)
{
    CXmlNamespaces table;
    EXPECT_EQ(table.Entries().size(), 19u);
    for (const auto& [prefix, entry] : table.Entries())
        EXPECT_EQ(entry.standard, 1) << prefix;
    EXPECT_EQ(table.GetNamespace("SOAP-ENV"), kSoap);
    EXPECT_EQ(table.GetNamespace("tt"), kOnvifSchema);
    EXPECT_EQ(table.GetNamespace("s"), "");
    EXPECT_EQ(table.GetDeclaration("tt"), std::string(" xmlns:tt=\"") + kOnvifSchema + "\"");
    EXPECT_EQ(table.GetDefaultDeclaration("tt"), std::string(" xmlns=\"") + kOnvifSchema + "\"");
    EXPECT_EQ(table.GetDeclaration("unknown"), "");
    EXPECT_EQ(table.GetDefaultDeclaration("unknown"), "");

    // A known prefix is replaced and no longer counts as standard.
    table.Add("tt", "urn:other");
    EXPECT_EQ(table.GetNamespace("tt"), "urn:other");
    EXPECT_EQ(table.Entries().at("tt").standard, 0);
    EXPECT_EQ(table.Entries().size(), 19u);

    table.Clear();
    EXPECT_EQ(table.GetAllDeclarations(), "");
    table.AddStandard();
    EXPECT_EQ(table.Entries().size(), 19u);

    // Incomplete items are skipped.
    table.Clear();
    table.Add("", "urn:x");
    table.Add("x", "");
    EXPECT_TRUE(table.Entries().empty());

    table.AddFromList("a=urn:x b  c=urn:y=z");
    EXPECT_EQ(table.Entries().size(), 2u);  // b has no namespace
    table.Add("b", "urn:b");
    EXPECT_EQ(table.GetAllDeclarations(), "xmlns:a=\"urn:x\" xmlns:b=\"urn:b\" xmlns:c=\"urn:y=z\"");

    // Truncated text ends the search for declarations.
    table.Clear();
    table.AddFromDocument("<a xmlns:x=\"urn:cut");
    table.AddFromDocument("<a xmlns:y");
    table.AddFromDocument("xmlns:");
    EXPECT_EQ(table.GetNamespace("x"), "urn:cut");
    EXPECT_EQ(table.Entries().size(), 1u);

    // A reply's declarations are taken as they are.
    table.Clear();
    table.AddStandard();
    table.AddFromDocument(
        "<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\"\r\n"
        "  xmlns:tt=\"http://www.onvif.org/ver10/schema2\" xmlns:q='urn:single' xmlns:=\"urn:empty\">"
        "<a xmlns:tptz=\"http://www.onvif.org/ver10/ptz/wsdl\"/></env:Envelope>");
    EXPECT_EQ(table.GetNamespace("env"), kSoap);
    EXPECT_EQ(table.GetNamespace("tt"), "http://www.onvif.org/ver10/schema2");
    EXPECT_EQ(table.Entries().at("tt").standard, 0);
    EXPECT_EQ(table.GetNamespace("tptz"), "http://www.onvif.org/ver10/ptz/wsdl");
    EXPECT_EQ(table.GetNamespace("q"), "");
    EXPECT_EQ(table.Entries().size(), 20u);

    // Only entries that are not standard are copied.
    CXmlNamespaces target;
    target.Clear();
    target.AddAll(table);
    EXPECT_EQ(target.Entries().size(), 3u);
    EXPECT_EQ(target.GetNamespace("env"), kSoap);
}

}  // namespace
}  // namespace korvane
