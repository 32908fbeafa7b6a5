#include "componentget/Protocol.h"

#include <gtest/gtest.h>

using namespace ComponentGet;
using ComponentGet::Protocol::CProtocol;

namespace {

ComponentsRequest Request()
{
    ComponentsRequest request;
    request.application.code = L"QXPDF";
    request.components.push_back({L"QX_PDF", L"x86", L"7.0.0.1125"});
    return request;
}

} // namespace

TEST(Protocol, BuildsTheRequestCompactlyInItsOrder)
{
    CProtocol protocol;
    ComponentsRequest request = Request();
    std::wstring text;
    ASSERT_TRUE(protocol.BuildRequest(request, text));
    EXPECT_EQ(text, L"{\"protocolVersion\":1,\"application\":{\"code\":\"QXPDF\"},\"os\":{},"
                    L"\"components\":[{\"id\":\"QX_PDF\",\"arch\":\"x86\",\"version\":\"7.0.0.1125\"}]}");

    request.application = {L"QXPDF", 42, L"{uid}", L"{puid}", L"7.0", L"de"};
    request.os = {L"x64", L"10.0", 19045};
    request.components.push_back({L"EXTRA", L"x64", L""});
    ASSERT_TRUE(protocol.BuildRequest(request, text));
    EXPECT_EQ(text, L"{\"protocolVersion\":1,"
                    L"\"application\":{\"code\":\"QXPDF\",\"buildId\":42,\"uid\":\"{uid}\",\"puid\":\"{puid}\","
                    L"\"version\":\"7.0\",\"language\":\"de\"},"
                    L"\"os\":{\"arch\":\"x64\",\"version\":\"10.0\",\"build\":19045},"
                    L"\"components\":[{\"id\":\"QX_PDF\",\"arch\":\"x86\",\"version\":\"7.0.0.1125\"},"
                    L"{\"id\":\"EXTRA\",\"arch\":\"x64\",\"version\":\"\"}]}");

    request = Request();
    request.components.clear();
    request.application.language = L"a\"b\\c\u00e9";
    ASSERT_TRUE(protocol.BuildRequest(request, text));
    EXPECT_EQ(text, L"{\"protocolVersion\":1,\"application\":{\"code\":\"QXPDF\",\"language\":\"a\\\"b\\\\c\u00e9\"},"
                    L"\"os\":{},\"components\":[]}");
}

TEST(Protocol, RefusesARequestWithoutItsRequiredValues)
{
    CProtocol protocol;
    ComponentsRequest noCode = Request();
    noCode.application.code.clear();
    ComponentsRequest noId = Request();
    noId.components.push_back({L"", L"x86", L"1"});
    ComponentsRequest noArch = Request();
    noArch.components[0].arch.clear();
    for (const ComponentsRequest* request : {&noCode, &noId, &noArch}) {
        std::wstring text = L"untouched";
        EXPECT_FALSE(protocol.BuildRequest(*request, text));
        EXPECT_EQ(text, L"untouched");
    }
}

TEST(Protocol, ReadsAnswersWhateverTheCaseOfTheNames)
{
    CProtocol protocol;
    std::vector<ComponentInfo> records;
    const std::wstring answer =
        L"[{\"ID\":\"A\",\"VERSION\":\"1\",\"URL\":\"http://h/a\",\"MD5\":\"aa\"},"
        L" {\"Id\":\"B\",\"id\":\"ignored\",\"url\":\"http://h/b\",\"url\":\"http://h/second\",\"version\":\"2\","
        L"\"md5\":\"bb\",\"extra\":{\"md5\":5,\"list\":[1,\"x\"]},\"note\":null},"
        L"{\"id\":\"C\",\"version\":\"3\",\"url\":\"http://h/\u00e9\",\"md5\":\"cc\"}]";
    ASSERT_TRUE(protocol.ParseResponse(answer + L'\0', records));
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].id, L"A");
    EXPECT_EQ(records[0].version, L"1");
    EXPECT_EQ(records[0].url, L"http://h/a");
    EXPECT_EQ(records[0].md5, L"aa");
    EXPECT_EQ(records[1].id, L"B") << "the first matching member wins";
    EXPECT_EQ(records[1].url, L"http://h/b") << "a duplicate member does not replace the first";
    EXPECT_EQ(records[2].url, L"http://h/\u00e9");
    EXPECT_EQ(records[2].reserved, 0);

    records.clear();
    EXPECT_TRUE(protocol.ParseResponse(L" [ ] trailing text", records));
    EXPECT_TRUE(records.empty());
}

TEST(Protocol, RefusesMalformedAnswersAsAWhole)
{
    CProtocol protocol;
    const std::wstring good = L"{\"id\":\"A\",\"version\":\"1\",\"url\":\"u\",\"md5\":\"m\"}";
    const std::wstring answers[] = {
        L"",
        L"garbage",
        L"{\"id\":\"A\",\"version\":\"1\",\"url\":\"u\",\"md5\":\"m\"}",
        L"[" + good + L",{\"id\":\"B\",\"version\":\"1\",\"url\":\"u\"}]",
        L"[" + good + L",{\"id\":\"B\",\"version\":\"1\",\"url\":\"u\",\"md5\":\"\"}]",
        L"[" + good + L",{\"id\":\"B\",\"version\":1,\"url\":\"u\",\"md5\":\"m\"}]",
        L"[" + good + L",{\"id\":\"B\",\"version\":\"1\",\"url\":[\"u\"],\"md5\":\"m\"}]",
        L"[" + good + L",\"B\"]",
        L"[" + good + L",[]]",
        L"[" + good,
    };
    for (const std::wstring& answer : answers) {
        std::vector<ComponentInfo> records(1);
        EXPECT_FALSE(protocol.ParseResponse(answer, records)) << std::string(answer.begin(), answer.end());
        EXPECT_EQ(records.size(), 1u) << "the output must stay untouched";
    }
}
