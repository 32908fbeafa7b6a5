#include "cxx/network/RequestResponse.h"

#include "HttpTestSupport.h"
#include "TestServer.h"

using namespace Cxx::Network::Exception;
using namespace Cxx::Network::RequestResponse;
using namespace KvTest;

namespace {

class RequestResponse : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.Running()); }

    std::wstring Url(const std::string& rest) const
    {
        const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + rest;
        return std::wstring(url.begin(), url.end());
    }

    CTestServer server{"scripted"};
};

TEST_F(RequestResponse, JsonTravelsUnchangedToThePathAndQueryOfTheUrl)
{
    server.SetRoutes(R"({"/component": {"body": "[{\"id\":1}]"}})");
    CHttpRequestResponse transport(Url("/component?lang=en&v=2"), false);
    const std::string request = "{\"name\":\"q\\u00e9\", \"list\": [1, 2]}";
    std::string response;
    ASSERT_EQ(transport.Send(request, response), RR_Ok);
    EXPECT_EQ(response, "[{\"id\":1}]");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].target, "/component?lang=en&v=2");
    EXPECT_EQ(requests[0].body, request);
    EXPECT_EQ(requests[0].Header("Content-Type"), "application/json; charset=utf-8");
}

TEST_F(RequestResponse, EmptyRequestsAndAnswers)
{
    std::string response;
    CHttpRequestResponse json(Url("/component"), false);
    try {
        json.Send("", response);
        ADD_FAILURE() << "an empty JSON request was sent";
    } catch (const CNetworkException& failure) {
        EXPECT_EQ(failure.GetCode(), NEC_Parameter);
        EXPECT_STREQ(failure.what(), "Parameter is empty.");
    }
    EXPECT_TRUE(server.Requests().empty());

    CHttpRequestResponse form(Url("/form"), true);
    EXPECT_EQ(form.Send("", response), RR_EmptyAnswer);
    EXPECT_EQ(form.Send("a=1&b=\xC3\xA9", response), RR_EmptyAnswer);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].body, "");
    EXPECT_EQ(requests[0].Header("Content-Type"), "<none>");
    EXPECT_EQ(requests[1].body, "a=1&b=\xC3\xA9");
}

TEST_F(RequestResponse, TextThatIsNoUrlNeverTouchesTheNetwork)
{
    std::string response = "kept";
    for (const wchar_t* url : {L"not a url", L"", L"ftp://127.0.0.1/x", L"http://"}) {
        CHttpRequestResponse transport(url, false);
        EXPECT_EQ(transport.Send("{}", response), RR_NoHost) << url;
    }
    EXPECT_EQ(response, "kept");
    EXPECT_TRUE(server.Requests().empty());
}

TEST_F(RequestResponse, StatusFailureReachesTheCaller)
{
    server.SetRoutes(R"({"*": {"status": 500}})");
    CHttpRequestResponse transport(Url("/component"), false);
    std::string response;
    const auto failure = ConnectionFailure([&] { transport.Send("{}", response); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->GetCode(), NEC_ServerStatus);
}

} // namespace
