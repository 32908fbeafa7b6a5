#include "componentget/ComponentsStorage.h"

#include "cxx/network/NetworkException.h"
#include "tests/support/Loopback.h"

#include <gtest/gtest.h>

#include <boost/json.hpp>

using namespace ComponentGet;
using Cxx::Network::RequestResponse::CHttpRequestResponse;
using Cxx::Network::RequestResponse::IRequestResponse;

namespace {

ApplicationInfo Application()
{
    ApplicationInfo application;
    application.code = L"QXPDF";
    application.version = L"7.0.0.1125";
    return application;
}

const std::vector<ComponentRequest> Wanted = {{L"QX_PDF", L"x86", L"7.0.0.1125"}};

std::unique_ptr<IComponentsStorage> Storage(std::shared_ptr<IRequestResponse> transport)
{
    return CreateComponentsStorage(Application(), std::make_shared<Protocol::CProtocol>(), std::move(transport),
                                   OsInfo{L"x86", L"6.1", 7601});
}

std::unique_ptr<IComponentsStorage> ServiceStorage()
{
    return Storage(std::make_shared<CHttpRequestResponse>(Loopback::Url("component", "/component"), false));
}

void Script(const std::string& body, int status = 200)
{
    Loopback::WriteBytes(Loopback::Folder("component") + L"\\answer.body", body);
    Loopback::WriteBytes(Loopback::Folder("component") + L"\\answer.status", std::to_string(status));
}

// A transport that answers without a network.
class CCannedTransport : public IRequestResponse {
public:
    explicit CCannedTransport(std::function<int(std::string&)> answer) : m_answer(std::move(answer)) {}
    int Send(const std::string&, std::string& response) override { return m_answer(response); }

private:
    std::function<int(std::string&)> m_answer;
};

} // namespace

TEST(ComponentsStorage, PostsTheRequestAndStoresTheAnswer)
{
    Script("[{\"id\":\"QX_PDF\",\"version\":\"1\",\"url\":\"http://h/old\",\"md5\":\"aa\"},"
           "{\"id\":\"OTHER\",\"version\":\"2\",\"url\":\"http://h/other\",\"md5\":\"bb\"},"
           "{\"id\":\"QX_PDF\",\"version\":\"7.0.0.1125\",\"url\":\"http://h/\xc3\xa9\",\"md5\":\"cc\"}]");
    std::map<std::wstring, ComponentInfo> components;
    components[L"KEPT"].url = L"http://h/kept";
    ASSERT_EQ(ServiceStorage()->GetComponents(Wanted, components), CR_Ok);

    ASSERT_EQ(components.size(), 3u);
    EXPECT_EQ(components[L"QX_PDF"].version, L"7.0.0.1125") << "a later record replaces an earlier one";
    EXPECT_EQ(components[L"QX_PDF"].url, L"http://h/\u00e9") << "the answer is UTF-8";
    EXPECT_EQ(components[L"OTHER"].md5, L"bb");
    EXPECT_EQ(components[L"KEPT"].url, L"http://h/kept");

    const auto requests = Loopback::Requests("component");
    ASSERT_EQ(requests.size(), 1u);
    const boost::json::object recorded = boost::json::parse(requests[0]).as_object();
    EXPECT_EQ(recorded.at("answer").as_int64(), 200) << "the service refused the method, path, header or body";
    EXPECT_EQ(recorded.at("body").as_string(),
              "{\"protocolVersion\":1,\"application\":{\"code\":\"QXPDF\",\"version\":\"7.0.0.1125\"},"
              "\"os\":{\"arch\":\"x86\",\"version\":\"6.1\",\"build\":7601},"
              "\"components\":[{\"id\":\"QX_PDF\",\"arch\":\"x86\",\"version\":\"7.0.0.1125\"}]}");
}

TEST(ComponentsStorage, UnusableAnswersLeaveTheMapAlone)
{
    const std::string good = "{\"id\":\"A\",\"version\":\"1\",\"url\":\"u\",\"md5\":\"m\"}";
    const std::string answers[] = {
        "[]",
        "{\"id\":\"A\",\"version\":\"1\",\"url\":\"u\",\"md5\":\"m\"}",
        "[" + good + ",{\"id\":\"B\",\"version\":\"1\",\"url\":\"u\",\"md5\":\"\"}]",
        "not json at all",
        "[{\"id\":\"\xff\",\"version\":\"1\",\"url\":\"u\",\"md5\":\"m\"}]",
    };
    for (const std::string& answer : answers) {
        Script(answer);
        std::map<std::wstring, ComponentInfo> components;
        EXPECT_EQ(ServiceStorage()->GetComponents(Wanted, components), CR_NoComponents) << answer;
        EXPECT_TRUE(components.empty()) << answer;
    }
}

TEST(ComponentsStorage, TransportFailuresBecomeResultCodes)
{
    std::map<std::wstring, ComponentInfo> components;
    Script("", 500);
    EXPECT_EQ(ServiceStorage()->GetComponents(Wanted, components), CR_TransportFailed) << "a status of 500";
    Script("");
    EXPECT_EQ(ServiceStorage()->GetComponents(Wanted, components), CR_TransportFailed) << "an empty body";

    const std::wstring closed = L"http://127.0.0.1:" + std::to_wstring(Loopback::ClosedPort()) + L"/component";
    EXPECT_EQ(Storage(std::make_shared<CHttpRequestResponse>(closed, false))->GetComponents(Wanted, components),
              CR_TransportFailed);
    EXPECT_EQ(Storage(std::make_shared<CHttpRequestResponse>(L"not a url", false))->GetComponents(Wanted, components),
              CR_TransportFailed);
    auto throwing = std::make_shared<CCannedTransport>([](std::string&) -> int {
        throw Cxx::Network::Exception::CNetworkException(0, "Parameter is empty.", 0);
    });
    EXPECT_EQ(Storage(throwing)->GetComponents(Wanted, components), CR_TransportFailed);
    auto silent = std::make_shared<CCannedTransport>([](std::string& answer) {
        answer.clear();
        return 0;
    });
    EXPECT_EQ(Storage(silent)->GetComponents(Wanted, components), CR_EmptyAnswer);
    EXPECT_TRUE(components.empty());
}

TEST(ComponentsStorage, MissingPartsAndBadRequests)
{
    auto transport = std::make_shared<CHttpRequestResponse>(Loopback::Url("component", "/component"), false);
    std::map<std::wstring, ComponentInfo> components;
    EXPECT_EQ(Storage(transport)->GetComponents({}, components), CR_NoComponents);
    EXPECT_EQ(Storage(nullptr)->GetComponents(Wanted, components), CR_Missing);
    EXPECT_EQ(CreateComponentsStorage(Application(), nullptr, transport, OsInfo())->GetComponents(Wanted, components),
              CR_Missing);
    EXPECT_EQ(Storage(transport)->GetComponents({{L"QX_PDF", L"", L""}}, components), CR_RequestNotBuilt);
    EXPECT_TRUE(Loopback::Requests("component").empty()) << "none of these may reach the service";
}

TEST(ComponentsStorage, AnsweredComponentDownloadsAndVerifies)
{
    const std::string data = Loopback::Pattern(Loopback::PatternSize);
    Loopback::WriteBytes(Loopback::Folder("files") + L"\\setup.exe", data);
    const std::string url = Cxx::Core::Utils::WideToUtf8String(Loopback::Url("files", "/setup.exe"));
    const std::string md5 = Cxx::Core::Utils::WideToUtf8String(Loopback::PatternMd5);
    Script("[{\"id\":\"QX_PDF\",\"version\":\"7.0.0.1125\",\"url\":\"" + url + "\",\"md5\":\"" + md5 + "\"}]");

    std::map<std::wstring, ComponentInfo> components;
    ASSERT_EQ(ServiceStorage()->GetComponents(Wanted, components), CR_Ok);
    ComponentInfo component = components[L"QX_PDF"];
    auto downloader = CreateVerifyingDownloader(component);
    ASSERT_TRUE(downloader);
    const std::wstring target = Loopback::Folder("files") + L"\\fetched.exe";
    ASSERT_TRUE(downloader->DownloadToFile(target));
    downloader->Wait();
    EXPECT_TRUE(Loopback::ReadBytes(target) == data);

    EXPECT_TRUE(CreateDownloader(component));
    component.md5.clear();
    EXPECT_FALSE(CreateVerifyingDownloader(component));
    EXPECT_TRUE(CreateDownloader(component));
    component.url.clear();
    component.md5 = L"m";
    EXPECT_FALSE(CreateVerifyingDownloader(component));
    EXPECT_FALSE(CreateDownloader(component));
}
