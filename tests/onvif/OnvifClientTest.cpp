// The ONVIF SOAP client against the simulated camera, its request builders, the media and PTZ
// records, the WS-Security username token, and the XML parser and namespace table under them.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "camsim/Camera.h"
#include "capabilities/CameraReply.h"
#include "onvif/OnvifClient.h"
#include "onvif/OnvifPtzClient.h"
#include "onvif/OnvifPtzRecords.h"
#include "onvif/OnvifRecords.h"
#include "onvif/OnvifUsernameToken.h"
#include "onvif/XmlNamespaces.h"
#include "onvif/XmlParser.h"
#include "runtime/Base64.h"
#include "support/ScratchDirectory.h"
#include "support/TestData.h"

using namespace korvane;
using camsim::OnvifSecurity;
using korvane::test::ScratchDirectory;

namespace {

const char kSoap[] = "http://www.w3.org/2003/05/soap-envelope";
const char kTt[] = "http://www.onvif.org/ver10/schema";
const char kBodyStart[] =
    "<s:Body xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">";

// Exposes the request builders for checks of their exact output.
class TestClient : public COnvifClient {
public:
    using COnvifClient::BuildElement;
    using COnvifClient::COnvifClient;
    using COnvifClient::ReadList;
};

// The body element the camera received, without the s:Body wrapper.
std::string BodyOf(const std::string& envelope)
{
    const size_t start = envelope.find(kBodyStart);
    if (start == std::string::npos)
        return std::string();
    return envelope.substr(start + sizeof(kBodyStart) - 1, envelope.find("</s:Body>") - start - sizeof(kBodyStart) + 1);
}

class OnvifClientTest : public ::testing::Test {
protected:
    void SetUp() override { StartCamera("admin", "secret"); }

    void StartCamera(const std::string& user, const std::string& password)
    {
        camsim::CameraOptions options;
        options.auth.user = user;
        options.auth.password = password;
        m_camera = std::make_unique<camsim::Camera>(options);
        ASSERT_TRUE(m_camera->Start());
        m_device = m_camera->DeviceInfo();
        m_device.requestTimeoutMs = 2000;
    }

    camsim::COnvifService& Onvif() { return m_camera->Onvif(); }
    std::vector<camsim::OnvifRequestRecord> Requests() { return Onvif().Requests(); }
    // How each request since the last call was secured, and whether the camera refused it.
    std::vector<std::string> Exchange()
    {
        std::vector<std::string> exchange;
        for (const camsim::OnvifRequestRecord& request : Requests()) {
            const bool digest = request.security == OnvifSecurity::Digest;
            const char* security = digest ? "digest" : request.security == OnvifSecurity::Plain ? "plain" : "none";
            exchange.push_back(security + std::string(request.authorised ? "" : " refused"));
        }
        Onvif().ClearRequests();
        return exchange;
    }

    std::unique_ptr<camsim::Camera> m_camera;
    DEVICE_INFO m_device;
    std::vector<Onvif::MediaProfile> m_profiles;
};

TEST_F(OnvifClientTest, MediaCallsSendTheirRequestsInADigestEnvelope)
{
    Onvif().SetMediaPath("/onvif/Media");
    COnvifClient client(m_device);
    ASSERT_TRUE(client.Init("", ""));
    Onvif::Capabilities capabilities;
    ASSERT_TRUE(client.GetCapabilities(capabilities));
    EXPECT_EQ(std::tie(capabilities.devicePath, capabilities.mediaPath, capabilities.ptzPath, capabilities.eventsPath),
              std::make_tuple("/onvif/device_service", "/onvif/Media", "/onvif/ptz_service", "/onvif/event_service"));
    EXPECT_TRUE(capabilities.eventsPullPointSupport);
    EXPECT_EQ(std::tie(capabilities.inputConnectors, capabilities.relayOutputs), std::make_tuple(2u, 1u));
    EXPECT_EQ(client.GetPtzServicePath(), "/onvif/ptz_service");

    // A well-formed envelope with a password digest.
    const std::string envelope = Requests().at(0).envelope;
    EXPECT_EQ(Requests().at(0).security, OnvifSecurity::Digest);
    EXPECT_EQ(m_camera->HttpRequests().All().at(0).Header("Content-Type"), "application/soap+xml; charset=utf-8");
    EXPECT_EQ(envelope.rfind(test::ReadTestData("onvif/digest-envelope-start.xml"), 0), 0u);
    EXPECT_EQ(envelope.substr(envelope.size() - 17), "</s:Envelope>\r\n\r\n");
    EXPECT_TRUE(Requests().at(0).authorised) << "the camera verifies the password digest";

    // A missing profile is created from profile0's source.
    ASSERT_TRUE(client.GetProfiles(m_profiles));
    EXPECT_EQ(Requests().back().path, "/onvif/Media");
    ASSERT_EQ(m_profiles.size(), 2u);
    EXPECT_EQ(std::tie(m_profiles[0].name, m_profiles[1].videoEncoder.encoding), std::make_tuple("profile0", "H264"));
    Onvif::MediaProfile profile0;
    ASSERT_TRUE(client.GetProfile("profile0", profile0));
    EXPECT_EQ(profile0.videoSource.token, "vsc0");
    std::string created;
    ASSERT_TRUE(client.CreateProfile("MLIVE", created));
    ASSERT_TRUE(client.AddVideoSourceConfiguration(created, profile0.videoSource.token));
    ASSERT_TRUE(client.AddVideoEncoderConfiguration(created, "2"));
    ASSERT_TRUE(client.GetProfiles(m_profiles));
    ASSERT_EQ(m_profiles.size(), 3u);
    EXPECT_EQ(std::tie(m_profiles[2].token, m_profiles[2].name, m_profiles[2].videoSource.token),
              std::make_tuple(created, "MLIVE", "vsc0"));
    EXPECT_EQ(m_profiles[2].videoEncoder.width, 1920u);

    // An encoder configuration round trip.
    Onvif::VideoEncoderConfiguration encoder;
    ASSERT_TRUE(client.GetVideoEncoderConfiguration("3", encoder));
    EXPECT_EQ(encoder.multicast.ipv4Address, "239.120.100.100");
    EXPECT_EQ(encoder.multicast.autoStart, "false");
    encoder.name = "jpeg3";
    encoder.height = 272;
    encoder.quality = 4.7f;
    encoder.sessionTimeout = "PT1M0S";
    ASSERT_TRUE(client.SetVideoEncoderConfiguration(encoder));
    camsim::OnvifEncoderConfiguration stored;
    ASSERT_TRUE(Onvif().FindEncoder("3", stored));
    EXPECT_EQ(std::tie(stored.name, stored.quality, stored.autoStart, stored.multicastAddress, stored.sessionTimeout),
              std::make_tuple("jpeg3", "4", "false", "239.120.100.100", "PT1M0S"));
    EXPECT_EQ(stored.height, 272u);

    std::vector<std::string> bodies;
    for (const camsim::OnvifRequestRecord& request : Requests())
        bodies.push_back(BodyOf(request.envelope));
    std::vector<std::string> expected = test::ReadTestDataLines("onvif/media-requests.txt");
    for (std::string& body : expected)
        body = ReplaceAll(ReplaceAll(body, "{token}", created), "{encoder}", encoder.ToXml());
    EXPECT_EQ(bodies, expected);
}

TEST_F(OnvifClientTest, RefusedDigestIsRetriedOnceWithThePlainPasswordWhichThenSticks)
{
    Onvif().SetRefuseDigest(true);
    COnvifClient client(m_device);
    ASSERT_TRUE(client.Init("", ""));
    ASSERT_TRUE(client.GetProfiles(m_profiles));
    const std::string plain = Requests().at(1).envelope;
    EXPECT_NE(plain.find("<wsse:Password>secret</wsse:Password>"), std::string::npos);
    EXPECT_EQ(plain.find("wsse:Nonce"), std::string::npos);
    EXPECT_EQ(Exchange(), (std::vector<std::string>{"digest refused", "plain"}));
    EXPECT_FALSE(client.UsesDigest());
    ASSERT_TRUE(client.GetProfiles(m_profiles));
    EXPECT_EQ(Exchange(), std::vector<std::string>{"plain"});
    ASSERT_TRUE(client.Init("", ""));  // a new start uses the digest again
    client.GetProfiles(m_profiles);
    EXPECT_EQ(Exchange(), (std::vector<std::string>{"digest refused", "plain"}));
    Onvif().SetRefuseDigest(false);

    // The Basic scheme sends the plain password from the start.
    COnvifClient basic(m_device);
    ASSERT_TRUE(basic.Init("Basic", ""));
    ASSERT_TRUE(basic.GetProfiles(m_profiles));
    EXPECT_EQ(Exchange(), std::vector<std::string>{"plain"});

    // A wrong password fails after one plain retry.
    m_device.password = "wrong";
    COnvifClient wrong(m_device);
    ASSERT_TRUE(wrong.Init("", ""));
    EXPECT_FALSE(wrong.GetProfiles(m_profiles));
    EXPECT_EQ(Exchange(), (std::vector<std::string>{"digest refused", "plain refused"}));
    EXPECT_EQ(wrong.GetLastError().httpStatus, 400u);
    EXPECT_EQ(wrong.GetLastError().code, "env:Sender");
    EXPECT_EQ(wrong.GetLastErrorText(". "), ". Reason: Sender not authorized (code: ter:NotAuthorized)");
}

TEST_F(OnvifClientTest, FaultsHttpFailuresAndMissingArgumentsBecomeErrorsAndTextsAreEscaped)
{
    COnvifClient client(m_device);
    EXPECT_FALSE(client.GetProfiles(m_profiles));  // before Init
    EXPECT_EQ(client.GetLastErrorText(""), "Device is not accessible");
    ASSERT_TRUE(client.Init("", ""));
    std::string token;
    EXPECT_FALSE(client.CreateProfile("", token));
    EXPECT_FALSE(client.AddVideoSourceConfiguration("", "vsc0"));
    EXPECT_FALSE(client.AddVideoEncoderConfiguration("created1", ""));
    client.ReleaseSender();
    EXPECT_FALSE(client.GetProfiles(m_profiles));
    EXPECT_TRUE(Requests().empty());

    ASSERT_TRUE(client.Init("", ""));
    Onvif::MediaProfile profile;
    Onvif().FailNextRequest({400, "env:Sender", {"ter:InvalidArgVal", "ter:NoProfile"}, "No such profile"});
    EXPECT_FALSE(client.GetProfile("profile0", profile));
    EXPECT_EQ(client.GetLastErrorText(". "), ". Reason: No such profile (code: ter:InvalidArgVal > ter:NoProfile)");
    EXPECT_EQ(Requests().size(), 1u);  // not an authentication fault: no retry
    EXPECT_TRUE(client.UsesDigest());

    Onvif().FailNextRequest({500, "env:Receiver", {"ter:ActionNotSupported"}, ""});
    EXPECT_FALSE(client.GetProfile("profile0", profile));
    EXPECT_EQ(client.GetLastErrorText("> "), "> Error code: ter:ActionNotSupported");
    EXPECT_EQ(client.GetLastError().httpStatus, 500u);

    ASSERT_TRUE(client.GetProfile("profile0", profile));
    EXPECT_EQ(client.GetLastErrorText(". "), "");

    m_camera->Http().SetFault(camsim::HttpFault::AlwaysUnauthorized);  // refuses the only scheme it offers
    EXPECT_FALSE(client.GetProfile("profile0", profile));
    EXPECT_EQ(client.GetLastErrorText(""), "HTTP status code: 401");

    m_camera->Http().SetFault(camsim::HttpFault::NotFound);
    EXPECT_FALSE(client.GetProfile("profile0", profile));
    EXPECT_EQ(client.GetLastErrorText(""), "HTTP status code: 404");

    m_camera->Stop();
    EXPECT_FALSE(client.GetProfile("profile0", profile));
    EXPECT_EQ(client.GetLastError().httpStatus, 0u);
    EXPECT_EQ(client.GetLastErrorText(". "), ". Device is not accessible");

    // Credentials, names and tokens are escaped, and no credentials send no header.
    StartCamera("", "");
    COnvifClient anonymous(m_device);
    ASSERT_TRUE(anonymous.Init("", ""));
    ASSERT_TRUE(anonymous.GetProfiles(m_profiles));
    const std::string envelope = Requests().at(0).envelope;
    EXPECT_EQ(envelope.find("Header"), std::string::npos);
    EXPECT_NE(envelope.find(std::string("<s:Envelope xmlns:s=\"") + kSoap + "\">" + kBodyStart), std::string::npos);
    anonymous.ReleaseSender();  // its connection would hold up the camera's stop

    StartCamera("ad<m&in", "p\"a'ss<&>");
    COnvifClient digest(m_device);
    ASSERT_TRUE(digest.Init("", ""));
    ASSERT_TRUE(digest.GetProfiles(m_profiles));
    EXPECT_NE(Requests().at(0).envelope.find("<wsse:Username>ad&lt;m&amp;in</wsse:Username>"), std::string::npos);

    COnvifClient plain(m_device);
    ASSERT_TRUE(plain.Init("Basic", ""));
    ASSERT_TRUE(plain.GetProfiles(m_profiles));
    EXPECT_TRUE(Requests().back().authorised);
    const std::string name = "A<b>&\"c'</Name>";
    ASSERT_TRUE(plain.CreateProfile(name, token));
    EXPECT_EQ(Onvif().Profiles().back().name, name);
    ASSERT_TRUE(plain.AddVideoSourceConfiguration(token, "vsc0"));
    ASSERT_TRUE(plain.GetProfiles(m_profiles));
    ASSERT_EQ(m_profiles.size(), 3u);
    EXPECT_EQ(m_profiles[2].name, name);

    EXPECT_FALSE(plain.GetProfile("p\"1</trt:ProfileToken>", profile));
    EXPECT_EQ(BodyOf(Requests().back().envelope),
              "<trt:GetProfile xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\" xmlns:tt=\"" + std::string(kTt) +
                  "\"><trt:ProfileToken>p&quot;1&lt;/trt:ProfileToken&gt;</trt:ProfileToken></trt:GetProfile>");
    EXPECT_EQ(plain.GetLastErrorText(""), "Reason: The requested profile does not exist (code: ter:InvalidArgVal > "
                                          "ter:NoProfile)");
}

SYSTEMTIME At(uint16_t minute, uint16_t second, uint16_t millisecond)
{
    return SYSTEMTIME{2026, 12, 0, 6, 7, minute, second, millisecond};
}

const char kProfilePath[] = "SOAP-ENV:Envelope/SOAP-ENV:Body/trt:GetProfileResponse/trt:Profile";

class OnvifRecords : public ::testing::Test {
protected:
    // Reads the profile of a GetProfile reply with this content.
    bool ReadProfile(const std::string& content, Onvif::MediaProfile& profile)
    {
        CXmlParser parser;
        return parser.LoadFromText(ReplaceAll(texts.at("profile reply"), "{content}", content)) &&
               profile.Read(parser, kProfilePath);
    }

    const std::map<std::string, std::string> texts = test::ReadTestDataTexts("onvif/records.txt");
};

TEST_F(OnvifRecords, ProfilesEncodersPtzRecordsRequestBuildersReadersAndTheUsernameToken)
{
    Onvif::MediaProfile profile;
    ASSERT_TRUE(ReadProfile(texts.at("video source") + texts.at("video encoder"), profile));
    EXPECT_EQ(std::tie(profile.token, profile.name), std::make_tuple("p1", "MLIVE"));
    EXPECT_TRUE(profile.IsValid());
    const Onvif::VideoSourceConfiguration& source = profile.videoSource;
    EXPECT_EQ(std::tie(source.token, source.sourceToken), std::make_tuple("vsc0", "vs0"));
    EXPECT_EQ(std::tie(source.useCount, source.boundsX, source.boundsY, source.boundsWidth, source.boundsHeight),
              std::make_tuple(2u, 8u, 16u, 1920u, 1080u));
    const Onvif::VideoEncoderConfiguration& encoder = profile.videoEncoder;
    EXPECT_EQ(std::tie(encoder.token, encoder.encoding, encoder.h264Profile, encoder.sessionTimeout),
              std::make_tuple("2", "H264", "Main", "PT60S"));
    EXPECT_FLOAT_EQ(encoder.quality, 4.7f);
    EXPECT_EQ(std::tie(encoder.width, encoder.height, encoder.frameRateLimit, encoder.bitrateLimit),
              std::make_tuple(1280u, 720u, 25u, 4096u));
    EXPECT_EQ(encoder.h264GovLength, 30u);
    const Onvif::MulticastConfiguration& multicast = encoder.multicast;
    EXPECT_EQ(std::tie(multicast.ipv4Address, multicast.port, multicast.ttl, multicast.autoStart),
              std::make_tuple("239.1.2.3", 6000u, 5u, "false"));
    EXPECT_EQ(encoder.ToXml(), texts.at("video encoder written"));  // every field read is written back

    // A profile needs its source, not its encoder; numbers that are not numbers read as zero.
    Onvif::MediaProfile withoutEncoder;
    EXPECT_TRUE(ReadProfile(texts.at("video source"), withoutEncoder));
    EXPECT_EQ(std::tie(withoutEncoder.videoEncoder.token, withoutEncoder.videoEncoder.width), std::make_tuple("", 0u));
    Onvif::MediaProfile withoutSource;
    EXPECT_FALSE(ReadProfile(texts.at("video encoder"), withoutSource));

    Onvif::MediaProfile badNumbers;
    ASSERT_TRUE(ReadProfile(texts.at("video source with bad numbers"), badNumbers));
    const Onvif::VideoSourceConfiguration& bad = badNumbers.videoSource;
    EXPECT_EQ(std::tie(bad.useCount, bad.boundsX, bad.boundsY, bad.boundsWidth, bad.boundsHeight),
              std::make_tuple(0u, 0u, 7u, 0u, 0u));

    // The encoder writes the blocks its encoding has, and escaped texts.
    Onvif::VideoEncoderConfiguration written;
    written.mpeg4GovLength = 12;
    written.mpeg4Profile = "SP";
    written.h264GovLength = 30;
    written.encoding = "JPEG";
    std::string xml = written.ToXml();
    EXPECT_EQ(xml.find("<tt:H264>"), std::string::npos);
    EXPECT_EQ(xml.find("<tt:MPEG4>"), std::string::npos);
    written.encoding = "MPEG4";
    xml = written.ToXml();
    EXPECT_NE(xml.find("<tt:MPEG4><tt:GovLength>12</tt:GovLength><tt:Mpeg4Profile>SP</tt:Mpeg4Profile></tt:MPEG4>"),
              std::string::npos);
    EXPECT_EQ(xml.find("<tt:H264>"), std::string::npos);

    written.token = "t\"1'";
    written.name = "a<b>&\"c'";
    written.encoding = "JPEG";
    written.sessionTimeout = "PT1M0S";
    written.multicast.ipv4Address = "239.0.0.1<x/>";
    xml = written.ToXml();
    EXPECT_NE(xml.find("<Configuration token=\"t&quot;1&apos;\">"), std::string::npos);
    EXPECT_NE(xml.find("<tt:Name>a&lt;b&gt;&amp;&quot;c&apos;</tt:Name>"), std::string::npos);
    CXmlParser parser;  // the result stays well formed
    ASSERT_TRUE(parser.LoadFromText("<r xmlns:tt=\"http://www.onvif.org/ver10/schema\">" + xml + "</r>"));
    Onvif::VideoEncoderConfiguration back;
    ASSERT_TRUE(back.Read(parser, "r/Configuration"));
    EXPECT_EQ(std::tie(back.token, back.name, back.multicast.ipv4Address),
              std::tie(written.token, written.name, written.multicast.ipv4Address));

    // Multicast without an address writes no address element.
    Onvif::MulticastConfiguration withoutAddress;
    withoutAddress.port = 6000;
    withoutAddress.ttl = 5;
    withoutAddress.autoStart = "true";
    EXPECT_EQ(withoutAddress.ToXml(), texts.at("multicast without address written"));

    // The PTZ records, with their "Pant" spelling, and the PTZ namespace version.
    CXmlParser reply;
    ASSERT_TRUE(reply.LoadFromText(texts.at("ptz configuration reply")));
    Onvif::PTZConfiguration configuration;
    ASSERT_TRUE(configuration.Read(reply, "SOAP-ENV:Envelope/SOAP-ENV:Body/tt:Conf"));
    EXPECT_TRUE(configuration.IsValid());
    EXPECT_EQ(configuration.token, "c1");
    EXPECT_EQ(configuration.defaultAbsolutePantTiltPositionSpace, "abs");
    EXPECT_FLOAT_EQ(configuration.defaultSpeed.zoomX, 0.25f);
    EXPECT_EQ(configuration.ToXml(), texts.at("ptz configuration written"));

    // Speeds and presets write what they have.
    Onvif::PtzSpeed speed;
    speed.panTiltX = 1.0f;
    speed.panTiltY = 0.5f;
    speed.zoomX = 0.15f;
    EXPECT_EQ(speed.ToXml(), "");
    speed.panTiltSpace = "pt";
    EXPECT_EQ(speed.ToXml(), "<tt:PanTilt space=\"pt\" x=\"1\" y=\"0.50000\" />");
    speed.zoomSpace = "z";
    EXPECT_EQ(speed.ToXml(), "<tt:PanTilt space=\"pt\" x=\"1\" y=\"0.50000\" /><tt:Zoom space=\"z\" x=\"0.15000\" />");

    Onvif::PresetNode preset;
    preset.name = "Door";
    EXPECT_EQ(preset.ToXml(), "<tptz:PresetName>Door</tptz:PresetName>");
    preset.token = "7";
    EXPECT_EQ(preset.ToXml(), "<tptz:PresetName>Door</tptz:PresetName><tptz:PresetToken>7</tptz:PresetToken>");

    EXPECT_EQ(COnvifPtzClient::PtzNamespaceVersion("http://www.onvif.org/ver20/ptz/wsdl"), "ver20");
    EXPECT_EQ(COnvifPtzClient::PtzNamespaceVersion("http://www.onvif.org/ver10/ptz/wsdl"), "ver10");
    EXPECT_EQ(COnvifPtzClient::PtzNamespaceVersion("http://example.com/ver10 x"), "ver10");
    EXPECT_EQ(COnvifPtzClient::PtzNamespaceVersion("http://example.com/ver10"), "");  // no end character
    EXPECT_EQ(COnvifPtzClient::PtzNamespaceVersion("urn:ptz"), "");

    // The client's request builders and readers, and the username token.
    TestClient client(DEVICE_INFO{});
    ASSERT_TRUE(client.Init("", "ex=urn:example"));
    // Elements declare only the prefixes the client knows.
    EXPECT_EQ(client.BuildElement("ex:A", "", "ex", "nope"), "<ex:A xmlns:ex=\"urn:example\"/>");
    EXPECT_EQ(client.BuildElement("A", "x", "ex"), "<A xmlns=\"urn:example\">x</A>");
    EXPECT_EQ(client.BuildElement("A", "x", "unknown"), "<A>x</A>");

    // Lists find tokens with quotes and skip items without one.
    CXmlParser list;
    ASSERT_TRUE(list.LoadFromText(texts.at("quoted tokens")));
    std::vector<Onvif::VideoEncoderConfiguration> records;
    client.ReadList(list, "r/p", records);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(std::tie(records[0].token, records[0].name, records[1].token, records[1].name),
              std::make_tuple("a\"b", "one", "c'd\"e", "two"));

    EXPECT_EQ(COnvifClient::ServicePathFromAddress("http://10.0.0.5:8080/onvif/media"), "/onvif/media");
    EXPECT_EQ(COnvifClient::ServicePathFromAddress("http://10.0.0.5"), "");
    EXPECT_EQ(COnvifClient::ServicePathFromAddress("/onvif/device_service"), "/onvif/device_service");

    // The username token: its nonce, created time and digest texts.
    uint32_t draw = 0;
    auto counting = [&draw] { return draw++; };
    // counter, 'a', millisecond, 'b', second, 'c', minute, then 'd', 'e' as filler up to sixteen characters
    EXPECT_EQ(BuildNonceText(0x1234, At(9, 7, 5), counting), "1234a005b07c09de");
    auto random = [] { return 63u; };
    EXPECT_EQ(BuildNonceText(0x123456, At(59, 59, 999), random), "123456/3e7/3b/3b");  // no filler
    EXPECT_EQ(BuildNonceText(0x1234567, At(59, 59, 999), random).size(), 17u);
    EXPECT_EQ(FormatCreatedTime(At(5, 4, 321)), "2026-12-06T07:05:04Z");  // no fraction of a second

    // The digest of the published example; successive nonces differ.
    const std::vector<uint8_t> nonce = Base64Decode("LKqI6G/AikKCQrN0zqZFlg==");
    EXPECT_EQ(ComputePasswordDigest(std::string(nonce.begin(), nonce.end()), "2010-09-16T07:50:45Z", "userpassword"),
              "tuOSpGlFlIXsozq4HFNeeGeFLEI=");

    const USERNAME_TOKEN_DIGEST first = MakeUsernameTokenDigest("secret");
    const USERNAME_TOKEN_DIGEST second = MakeUsernameTokenDigest("secret");
    EXPECT_NE(first.nonce, second.nonce);
    EXPECT_EQ(Base64Decode(first.nonce).size(), 16u);
    EXPECT_EQ(first.created.size(), 20u);
}

const char kProfilesPath[] = "SOAP-ENV:Envelope/SOAP-ENV:Body/trt:GetProfilesResponse/trt:Profiles";

std::string ProfilePath(const std::string& token, const std::string& child)
{
    return std::string(kProfilesPath) + "[@token=\"" + token + "\"]" + child;
}

TEST(XmlParser, AnswersPathQueriesBadPathsSilentlyResolvesPrefixesAndItsNamespaceTableDeclaresAndAdds)
{
    const std::map<std::string, std::string> replies = test::ReadTestDataTexts("onvif/records.txt");
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
    ASSERT_TRUE(attributes.LoadFromText(replies.at("qualified attributes")));
    attributes.Namespaces().Add("d", "urn:default");
    const std::tuple<const char*, const char*, const char*> values[] = {
        {"*", "token", ""},        {"*", "p:token", "prefixed"}, {"*", "id", "x < y"},
        {"*", "xmlns:p", "urn:p"}, {"*", "xmlns", "urn:default"}, {"*/@id", "id", ""}};
    for (const auto& [path, name, value] : values)
        EXPECT_EQ(attributes.GetAttribute(path, name), value) << path << " " << name;

    // Prefixes resolve through the table and the reply: the camera binds tt to a namespace other than the
    // standard table's.
    CXmlParser vendor;
    ASSERT_TRUE(vendor.LoadFromText(replies.at("vendor tt binding")));
    EXPECT_EQ(vendor.Namespaces().GetNamespace("tt"), "urn:vendor:schema");
    for (const char* path : {"SOAP-ENV:Envelope/SOAP-ENV:Body/tt:Value", "env:Envelope/env:Body/tt:Value"})
        EXPECT_EQ(vendor.GetText(path), "42") << path;
    vendor.Unload();  // forgets the reply's bindings
    EXPECT_EQ(std::make_tuple(vendor.Namespaces().GetNamespace("tt"), vendor.Namespaces().GetNamespace("env")),
              std::make_tuple(kTt, ""));

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

    // The namespace table: the standard declarations and added entries.
    CXmlNamespaces table;
    EXPECT_EQ(table.Entries().size(), 19u);
    for (const auto& [prefix, entry] : table.Entries())
        EXPECT_EQ(entry.standard, 1) << prefix;
    EXPECT_EQ(std::make_tuple(table.GetNamespace("SOAP-ENV"), table.GetNamespace("tt"), table.GetNamespace("s")),
              std::make_tuple(kSoap, kTt, ""));
    EXPECT_EQ(table.GetDeclaration("tt"), std::string(" xmlns:tt=\"") + kTt + "\"");
    EXPECT_EQ(table.GetDefaultDeclaration("tt"), std::string(" xmlns=\"") + kTt + "\"");
    EXPECT_EQ(table.GetDeclaration("unknown"), "");
    EXPECT_EQ(table.GetDefaultDeclaration("unknown"), "");

    // A known prefix is replaced and no longer counts as standard.
    table.Add("tt", "urn:other");
    EXPECT_EQ(std::make_tuple(table.GetNamespace("tt"), table.Entries().at("tt").standard, table.Entries().size()),
              std::make_tuple("urn:other", 0, 19u));

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
    EXPECT_EQ(std::make_tuple(table.GetNamespace("x"), table.Entries().size()), std::make_tuple("urn:cut", 1u));

    // A reply's declarations are taken as they are.
    table.Clear();
    table.AddStandard();
    table.AddFromDocument(
        "<env:Envelope xmlns:env=\"http://www.w3.org/2003/05/soap-envelope\"\r\n"
        "  xmlns:tt=\"http://www.onvif.org/ver10/schema2\" xmlns:q='urn:single' xmlns:=\"urn:empty\">"
        "<a xmlns:tptz=\"http://www.onvif.org/ver10/ptz/wsdl\"/></env:Envelope>");
    EXPECT_EQ(std::make_tuple(table.GetNamespace("env"), table.GetNamespace("tt"), table.Entries().at("tt").standard),
              std::make_tuple(kSoap, "http://www.onvif.org/ver10/schema2", 0));
    EXPECT_EQ(std::make_tuple(table.GetNamespace("tptz"), table.GetNamespace("q"), table.Entries().size()),
              std::make_tuple("http://www.onvif.org/ver10/ptz/wsdl", "", 20u));

    // Only entries that are not standard are copied.
    CXmlNamespaces target;
    target.Clear();
    target.AddAll(table);
    EXPECT_EQ(target.Entries().size(), 3u);
    EXPECT_EQ(target.GetNamespace("env"), kSoap);
}

TEST(XmlParser, LoadsOneDocumentAtATimeFromTextOrFileAndRefusesDangerousDocuments)
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

    // Malformed documents, document type declarations (and with them every entity), oversized and
    // deeply nested documents are refused silently, and a file named by an external entity is never read.
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

}  // namespace
