#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "camsim/Camera.h"
#include "capabilities/CameraReply.h"
#include "onvif/OnvifClient.h"
#include "support/TestData.h"

using namespace korvane;
using camsim::OnvifSecurity;

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
    EXPECT_EQ(m_profiles[0].name, "profile0");
    EXPECT_EQ(m_profiles[1].videoEncoder.encoding, "H264");
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

TEST_F(OnvifClientTest, FaultsHttpFailuresAndMissingArgumentsBecomeErrors)
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
}

TEST_F(OnvifClientTest, CredentialsNamesAndTokensAreEscapedAndNoCredentialsSendNoHeader)
{
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
    std::string token;
    ASSERT_TRUE(plain.CreateProfile(name, token));
    EXPECT_EQ(Onvif().Profiles().back().name, name);
    ASSERT_TRUE(plain.AddVideoSourceConfiguration(token, "vsc0"));
    ASSERT_TRUE(plain.GetProfiles(m_profiles));
    ASSERT_EQ(m_profiles.size(), 3u);
    EXPECT_EQ(m_profiles[2].name, name);

    Onvif::MediaProfile profile;
    EXPECT_FALSE(plain.GetProfile("p\"1</trt:ProfileToken>", profile));
    EXPECT_EQ(BodyOf(Requests().back().envelope),
              "<trt:GetProfile xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\" xmlns:tt=\"" + std::string(kTt) +
                  "\"><trt:ProfileToken>p&quot;1&lt;/trt:ProfileToken&gt;</trt:ProfileToken></trt:GetProfile>");
    EXPECT_EQ(plain.GetLastErrorText(""), "Reason: The requested profile does not exist (code: ter:InvalidArgVal > "
                                          "ter:NoProfile)");
}

TEST(OnvifClient, RequestBuildersAndReaders)
{
    TestClient client(DEVICE_INFO{});
    ASSERT_TRUE(client.Init("", "ex=urn:example"));
    // Elements declare only the prefixes the client knows.
    EXPECT_EQ(client.BuildElement("ex:A", "", "ex", "nope"), "<ex:A xmlns:ex=\"urn:example\"/>");
    EXPECT_EQ(client.BuildElement("A", "x", "ex"), "<A xmlns=\"urn:example\">x</A>");
    EXPECT_EQ(client.BuildElement("A", "x", "unknown"), "<A>x</A>");

    // Lists find tokens with quotes and skip items without one.
    CXmlParser parser;
    ASSERT_TRUE(parser.LoadFromText(test::ReadTestDataTexts("onvif/records.txt").at("quoted tokens")));
    std::vector<Onvif::VideoEncoderConfiguration> records;
    client.ReadList(parser, "r/p", records);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].token, "a\"b");
    EXPECT_EQ(records[0].name, "one");
    EXPECT_EQ(records[1].token, "c'd\"e");
    EXPECT_EQ(records[1].name, "two");

    EXPECT_EQ(COnvifClient::ServicePathFromAddress("http://10.0.0.5:8080/onvif/media"), "/onvif/media");
    EXPECT_EQ(COnvifClient::ServicePathFromAddress("http://10.0.0.5"), "");
    EXPECT_EQ(COnvifClient::ServicePathFromAddress("/onvif/device_service"), "/onvif/device_service");
}

}  // namespace
