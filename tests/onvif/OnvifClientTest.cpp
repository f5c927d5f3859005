#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "camsim/Camera.h"
#include "onvif/OnvifClient.h"
#include "runtime/Base64.h"
#include "runtime/Sha1.h"

using namespace korvane;
using camsim::OnvifSecurity;

namespace {

const char kSoap[] = "http://www.w3.org/2003/05/soap-envelope";
const char kTrt[] = "http://www.onvif.org/ver10/media/wsdl";
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
    const size_t end = envelope.find("</s:Body>");
    if (start == std::string::npos || end == std::string::npos)
        return std::string();
    return envelope.substr(start + sizeof(kBodyStart) - 1, end - start - sizeof(kBodyStart) + 1);
}

std::string Declarations()
{
    return std::string(" xmlns=\"") + kTrt + "\"";
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
    std::string LastBody() { return BodyOf(Requests().back().envelope); }

    std::unique_ptr<camsim::Camera> m_camera;
    DEVICE_INFO m_device;
};

}  // namespace

TEST_F(OnvifClientTest, CapabilitiesBringTheAnnouncedServicePaths)
{
    Onvif().SetMediaPath("/onvif/Media");
    COnvifClient client(m_device);
    ASSERT_TRUE(client.Init("", ""));
    Onvif::Capabilities capabilities;
    ASSERT_TRUE(client.GetCapabilities(capabilities));
    EXPECT_EQ(capabilities.devicePath, "/onvif/device_service");
    EXPECT_EQ(capabilities.mediaPath, "/onvif/Media");
    EXPECT_EQ(capabilities.ptzPath, "/onvif/ptz_service");
    EXPECT_EQ(capabilities.eventsPath, "/onvif/event_service");
    EXPECT_TRUE(capabilities.eventsPullPointSupport);
    EXPECT_EQ(capabilities.inputConnectors, 2u);
    EXPECT_EQ(capabilities.relayOutputs, 1u);
    EXPECT_EQ(client.GetPtzServicePath(), "/onvif/ptz_service");

    std::vector<Onvif::MediaProfile> profiles;
    ASSERT_TRUE(client.GetProfiles(profiles));
    EXPECT_EQ(Requests().back().path, "/onvif/Media");
}

TEST_F(OnvifClientTest, EnvelopeIsWellFormedAndCarriesAVerifiableDigest)
{
    COnvifClient client(m_device);
    ASSERT_TRUE(client.Init("", ""));
    Onvif::Capabilities capabilities;
    ASSERT_TRUE(client.GetCapabilities(capabilities));

    const std::string envelope = Requests().at(0).envelope;
    EXPECT_EQ(Requests().at(0).security, OnvifSecurity::Digest);
    EXPECT_EQ(m_camera->HttpRequests().All().at(0).Header("Content-Type"), "application/soap+xml; charset=utf-8");
    EXPECT_EQ(envelope.rfind(std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?><s:Envelope xmlns:s=\"") + kSoap +
                                 "\"><s:Header><wsse:Security xmlns:wsse=\"http://docs.oasis-open.org/wss/2004/01/"
                                 "oasis-200401-wss-wssecurity-secext-1.0.xsd\" xmlns:wsu=\"http://docs.oasis-open.org/"
                                 "wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd\"><wsse:UsernameToken>"
                                 "<wsse:Username>admin</wsse:Username><wsse:Password Type=\"http://docs.oasis-open.org/"
                                 "wss/2004/01/oasis-200401-wss-username-token-profile-1.0#PasswordDigest\">",
                             0),
              0u);
    EXPECT_EQ(envelope.substr(envelope.size() - 17), "</s:Envelope>\r\n\r\n");
    EXPECT_EQ(BodyOf(envelope),
              "<tds:GetCapabilities xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\">"
              "<tds:Category>All</tds:Category></tds:GetCapabilities>");

    CXmlParser parser;
    parser.Namespaces().Add("s", kSoap);
    ASSERT_TRUE(parser.LoadFromText(envelope));
    const std::string token = "s:Envelope/s:Header/wsse:Security/wsse:UsernameToken/";
    const std::vector<uint8_t> nonce = Base64Decode(parser.GetText(token + "wsse:Nonce"));
    EXPECT_EQ(nonce.size(), 16u);
    const std::string hashed = std::string(nonce.begin(), nonce.end()) + parser.GetText(token + "wsu:Created") + "secret";
    const std::array<uint8_t, 20> digest = Sha1(hashed.data(), hashed.size());
    EXPECT_EQ(parser.GetText(token + "wsse:Password"), Base64Encode(digest.data(), digest.size()));
}

TEST_F(OnvifClientTest, MissingProfileIsCreatedFromProfileZerosSource)
{
    COnvifClient client(m_device);
    ASSERT_TRUE(client.Init("", ""));
    std::vector<Onvif::MediaProfile> profiles;
    ASSERT_TRUE(client.GetProfiles(profiles));
    EXPECT_EQ(LastBody(), std::string("<trt:GetProfiles xmlns:trt=\"") + kTrt + "\" xmlns:tt=\"" + kTt + "\"/>");
    ASSERT_EQ(profiles.size(), 2u);
    EXPECT_EQ(profiles[0].name, "profile0");
    EXPECT_EQ(profiles[1].videoEncoder.encoding, "H264");

    Onvif::MediaProfile profile0;
    ASSERT_TRUE(client.GetProfile("profile0", profile0));
    EXPECT_EQ(LastBody(), std::string("<trt:GetProfile xmlns:trt=\"") + kTrt + "\" xmlns:tt=\"" + kTt +
                              "\"><trt:ProfileToken>profile0</trt:ProfileToken></trt:GetProfile>");
    EXPECT_EQ(profile0.videoSource.token, "vsc0");

    std::string token;
    ASSERT_TRUE(client.CreateProfile("MLIVE", token));
    EXPECT_EQ(LastBody(), "<CreateProfile" + Declarations() + "><Name>MLIVE</Name></CreateProfile>");
    ASSERT_TRUE(client.AddVideoSourceConfiguration(token, profile0.videoSource.token));
    EXPECT_EQ(LastBody(), "<AddVideoSourceConfiguration" + Declarations() + "><ProfileToken>" + token +
                              "</ProfileToken><ConfigurationToken>vsc0</ConfigurationToken>"
                              "</AddVideoSourceConfiguration>");
    ASSERT_TRUE(client.AddVideoEncoderConfiguration(token, "2"));
    EXPECT_EQ(LastBody(), "<AddVideoEncoderConfiguration" + Declarations() + "><ProfileToken>" + token +
                              "</ProfileToken><ConfigurationToken>2</ConfigurationToken>"
                              "</AddVideoEncoderConfiguration>");

    ASSERT_TRUE(client.GetProfiles(profiles));
    ASSERT_EQ(profiles.size(), 3u);
    EXPECT_EQ(profiles[2].token, token);
    EXPECT_EQ(profiles[2].name, "MLIVE");
    EXPECT_EQ(profiles[2].videoSource.token, "vsc0");
    EXPECT_EQ(profiles[2].videoEncoder.width, 1920u);
}

TEST_F(OnvifClientTest, EncoderConfigurationRoundTrip)
{
    COnvifClient client(m_device);
    ASSERT_TRUE(client.Init("", ""));
    Onvif::VideoEncoderConfiguration encoder;
    ASSERT_TRUE(client.GetVideoEncoderConfiguration("3", encoder));
    EXPECT_EQ(LastBody(), "<GetVideoEncoderConfiguration" + Declarations() +
                              "><ConfigurationToken>3</ConfigurationToken></GetVideoEncoderConfiguration>");
    EXPECT_EQ(encoder.multicast.ipv4Address, "239.120.100.100");
    EXPECT_EQ(encoder.multicast.autoStart, "false");

    encoder.name = "jpeg3";
    encoder.height = 272;
    encoder.quality = 4.7f;
    encoder.sessionTimeout = "PT1M0S";
    ASSERT_TRUE(client.SetVideoEncoderConfiguration(encoder));
    EXPECT_EQ(LastBody(), "<SetVideoEncoderConfiguration" + Declarations() + " xmlns:tt=\"" + kTt + "\">" +
                              encoder.ToXml() + "<ForcePersistence>true</ForcePersistence>"
                                                "</SetVideoEncoderConfiguration>");

    camsim::OnvifEncoderConfiguration stored;
    ASSERT_TRUE(Onvif().FindEncoder("3", stored));
    EXPECT_EQ(stored.name, "jpeg3");
    EXPECT_EQ(stored.height, 272u);
    EXPECT_EQ(stored.quality, "4");
    EXPECT_EQ(stored.autoStart, "false");
    EXPECT_EQ(stored.multicastAddress, "239.120.100.100");
    EXPECT_EQ(stored.sessionTimeout, "PT1M0S");
}

TEST_F(OnvifClientTest, RefusedDigestIsRetriedOnceWithThePlainPasswordWhichThenSticks)
{
    Onvif().SetRefuseDigest(true);
    COnvifClient client(m_device);
    ASSERT_TRUE(client.Init("", ""));
    std::vector<Onvif::MediaProfile> profiles;
    ASSERT_TRUE(client.GetProfiles(profiles));
    std::vector<camsim::OnvifRequestRecord> requests = Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].security, OnvifSecurity::Digest);
    EXPECT_FALSE(requests[0].authorised);
    EXPECT_EQ(requests[1].security, OnvifSecurity::Plain);
    EXPECT_TRUE(requests[1].authorised);
    EXPECT_NE(requests[1].envelope.find("<wsse:Password>secret</wsse:Password>"), std::string::npos);
    EXPECT_EQ(requests[1].envelope.find("wsse:Nonce"), std::string::npos);
    EXPECT_FALSE(client.UsesDigest());

    Onvif().ClearRequests();
    ASSERT_TRUE(client.GetProfiles(profiles));
    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Requests()[0].security, OnvifSecurity::Plain);

    ASSERT_TRUE(client.Init("", ""));  // a new start uses the digest again
    Onvif().ClearRequests();
    client.GetProfiles(profiles);
    EXPECT_EQ(Requests().at(0).security, OnvifSecurity::Digest);
}

TEST_F(OnvifClientTest, BasicSchemeSendsThePlainPasswordFromTheStart)
{
    COnvifClient client(m_device);
    ASSERT_TRUE(client.Init("Basic", ""));
    std::vector<Onvif::MediaProfile> profiles;
    ASSERT_TRUE(client.GetProfiles(profiles));
    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Requests()[0].security, OnvifSecurity::Plain);
}

TEST_F(OnvifClientTest, WrongPasswordFailsAfterOnePlainRetry)
{
    m_device.password = "wrong";
    COnvifClient client(m_device);
    ASSERT_TRUE(client.Init("", ""));
    std::vector<Onvif::MediaProfile> profiles;
    EXPECT_FALSE(client.GetProfiles(profiles));
    ASSERT_EQ(Requests().size(), 2u);
    EXPECT_EQ(Requests()[1].security, OnvifSecurity::Plain);
    EXPECT_EQ(client.GetLastError().httpStatus, 400u);
    EXPECT_EQ(client.GetLastError().code, "env:Sender");
    EXPECT_EQ(client.GetLastErrorText(". "), ". Reason: Sender not authorized (code: ter:NotAuthorized)");
}

TEST_F(OnvifClientTest, FaultsAndHttpFailuresBecomeErrorTexts)
{
    COnvifClient client(m_device);
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

TEST_F(OnvifClientTest, WithoutCredentialsThereIsNoHeader)
{
    StartCamera("", "");
    COnvifClient client(m_device);
    ASSERT_TRUE(client.Init("", ""));
    std::vector<Onvif::MediaProfile> profiles;
    ASSERT_TRUE(client.GetProfiles(profiles));
    const std::string envelope = Requests().at(0).envelope;
    EXPECT_EQ(envelope.find("Header"), std::string::npos);
    EXPECT_NE(envelope.find(std::string("<s:Envelope xmlns:s=\"") + kSoap + "\">" + kBodyStart), std::string::npos);
}

TEST_F(OnvifClientTest, CredentialsNamesAndTokensAreEscaped)
{
    const std::string user = "ad<m&in";
    const std::string password = "p\"a'ss<&>";
    StartCamera(user, password);

    COnvifClient digest(m_device);
    ASSERT_TRUE(digest.Init("", ""));
    std::vector<Onvif::MediaProfile> profiles;
    ASSERT_TRUE(digest.GetProfiles(profiles));
    EXPECT_NE(Requests().at(0).envelope.find("<wsse:Username>ad&lt;m&amp;in</wsse:Username>"), std::string::npos);

    COnvifClient plain(m_device);
    ASSERT_TRUE(plain.Init("Basic", ""));
    ASSERT_TRUE(plain.GetProfiles(profiles));
    EXPECT_TRUE(Requests().back().authorised);

    const std::string name = "A<b>&\"c'</Name>";
    std::string token;
    ASSERT_TRUE(plain.CreateProfile(name, token));
    EXPECT_EQ(Onvif().Profiles().back().name, name);
    ASSERT_TRUE(plain.AddVideoSourceConfiguration(token, "vsc0"));
    ASSERT_TRUE(plain.GetProfiles(profiles));
    ASSERT_EQ(profiles.size(), 3u);
    EXPECT_EQ(profiles[2].name, name);

    Onvif::MediaProfile profile;
    EXPECT_FALSE(plain.GetProfile("p\"1</trt:ProfileToken>", profile));
    EXPECT_EQ(LastBody(), std::string("<trt:GetProfile xmlns:trt=\"") + kTrt + "\" xmlns:tt=\"" + kTt +
                              "\"><trt:ProfileToken>p&quot;1&lt;/trt:ProfileToken&gt;</trt:ProfileToken>"
                              "</trt:GetProfile>");
    EXPECT_EQ(plain.GetLastErrorText(""), "Reason: The requested profile does not exist (code: ter:InvalidArgVal > "
                                          "ter:NoProfile)");
}

TEST_F(OnvifClientTest, CallsWithoutRequiredArgumentsOrSenderSendNothing)
{
    COnvifClient client(m_device);
    std::vector<Onvif::MediaProfile> profiles;
    EXPECT_FALSE(client.GetProfiles(profiles));  // before Init
    EXPECT_EQ(client.GetLastErrorText(""), "Device is not accessible");

    ASSERT_TRUE(client.Init("", ""));
    std::string token;
    EXPECT_FALSE(client.CreateProfile("", token));
    EXPECT_FALSE(client.AddVideoSourceConfiguration("", "vsc0"));
    EXPECT_FALSE(client.AddVideoEncoderConfiguration("created1", ""));
    client.ReleaseSender();
    EXPECT_FALSE(client.GetProfiles(profiles));
    EXPECT_TRUE(Requests().empty());
}

TEST(OnvifClient, ListReadingFindsTokensWithQuotes)
{
    CXmlParser parser;
    ASSERT_TRUE(parser.LoadFromText(std::string("<r xmlns:tt=\"") + kTt +
                                    "\"><p token=\"a&quot;b\"><tt:Name>one</tt:Name></p>"
                                    "<p token=\"c'd&quot;e\"><tt:Name>two</tt:Name></p><p><tt:Name>x</tt:Name></p></r>"));
    TestClient client(DEVICE_INFO{});
    std::vector<Onvif::VideoEncoderConfiguration> records;
    client.ReadList(parser, "r/p", records);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].token, "a\"b");
    EXPECT_EQ(records[0].name, "one");
    EXPECT_EQ(records[1].token, "c'd\"e");
    EXPECT_EQ(records[1].name, "two");
}

TEST(OnvifClient, ElementsDeclareOnlyKnownPrefixes)
{
    TestClient client(DEVICE_INFO{});
    ASSERT_TRUE(client.Init("", "ex=urn:example"));
    EXPECT_EQ(client.BuildElement("ex:A", "", "ex", "nope"), "<ex:A xmlns:ex=\"urn:example\"/>");
    EXPECT_EQ(client.BuildElement("A", "x", "ex"), "<A xmlns=\"urn:example\">x</A>");
    EXPECT_EQ(client.BuildElement("A", "x", "unknown"), "<A>x</A>");
}

TEST(OnvifClient, ServicePathsFromAddresses)
{
    EXPECT_EQ(COnvifClient::ServicePathFromAddress("http://10.0.0.5:8080/onvif/media"), "/onvif/media");
    EXPECT_EQ(COnvifClient::ServicePathFromAddress("http://10.0.0.5"), "");
    EXPECT_EQ(COnvifClient::ServicePathFromAddress("/onvif/device_service"), "/onvif/device_service");
}
