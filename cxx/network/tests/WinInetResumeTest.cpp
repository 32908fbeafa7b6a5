#include "cxx/network/http/HttpClient.h"

#include "HttpTestSupport.h"
#include "TestServer.h"
#include "tests/support/Loopback.h"

using namespace Cxx::Network;
using namespace Cxx::Network::Exception;
using namespace Cxx::Network::Http::HttpClient;
using namespace KvTest;

namespace {

constexpr std::size_t PayloadSize = 200000;

class WinInetResume : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Running());
        server.WriteFile("payload.bin", payload);
    }

    // Reads /file over WinInet; pauses are recorded, not slept.
    std::shared_ptr<CNetworkException> Read(CCollector& sink, bool keepGoing = true, const wchar_t* path = L"/file")
    {
        CSimpleGetHttpClient client(L"", L"127.0.0.1", L"", 0, server.Port(), false, true, US_Http);
        client.SetSleeper([this, keepGoing](std::chrono::milliseconds pause) {
            pauses.push_back(pause);
            return keepGoing;
        });
        client.SendRequest(path, nullptr, L"");
        return ConnectionFailure([&] { client.ReceiveResponseByChunks(sink, 16384); });
    }

    CTestServer server{"scripted"};
    const std::string payload = Loopback::Pattern(PayloadSize);
    std::vector<std::chrono::milliseconds> pauses;
};

TEST_F(WinInetResume, BrokenBodyResumesWithRangeAndYieldsTheOriginalBytes)
{
    server.SetRoutes(R"({"/file": [{"body_file": "payload.bin", "drop_after": 70000}, {"body_file": "payload.bin"}]})");
    CCollector sink;
    EXPECT_FALSE(Read(sink));
    EXPECT_TRUE(sink.data == payload);
    EXPECT_EQ(sink.contentLength, PayloadSize);
    EXPECT_EQ(pauses, std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(6000)});
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Header("Range"), "<none>");
    EXPECT_EQ(requests[1].Header("Range"), "bytes=70000-");
    EXPECT_EQ(requests[1].answer, "206");
}

TEST_F(WinInetResume, ServerIgnoringRangeDoesNotDuplicateBytes)
{
    server.SetRoutes(
        R"({"/file": [{"body_file": "payload.bin", "drop_after": 70000}, {"body_file": "payload.bin", "ranges": false}]})");
    CCollector sink;
    EXPECT_FALSE(Read(sink));
    EXPECT_TRUE(sink.data == payload);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].answer, "200");
}

TEST_F(WinInetResume, AnswerThatCannotBeJoinedFailsWithoutAppending)
{
    // A range from the start, and then a whole body of another length.
    server.WriteFile("other.bin", Loopback::Pattern(PayloadSize / 2));
    server.SetRoutes(R"({"/start": [{"body_file": "payload.bin", "drop_after": 70000},
                                    {"body_file": "payload.bin", "ranges": false, "status": 206,
                                     "headers": [["Content-Range", "bytes 0-199999/200000"]]}],
                         "/other": [{"body_file": "payload.bin", "drop_after": 70000},
                                    {"body_file": "other.bin", "ranges": false}]})");
    for (const wchar_t* path : {L"/start", L"/other"}) {
        CCollector sink;
        const auto failure = Read(sink, true, path);
        ASSERT_TRUE(failure) << path;
        EXPECT_EQ(failure->GetCode(), NEC_ReadBody);
        EXPECT_TRUE(sink.data == payload.substr(0, 70000));
    }
}

TEST_F(WinInetResume, TenFailedResendsInARowFail)
{
    server.SetRoutes(R"({"/file": [{"body_file": "payload.bin", "drop_after": 70000}, {"drop": true}]})");
    CCollector sink;
    const auto failure = Read(sink);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->GetCode(), NEC_ReadBody);
    EXPECT_STREQ(failure->what(), "Error by receiving data from server ( asynchronously ).");
    EXPECT_EQ(pauses.size(), 10u);
    EXPECT_EQ(server.Requests().size(), 11u);
    EXPECT_EQ(sink.data.size(), 70000u);
}

TEST_F(WinInetResume, StopDuringThePauseEndsAtOnce)
{
    server.SetRoutes(R"({"/file": {"body_file": "payload.bin", "drop_after": 70000}})");
    CCollector sink;
    const auto failure = Read(sink, false);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->GetCode(), NEC_ReadBody);
    EXPECT_EQ(pauses.size(), 1u);
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(WinInetResume, CompleteBodyNeverPauses)
{
    server.SetRoutes(R"({"/file": {"body_file": "payload.bin"}})");
    CCollector sink;
    EXPECT_FALSE(Read(sink));
    EXPECT_TRUE(sink.data == payload);
    EXPECT_TRUE(pauses.empty());
}

} // namespace
