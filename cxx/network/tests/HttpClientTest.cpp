#include "cxx/network/http/HttpClient.h"

#include "HttpTestSupport.h"
#include "TestServer.h"

using namespace Cxx::Network;
using namespace Cxx::Network::Exception;
using namespace Cxx::Network::Http::HttpClient;
using namespace KvTest;

namespace {

// Every case runs over WinInet and over WinHTTP.
class HttpStack : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { ASSERT_TRUE(server.Running()) << "run through with_servers.py"; }

    template <typename TClient>
    std::unique_ptr<TClient> Make(std::uint16_t port, const std::wstring& host = L"127.0.0.1")
    {
        return std::make_unique<TClient>(L"kv-test/1.0", host, L"", 0, port, false, GetParam(), US_Http);
    }

    CTestServer server{"scripted"};
};

INSTANTIATE_TEST_SUITE_P(Stacks, HttpStack, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "WinInet" : "WinHttp"; });

TEST_P(HttpStack, GetSendsPathAndParametersAsQuery)
{
    server.SetRoutes(R"({"/items": {"body": "listed", "headers": [["X-Kv", "1"]]}})");
    CSimpleGetParametersSet query;
    query.AddParameter(std::make_shared<CSimpleTextParameter>(L"a", L"1"));
    query.AddParameter(std::make_shared<CSimpleTextParameter>(L"name", L"a%20b"));
    auto client = Make<CSimpleGetHttpClient>(server.Port());
    client->SendRequest(L"/items", &query, L"");
    std::uint32_t status = 0;
    ASSERT_TRUE(client->GetStatusCode(status));
    EXPECT_EQ(status, 200u);
    EXPECT_EQ(Text(client->ReceiveResponse()), "listed");

    auto plain = Make<CSimpleGetHttpClient>(server.Port());
    plain->SendRequest(L"/items", nullptr, L"");
    EXPECT_EQ(Text(plain->ReceiveResponse()), "listed");

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/items?a=1&name=a%20b");
    EXPECT_EQ(requests[0].Header("Host"), "127.0.0.1:" + std::to_string(server.Port()));
    EXPECT_EQ(requests[0].Header("User-Agent"), "kv-test/1.0");
    EXPECT_EQ(requests[0].body, "");
    EXPECT_EQ(requests[1].target, "/items");
}

TEST_P(HttpStack, PostSendsBodyAndExtraHeadersAsGiven)
{
    server.SetRoutes(R"({"/submit": {"body": "{\"ok\":true}"}})");
    CSimplePostParametersSet body;
    body.AddParameter(std::make_shared<CSimpleTextParameter>(L"a", L"1"));
    body.AddParameter(std::make_shared<CSimpleTextParameter>(L"b", L"x y&z"));
    auto client = Make<CSimplePostHttpClient>(server.Port());
    client->SendRequest(L"/submit", &body, L"Content-Type: application/x-www-form-urlencoded\r\nX-Kv: 7");
    EXPECT_EQ(Text(client->ReceiveResponse()), "{\"ok\":true}");

    auto empty = Make<CSimplePostHttpClient>(server.Port());
    empty->SendRequest(L"/submit", nullptr, L"");

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].target, "/submit");
    EXPECT_EQ(requests[0].body, "a=1&b=x y&z");
    EXPECT_EQ(requests[0].Header("Content-Length"), "11");
    EXPECT_EQ(requests[0].Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(requests[0].Header("X-Kv"), "7");
    EXPECT_EQ(requests[1].body, "");
    EXPECT_EQ(requests[1].Header("Content-Type"), "<none>");
}

TEST_P(HttpStack, ClientAndServerErrorStatusesThrowTheirCodes)
{
    server.SetRoutes(R"({"/missing": {"status": 404}, "/broken": {"status": 503}, "/accepted": {"status": 202}})");
    for (const auto& [path, code, text] : {std::tuple{L"/missing", NEC_ClientStatus, "404"},
                                           std::tuple{L"/broken", NEC_ServerStatus, "503"}}) {
        auto get = Make<CSimpleGetHttpClient>(server.Port());
        const auto getFailure = ConnectionFailure([&] { get->SendRequest(path, nullptr, L""); });
        auto post = Make<CSimplePostHttpClient>(server.Port());
        const auto postFailure = ConnectionFailure([&] { post->SendRequest(path, nullptr, L""); });
        for (const auto& failure : {getFailure, postFailure}) {
            ASSERT_TRUE(failure) << text;
            EXPECT_EQ(failure->GetCode(), code);
            EXPECT_EQ(failure->GetErrorKind(), NEK_Other);
            EXPECT_EQ(std::string(failure->what()), std::string("Send request to the server failure status ") + text + " .");
        }
    }
    auto accepted = Make<CSimplePostHttpClient>(server.Port());
    EXPECT_FALSE(ConnectionFailure([&] { accepted->SendRequest(L"/accepted", nullptr, L""); }));
    std::uint32_t status = 0;
    EXPECT_TRUE(accepted->GetStatusCode(status));
    EXPECT_EQ(status, 202u);
}

TEST_P(HttpStack, RefusedConnectionAndUnknownHostFailTheSend)
{
    const std::uint16_t closed = Loopback::ClosedPort();
    auto refused = Make<CSimpleGetHttpClient>(closed);
    const auto refusal = ConnectionFailure([&] { refused->SendRequest(L"/", nullptr, L""); });
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->GetCode(), NEC_Request);
    EXPECT_EQ(refusal->GetErrorKind(), NEK_CannotConnect);
    // The WinInet POST reports its send failures as a plain CNetworkException.
    auto refusedPost = Make<CSimplePostHttpClient>(closed);
    const auto postRefusal = ConnectionFailure([&] { refusedPost->SendRequest(L"/", nullptr, L""); });
    ASSERT_TRUE(postRefusal);
    EXPECT_EQ(postRefusal->GetCode(), NEC_Request);
    EXPECT_EQ(postRefusal->GetSystemError(), 12029u);
    EXPECT_EQ(postRefusal->GetErrorKind(), GetParam() ? NEK_Other : NEK_CannotConnect);

    // A label longer than 63 characters cannot be put into a DNS query, so the
    // resolver refuses the name without sending anything off the machine.
    auto unknown = Make<CSimpleGetHttpClient>(server.Port(), std::wstring(64, L'k') + L".invalid");
    const auto unresolved = ConnectionFailure([&] { unknown->SendRequest(L"/", nullptr, L""); });
    ASSERT_TRUE(unresolved);
    EXPECT_EQ(unresolved->GetCode(), NEC_Request);
    EXPECT_EQ(unresolved->GetSystemError(), 12007u);
    EXPECT_TRUE(server.Requests().empty());
}

TEST_P(HttpStack, ChunkedReadDeliversTheBodyAndStopsWhenAsked)
{
    const std::string payload = Loopback::Pattern(300000);
    server.WriteFile("payload.bin", payload);
    server.SetRoutes(R"({"/file": {"body_file": "payload.bin"}})");
    auto client = Make<CSimpleGetHttpClient>(server.Port());
    client->SendRequest(L"/file", nullptr, L"");
    CCollector all;
    client->ReceiveResponseByChunks(all, 65536);
    EXPECT_TRUE(all.data == payload);
    EXPECT_EQ(all.contentLength, payload.size());

    auto stopped = Make<CSimpleGetHttpClient>(server.Port());
    stopped->SendRequest(L"/file", nullptr, L"");
    CCollector first;
    first.stopAfterChunks = 1;
    stopped->ReceiveResponseByChunks(first, 65536);
    EXPECT_EQ(first.totals.size(), 1u);
}

TEST(WinHttpConnection, BodyCutOffBeforeItsLengthFails)
{
    CTestServer server("scripted");
    ASSERT_TRUE(server.Running());
    server.WriteFile("payload.bin", Loopback::Pattern(100000));
    server.SetRoutes(R"({"/file": {"body_file": "payload.bin", "drop_after": 30000}})");
    CSimpleGetHttpClient client(L"", L"127.0.0.1", L"", 0, server.Port(), true, false, US_Http);
    client.SendRequest(L"/file", nullptr, L"");
    CCollector sink;
    const auto failure = ConnectionFailure([&] { client.ReceiveResponseByChunks(sink, 8192); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->GetCode(), NEC_ReadBody);
    EXPECT_LE(sink.data.size(), 30000u);
}

TEST(WinHttpConnection, NamedProxyReceivesTheRequest)
{
    CTestServer proxy("scripted");
    ASSERT_TRUE(proxy.Running());
    proxy.SetRoutes(R"({"*": {"body": "via proxy"}})");
    CSimpleGetHttpClient client(L"", L"origin.invalid", L"127.0.0.1", proxy.Port(), 80, false, false, US_Http);
    client.SendRequest(L"/file", nullptr, L"");
    EXPECT_EQ(Text(client.ReceiveResponse()), "via proxy");
    const auto requests = proxy.Requests();
    ASSERT_EQ(requests.size(), 1u);
    // Wine writes the default port into the absolute target, Windows leaves it out.
    EXPECT_TRUE(requests[0].target == "http://origin.invalid/file" ||
                requests[0].target == "http://origin.invalid:80/file")
        << requests[0].target;
}

class CFixedCredentials : public ICredentialsProvider {
public:
    int calls = 0;
    void GetCredentials(std::wstring& user, std::wstring& password) override
    {
        ++calls;
        user = L"user";
        password = L"secret";
    }
};

TEST(WinHttpConnection, AuthenticateSendsAgainUntilTheChallengeIsMet)
{
    CTestServer server("scripted");
    ASSERT_TRUE(server.Running());
    server.SetRoutes(R"({"/secret": [{"status": 401, "headers": [["WWW-Authenticate", "Basic realm=\"kv\""]]},
                                     {"body": "inside"}],
                         "/locked": {"status": 401, "headers": [["WWW-Authenticate", "Basic realm=\"kv\""]]}})");
    CFixedCredentials credentials;
    CSimpleGetHttpClient client(L"", L"127.0.0.1", L"", 0, server.Port(), true, false, US_Http);
    client.SetCredentialsProvider(&credentials);
    const auto challenged = ConnectionFailure([&] { client.SendRequest(L"/secret", nullptr, L""); });
    ASSERT_TRUE(challenged);
    EXPECT_EQ(challenged->GetCode(), NEC_ClientStatus);
    client.Authenticate(L"", nullptr, 0);
    EXPECT_EQ(credentials.calls, 1);
    EXPECT_EQ(Text(client.ReceiveResponse()), "inside");

    CSimpleGetHttpClient locked(L"", L"127.0.0.1", L"", 0, server.Port(), true, false, US_Http);
    ConnectionFailure([&] { locked.SendRequest(L"/locked", nullptr, L""); });
    const auto refused = ConnectionFailure([&] { locked.Authenticate(L"", nullptr, 0); });
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->GetCode(), NEC_Authentication);
    EXPECT_STREQ(refused->what(), "Authentication proxy fails.");
    EXPECT_EQ(server.Requests().size(), 4u);
}

} // namespace
