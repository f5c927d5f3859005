#include <gtest/gtest.h>

#include <string>

#include "onvif/XmlParser.h"
#include "support/ScratchDirectory.h"

namespace korvane {
namespace {

using test::ScratchDirectory;

const char kProfilesReply[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://www.w3.org/2003/05/soap-envelope\"\n"
    "  xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\" xmlns:tt=\"http://www.onvif.org/ver10/schema\">\n"
    " <SOAP-ENV:Body>\n"
    "  <trt:GetProfilesResponse>\n"
    "   <trt:Profiles token=\"MREC\" fixed=\"true\"><tt:Name>MREC</tt:Name>\n"
    "    <tt:VideoEncoderConfiguration token=\"enc0\"><tt:Encoding>H264</tt:Encoding>"
    "<tt:Resolution><tt:Width>1920</tt:Width><tt:Height>1080</tt:Height></tt:Resolution>"
    "<tt:Quality></tt:Quality></tt:VideoEncoderConfiguration>\n"
    "   </trt:Profiles>\n"
    "   <trt:Profiles><tt:Name>no token</tt:Name></trt:Profiles>\n"
    "   <trt:Profiles token=\"\"><tt:Name>empty token</tt:Name></trt:Profiles>\n"
    "   <trt:Profiles token=\"MLIVE\"><tt:Name>MLIVE</tt:Name></trt:Profiles>\n"
    "  </trt:GetProfilesResponse>\n"
    " </SOAP-ENV:Body>\n"
    "</SOAP-ENV:Envelope>\n";

const char kProfilesPath[] = "SOAP-ENV:Envelope/SOAP-ENV:Body/trt:GetProfilesResponse/trt:Profiles";

std::string ProfilePath(const std::string& token, const std::string& child)
{
    return std::string(kProfilesPath) + "[@token=\"" + token + "\"]" + child;
}

TEST(XmlParser, AnswersPathQueriesOnASoapReply)
{
    CXmlParser parser;
    ASSERT_TRUE(parser.LoadFromText(kProfilesReply));

    EXPECT_EQ(parser.GetAttributeList(kProfilesPath, "token"), (std::vector<std::string>{"MREC", "", "MLIVE"}));
    EXPECT_EQ(parser.GetText(ProfilePath("MREC", "/tt:Name")), "MREC");
    EXPECT_EQ(parser.GetText(ProfilePath("MREC", "/tt:VideoEncoderConfiguration/tt:Resolution/tt:Width")), "1920");
    EXPECT_EQ(parser.GetAttribute(ProfilePath("MREC", "/tt:VideoEncoderConfiguration"), "token"), "enc0");
    EXPECT_EQ(parser.GetAttribute(kProfilesPath, "fixed"), "true");
    EXPECT_EQ(parser.GetAttribute(kProfilesPath, "missing"), "");
    EXPECT_TRUE(parser.NodeExists(ProfilePath("MLIVE", "")));
    EXPECT_FALSE(parser.NodeExists(ProfilePath("MREMOTE", "")));
    EXPECT_EQ(parser.GetText(ProfilePath("MREMOTE", "/tt:Name")), "");
}

TEST(XmlParser, GetTextReturnsTheFirstChildsValue)
{
    CXmlParser parser;
    ASSERT_TRUE(parser.LoadFromText(
        "<r><empty/><selfclosed></selfclosed><text>a &amp; b</text><nested><x>1</x></nested>"
        "<spaced>\n  <x>1</x></spaced><cdata><![CDATA[<raw>]]></cdata><comment><!--note-->after</comment>"
        "<mixed>one<x/>two</mixed></r>"));
    EXPECT_EQ(parser.GetText("r/empty"), "");
    EXPECT_EQ(parser.GetText("r/selfclosed"), "");
    EXPECT_EQ(parser.GetText("r/text"), "a & b");
    EXPECT_EQ(parser.GetText("r/nested"), "");  // the first child is an element
    EXPECT_EQ(parser.GetText("r/spaced"), "\n  ");  // white space is preserved
    EXPECT_EQ(parser.GetText("r/cdata"), "<raw>");
    EXPECT_EQ(parser.GetText("r/comment"), "note");
    EXPECT_EQ(parser.GetText("r/mixed"), "one");
    EXPECT_EQ(parser.GetText("r/text/text()"), "");  // a text node has no children
}

TEST(XmlParser, ResolvesTheReplysOwnBindingOfAStandardPrefix)
{
    // The camera binds tt to a namespace other than the standard table's.
    const std::string reply =
        "<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\" xmlns:tt=\"urn:vendor:schema\">"
        "<env:Body><tt:Value>42</tt:Value></env:Body></env:Envelope>";
    CXmlParser parser;
    ASSERT_TRUE(parser.LoadFromText(reply));
    EXPECT_EQ(parser.Namespaces().GetNamespace("tt"), "urn:vendor:schema");
    EXPECT_EQ(parser.GetText("SOAP-ENV:Envelope/SOAP-ENV:Body/tt:Value"), "42");
    EXPECT_EQ(parser.GetText("env:Envelope/env:Body/tt:Value"), "42");

    // Unloading forgets the reply's bindings.
    parser.Unload();
    EXPECT_EQ(parser.Namespaces().GetNamespace("tt"), "http://www.onvif.org/ver10/schema");
    EXPECT_EQ(parser.Namespaces().GetNamespace("env"), "");
}

TEST(XmlParser, StandardPrefixesMatchWhateverPrefixTheReplyUses)
{
    const std::string reply =
        "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\">"
        "<e:Body><o:Name xmlns:o=\"http://www.onvif.org/ver10/schema\">cam</o:Name></e:Body></e:Envelope>";
    CXmlParser parser;
    ASSERT_TRUE(parser.LoadFromText(reply));
    EXPECT_EQ(parser.GetText("SOAP-ENV:Envelope/SOAP-ENV:Body/tt:Name"), "cam");
}

TEST(XmlParser, CallerPrefixesAddedBeforeLoadingAreUsable)
{
    const std::string reply =
        "<Envelope xmlns=\"http://www.w3.org/2003/05/soap-envelope\"><Body>ok</Body></Envelope>";
    CXmlNamespaces client;
    client.Add("s", "http://www.w3.org/2003/05/soap-envelope");
    CXmlParser parser;
    parser.Namespaces().AddAll(client);
    ASSERT_TRUE(parser.LoadFromText(reply));
    EXPECT_EQ(parser.GetText("s:Envelope/s:Body"), "ok");
    EXPECT_EQ(parser.GetText("Envelope/Body"), "");  // unprefixed names are in no namespace
}

TEST(XmlParser, WithAnEmptyTableOnlyUnprefixedPathsSelect)
{
    CXmlParser parser;
    parser.Namespaces().Clear();
    ASSERT_TRUE(parser.LoadFromText("<a><b>1</b></a>"));
    EXPECT_EQ(parser.GetText("a/b"), "1");
    EXPECT_FALSE(parser.NodeExists("tt:a"));
}

TEST(XmlParser, BadPathsGiveEmptyResultsSilently)
{
    CXmlParser parser;
    ASSERT_TRUE(parser.LoadFromText(kProfilesReply));
    testing::internal::CaptureStderr();
    EXPECT_EQ(parser.GetText("undeclared:Envelope"), "");
    EXPECT_FALSE(parser.NodeExists("SOAP-ENV:Envelope[["));
    EXPECT_EQ(parser.GetAttribute("", "token"), "");
    EXPECT_TRUE(parser.GetAttributeList("//trt:Profiles/@token)", "token").empty());
    EXPECT_FALSE(parser.NodeExists("count(//trt:Profiles)"));  // not a node set
    EXPECT_FALSE(parser.NodeExists("//namespace::*"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(XmlParser, GetAttributeMatchesQualifiedNames)
{
    CXmlParser parser;
    ASSERT_TRUE(parser.LoadFromText(
        "<a xmlns:p=\"urn:p\" xmlns=\"urn:default\" p:token=\"prefixed\" id=\"x &lt; y\"/>"));
    parser.Namespaces().Add("d", "urn:default");
    EXPECT_EQ(parser.GetAttribute("*", "token"), "");
    EXPECT_EQ(parser.GetAttribute("*", "p:token"), "prefixed");
    EXPECT_EQ(parser.GetAttribute("*", "id"), "x < y");
    EXPECT_EQ(parser.GetAttribute("*", "xmlns:p"), "urn:p");
    EXPECT_EQ(parser.GetAttribute("*", "xmlns"), "urn:default");
    EXPECT_EQ(parser.GetAttribute("*/@id", "id"), "");  // an attribute has no attributes
}

TEST(XmlParser, MalformedTextLeavesTheParserUnloaded)
{
    CXmlParser parser;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(parser.LoadFromText("<a><b></a>"));
    EXPECT_FALSE(parser.LoadFromText("not xml at all"));
    EXPECT_FALSE(parser.LoadFromText(std::string("<a>\0</a>", 8)));
    EXPECT_FALSE(parser.LoadFromText(""));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(parser.NodeExists("a"));
    EXPECT_TRUE(parser.LoadFromText("<a/>"));  // still free for a new document
}

TEST(XmlParser, ASecondLoadNeedsAnUnloadFirst)
{
    CXmlParser parser;
    ASSERT_TRUE(parser.LoadFromText("<first/>"));
    EXPECT_FALSE(parser.LoadFromText("<second/>"));
    EXPECT_TRUE(parser.NodeExists("first"));

    parser.Unload();
    EXPECT_FALSE(parser.NodeExists("first"));
    EXPECT_EQ(parser.GetText("first"), "");
    ASSERT_TRUE(parser.LoadFromText("<second>2</second>"));
    EXPECT_EQ(parser.GetText("second"), "2");
}

TEST(XmlParser, LoadsFromFile)
{
    ScratchDirectory directory;
    const std::string path = directory.WriteFile("c.xml", "<Configuration><Mode>multicast</Mode></Configuration>");
    CXmlParser parser;
    EXPECT_FALSE(parser.LoadFromFile(""));
    EXPECT_FALSE(parser.LoadFromFile(directory.Path() + "missing.xml"));
    EXPECT_FALSE(parser.LoadFromFile(directory.Path()));
    ASSERT_TRUE(parser.LoadFromFile(path));
    EXPECT_EQ(parser.GetText("Configuration/Mode"), "multicast");
    EXPECT_FALSE(parser.LoadFromFile(path));

    CXmlParser malformed;
    EXPECT_FALSE(malformed.LoadFromFile(directory.WriteFile("bad.xml", "<Configuration>")));
}

TEST(XmlParser, RefusesDocumentTypeDeclarations)
{
    CXmlParser parser;
    EXPECT_FALSE(parser.LoadFromText("<?xml version=\"1.0\"?><!DOCTYPE a><a>text</a>"));
    EXPECT_FALSE(parser.LoadFromText("<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>"));
    EXPECT_FALSE(parser.NodeExists("a"));
}

TEST(XmlParser, NeverReadsExternalEntities)
{
    ScratchDirectory directory;
    const std::string secret = directory.WriteFile("secret.txt", "TOP-SECRET-CONTENT");
    const std::string general = "<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY x SYSTEM \"file://" + secret +
                                "\">]><a>&x;</a>";
    const std::string parameter = "<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY % p SYSTEM \"file://" + secret +
                                  "\"> %p;]><a>text</a>";
    const std::string externalSubset = "<?xml version=\"1.0\"?><!DOCTYPE a SYSTEM \"file://" + secret +
                                       "\"><a>text</a>";
    const std::string inAttribute = "<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY x SYSTEM \"file://" + secret +
                                    "\">]><a v=\"&x;\"/>";

    testing::internal::CaptureStderr();
    for (const std::string& document : {general, parameter, externalSubset, inAttribute}) {
        SCOPED_TRACE(document);
        CXmlParser fromText;
        EXPECT_FALSE(fromText.LoadFromText(document));
        CXmlParser fromFile;
        EXPECT_FALSE(fromFile.LoadFromFile(directory.WriteFile("doc.xml", document)));
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

// Nested entities: the classic exponential expansion.
std::string BillionLaughs()
{
    std::string document = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol0 \"lol\">\n";
    for (int level = 1; level <= 9; ++level) {
        document += "<!ENTITY lol" + std::to_string(level) + " \"";
        for (int i = 0; i < 10; ++i)
            document += "&lol" + std::to_string(level - 1) + ";";
        document += "\">\n";
    }
    return document + "]>\n<lolz><a>&lol9;</a><a v=\"&lol9;\"/></lolz>\n";
}

// One flat entity referenced many times in an attribute: 100 KB expanding to 100 MB.
std::string QuadraticBlowup()
{
    std::string document = "<!DOCTYPE a [<!ENTITY e \"" + std::string(10000, 'x') + "\">]><a v=\"";
    for (int i = 0; i < 10000; ++i)
        document += "&e;";
    return document + "\"/>";
}

TEST(XmlParser, RefusesEntityExpansionBombs)
{
    for (const std::string& document : {BillionLaughs(), QuadraticBlowup()}) {
        CXmlParser parser;
        EXPECT_FALSE(parser.LoadFromText(document));
        EXPECT_EQ(parser.GetAttribute("*", "v"), "");
    }
}

TEST(XmlParser, RefusesDocumentsAboveTheSizeLimit)
{
    const std::string filler(platform::XmlDocument::kMaxDocumentBytes, ' ');
    const std::string oversized = "<a>" + filler + "</a>";
    const std::string large = "<a>" + std::string(1024 * 1024, 'x') + "</a>";
    ScratchDirectory directory;

    CXmlParser parser;
    EXPECT_FALSE(parser.LoadFromText(oversized));
    EXPECT_FALSE(parser.LoadFromFile(directory.WriteFile("huge.xml", oversized)));
    ASSERT_TRUE(parser.LoadFromFile(directory.WriteFile("large.xml", large)));
    EXPECT_EQ(parser.GetText("a").size(), 1024u * 1024u);
}

TEST(XmlParser, RefusesDeepNestingCleanly)
{
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<d>";
    CXmlParser parser;
    EXPECT_FALSE(parser.LoadFromText(deep));
}

}  // namespace
}  // namespace korvane
