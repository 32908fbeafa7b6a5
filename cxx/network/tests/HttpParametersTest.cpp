#include "cxx/network/NetworkException.h"
#include "cxx/network/Url.h"
#include "cxx/network/http/HttpParameters.h"

#include <gtest/gtest.h>

using namespace Cxx::Network;
using namespace Cxx::Network::Exception;
using namespace Cxx::Network::Http::HttpClient;

namespace {

std::string Bytes(const IParametersSet& set)
{
    std::size_t size = 0;
    const char* bytes = set.GetBuffer(size);
    return std::string(bytes, size);
}

std::string Bytes(const IParameter& parameter)
{
    std::size_t size = 0;
    const char* bytes = parameter.GetBuffer(size);
    return std::string(bytes, size);
}

// The message of the CNetworkException (by value, code 0) that f throws.
template <typename F>
std::string ParameterFailure(F&& f)
{
    try {
        f();
    } catch (const CNetworkException& failure) {
        EXPECT_EQ(failure.GetCode(), NEC_Parameter);
        return failure.what();
    }
    return "<nothing thrown>";
}

TEST(HttpParameters, SetJoinsParametersInOrder)
{
    CSimplePostParametersSet set;
    EXPECT_EQ(ParameterFailure([&] { Bytes(set); }), "Parameters' list is empty.");
    set.AddParameter(std::make_shared<CSimpleTextParameter>(L"a", L"1"));
    EXPECT_EQ(Bytes(set), "a=1");
    set.AddParameter(nullptr);
    set.AddParameter(std::make_shared<CSimpleTextParameter>(L"b", L"2"));
    EXPECT_EQ(Bytes(set), "a=1&b=2");
    set.Clear();
    EXPECT_EQ(ParameterFailure([&] { Bytes(set); }), "Parameters' list is empty.");
}

TEST(HttpParameters, FailedAddLeavesTheSetAsItWas)
{
    CSimpleGetParametersSet set;
    set.AddParameter(std::make_shared<CSimpleTextParameter>(L"a", L"1"));
    EXPECT_EQ(ParameterFailure([&] { set.AddParameter(std::make_shared<CSimpleTextParameter>(L"")); }),
              "Parameter is empty.");
    EXPECT_EQ(Bytes(set), "a=1");
    set.AddParameter(std::make_shared<CSimpleTextParameter>(L"b", L"2"));
    EXPECT_EQ(Bytes(set), "a=1&b=2");
}

TEST(HttpParameters, TextIsUtf8AndNeverEscaped)
{
    EXPECT_EQ(Bytes(CSimpleTextParameter(L"k", L"x y&z")), "k=x y&z");
    EXPECT_EQ(Bytes(CSimpleTextParameter(L"n\u00e9", L"\u20ac")), "n\xC3\xA9=\xE2\x82\xAC");
    EXPECT_EQ(Bytes(CSimpleTextParameter(L"whole=text")), "whole=text");
    EXPECT_EQ(Bytes(CSimpleTextParameter(L"", L"")), "=");
}

TEST(HttpParameters, JsonParameterWrapsOnlyWithAName)
{
    EXPECT_EQ(Bytes(CSimpleJSONParameter("k", "v", true)), "{\"k\":\"v\"}");
    EXPECT_EQ(Bytes(CSimpleJSONParameter("k", "v", false)), "v");
    EXPECT_EQ(Bytes(CSimpleJSONParameter("", "v", true)), "v");
    EXPECT_EQ(Bytes(CSimpleJSONParameter(nullptr, "{\"a\":1}", true)), "{\"a\":1}");
    EXPECT_EQ(ParameterFailure([] { Bytes(CSimpleJSONParameter("k", nullptr, false)); }), "Parameter is empty.");
}

TEST(Url, CracksSchemeHostPortPathAndQuery)
{
    CUrl url;
    ASSERT_TRUE(url.CrackUrl(L"HTTPS://user:pw@Example.test:8443/a/b.exe?x=1&y=2#top"));
    EXPECT_EQ(url.GetScheme(), US_Https);
    EXPECT_EQ(url.GetHostName(), L"Example.test");
    EXPECT_EQ(url.GetPortNumber(), 8443);
    EXPECT_EQ(url.GetUrlPath(), L"/a/b.exe");
    EXPECT_EQ(url.GetQuery(), L"?x=1&y=2");
    EXPECT_EQ(url.GetPathAndQuery(), L"/a/b.exe?x=1&y=2");

    ASSERT_TRUE(url.CrackUrl(L"http://host.test?q"));
    EXPECT_EQ(url.GetScheme(), US_Http);
    EXPECT_EQ(url.GetPortNumber(), 80);
    EXPECT_EQ(url.GetUrlPath(), L"/");
    EXPECT_EQ(url.GetQuery(), L"?q");

    ASSERT_TRUE(url.CrackUrl(L"https://[::1]/"));
    EXPECT_EQ(url.GetHostName(), L"[::1]");
    EXPECT_EQ(url.GetPortNumber(), 443);
}

TEST(Url, RefusesWhatIsNoHttpUrl)
{
    CUrl url;
    for (const wchar_t* text : {L"", L"host.test/file", L"ftp://host.test/", L"http://", L"http:///path",
                                L"http://host.test:0/", L"http://host.test:65536/", L"http://host.test:8x/",
                                L"http://ho st/", L"http://[::1/"}) {
        EXPECT_FALSE(url.CrackUrl(text)) << text;
        EXPECT_TRUE(url.GetHostName().empty());
    }
}

} // namespace
