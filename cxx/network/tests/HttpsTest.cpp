#include "cxx/network/RequestResponse.h"
#include "cxx/network/http/HttpClient.h"

#include "HttpTestSupport.h"
#include "TestRoot.h"
#include "TestServer.h"

#include <map>

using namespace Cxx::Network;
using namespace Cxx::Network::Exception;
using namespace Cxx::Network::Http::HttpClient;
using namespace KvTest;

namespace {

// The server's certificate names "localhost": reached as 127.0.0.1 it is a
// certificate for another host.
class Https : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Running());
        ASSERT_TRUE(TrustTestRoot()) << TestTlsFile("ca.der");
        server.SetRoutes(R"({"*": {"body": "secure"}})");
    }

    template <typename TClient>
    std::unique_ptr<TClient> Make(const std::wstring& host)
    {
        return std::make_unique<TClient>(L"", host, L"", 0, server.Port(), true, GetParam(), US_Https);
    }

    CTestServer server{"https"};
};

INSTANTIATE_TEST_SUITE_P(Stacks, Https, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "WinInet" : "WinHttp"; });

TEST_P(Https, TrustedServerIsReachedOverTls)
{
    CSimplePostParametersSet body;
    body.AddParameter(std::make_shared<CSimpleTextParameter>(L"v", L"1"));
    auto post = Make<CSimplePostHttpClient>(L"localhost");
    post->SendRequest(L"/collect", &body, L"");
    EXPECT_EQ(Text(post->ReceiveResponse()), "secure");
    auto get = Make<CSimpleGetHttpClient>(L"localhost");
    get->SendRequest(L"/file", nullptr, L"");
    EXPECT_EQ(Text(get->ReceiveResponse()), "secure");

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].body, "v=1");
    EXPECT_EQ(requests[1].target, "/file");
}

TEST_P(Https, CertificateForAnotherHostIsRefused)
{
    CSimplePostParametersSet body;
    body.AddParameter(std::make_shared<CSimpleTextParameter>(L"v", L"1"));
    auto post = Make<CSimplePostHttpClient>(L"127.0.0.1");
    const auto postFailure = ConnectionFailure([&] { post->SendRequest(L"/collect", &body, L""); });
    auto get = Make<CSimpleGetHttpClient>(L"127.0.0.1");
    const auto getFailure = ConnectionFailure([&] { get->SendRequest(L"/file", nullptr, L""); });
    for (const auto& failure : {postFailure, getFailure}) {
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->GetCode(), NEC_Request);
        EXPECT_NE(failure->GetSystemError(), 0u);
    }
    EXPECT_TRUE(server.Requests().empty());
}

TEST(HttpsRequestResponse, SchemeComesFromTheUrlNotFromThePort)
{
    CTestServer server("https");
    ASSERT_TRUE(server.Running());
    ASSERT_TRUE(TrustTestRoot());
    server.SetRoutes(R"({"/component": {"body": "[]"}})");
    const std::string port = std::to_string(server.Port());
    const std::string secure = "https://localhost:" + port + "/component";
    const std::string plain = "http://localhost:" + port + "/component";

    std::string response;
    Cxx::Network::RequestResponse::CHttpRequestResponse overTls(std::wstring(secure.begin(), secure.end()), false);
    EXPECT_EQ(overTls.Send("{}", response), 0);
    EXPECT_EQ(response, "[]");
    // Plain HTTP to a TLS port: the server never sees a request.
    Cxx::Network::RequestResponse::CHttpRequestResponse overHttp(std::wstring(plain.begin(), plain.end()), false);
    response.clear();
    try {
        overHttp.Send("{}", response);
    } catch (const std::shared_ptr<CNetworkException>&) {
        // Either stack may fail the send or the read here.
    }
    EXPECT_EQ(response, "");
    EXPECT_EQ(server.Requests().size(), 1u);
}

// The component query's POST and the download's GET follow redirects, the
// POST with its body and headers, to another host, port and scheme, but never
// from a secure server to a plain one, never without end, never to a Location
// that names nothing or would go raw into the request line; and an answer cut
// before its status line fails.
TEST(HttpsRequestResponse, RedirectIsSentAgainWithItsBody)
{
    CTestServer plain("scripted");
    CTestServer secure("https");
    ASSERT_TRUE(plain.Running() && secure.Running() && TrustTestRoot());
    const std::string plainOrigin = "http://127.0.0.1:" + std::to_string(plain.Port());
    const std::string secureOrigin = "https://localhost:" + std::to_string(secure.Port());
    plain.SetRoutes(R"({"/component": {"status": 307, "headers": {"Location": ")" + secureOrigin +
                    R"(/moved?v=2"}}, "/loop": {"status": 302, "headers": {"Location": "loop"}},
                        "/empty": {"status": 302, "headers": {"Location": ""}},
                        "/long": {"status": 302, "headers": {"Location": "/)" + std::string(3000, 'x') + R"("}},
                        "/raw": {"status": 302, "headers": {"Location": "/a\rb"}},
                        "/drop": {"drop": true}})");
    secure.SetRoutes(R"({"/moved": {"body": "[]"},
                         "/down": {"status": 308, "headers": {"Location": ")" + plainOrigin + R"(/component"}}})");
    const auto wide = [](const std::string& url) { return std::wstring(url.begin(), url.end()); };

    std::string response;
    Cxx::Network::RequestResponse::CHttpRequestResponse moved(wide(plainOrigin + "/component"), false);
    EXPECT_EQ(moved.Send("{\"q\":1}", response), Cxx::Network::RequestResponse::RR_Ok);
    EXPECT_EQ(response, "[]");
    CSimpleGetHttpClient get(L"", L"127.0.0.1", L"", 0, plain.Port(), false, true, US_Http);
    get.SendRequest(L"/component", nullptr, L"");
    EXPECT_EQ(Text(get.ReceiveResponse()), "[]");
    const auto delivered = secure.Requests();
    ASSERT_EQ(delivered.size(), 2u);
    EXPECT_EQ(delivered[0].method, "POST");
    EXPECT_EQ(delivered[0].target, "/moved?v=2");
    EXPECT_EQ(delivered[0].body, "{\"q\":1}");
    EXPECT_EQ(delivered[0].Header("Content-Type"), "application/json; charset=utf-8");
    EXPECT_EQ(delivered[1].method, "GET");
    EXPECT_EQ(delivered[1].target, "/moved?v=2");

    const std::pair<std::string, std::wstring> failing[] = {
        {secureOrigin, L"/down"}, {plainOrigin, L"/loop"}, {plainOrigin, L"/empty"},
        {plainOrigin, L"/long"},  {plainOrigin, L"/raw"},  {plainOrigin, L"/drop"}};
    for (const auto& [origin, path] : failing) {
        const std::string url = origin + std::string(path.begin(), path.end());
        Cxx::Network::RequestResponse::CHttpRequestResponse post(wide(url), false);
        const auto postFailure = ConnectionFailure([&] { post.Send("{}", response); });
        const bool secured = origin == secureOrigin;
        CSimpleGetHttpClient get(L"", secured ? L"localhost" : L"127.0.0.1", L"", 0,
                                 secured ? secure.Port() : plain.Port(), false, true, secured ? US_Https : US_Http);
        const auto getFailure = ConnectionFailure([&] { get.SendRequest(path, nullptr, L""); });
        for (const auto& failure : {postFailure, getFailure}) {
            ASSERT_TRUE(failure) << url;
            EXPECT_EQ(failure->GetCode(), NEC_Request) << url;
        }
    }
    std::map<std::string, int> targets;
    for (const auto& request : plain.Requests()) {
        ++targets[request.target];
    }
    EXPECT_EQ(targets["/component"], 2);
    EXPECT_EQ(targets["/loop"], 12);
    EXPECT_EQ(targets.size(), 6u) << "nothing but the routes themselves was asked for";
}

} // namespace
