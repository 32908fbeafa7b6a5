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

TEST_F(WinInetResume, WholeBodyInAnswerToARangeReplacesWhatWasRead)
{
    // The resource changes between the drop and the re-send: same length, other bytes.
    std::string changed = payload;
    for (char& byte : changed) {
        byte = static_cast<char>(~byte);
    }
    server.WriteFile("changed.bin", changed);
    server.WriteFile("other.bin", Loopback::Pattern(PayloadSize / 2));
    server.SetRoutes(R"({"/changed": [{"body_file": "payload.bin", "drop_after": 70000},
                                      {"body_file": "changed.bin", "ranges": false}],
                         "/shorter": [{"body_file": "payload.bin", "drop_after": 70000},
                                      {"body_file": "other.bin", "ranges": false}],
                         "/refused": [{"body_file": "payload.bin", "drop_after": 70000},
                                      {"body_file": "changed.bin", "ranges": false}],
                         "/start": [{"body_file": "payload.bin", "drop_after": 70000},
                                    {"body_file": "payload.bin", "ranges": false, "status": 206,
                                     "headers": [["Content-Range", "bytes 0-199999/200000"]]}]})");
    struct Case {
        const wchar_t* path;
        bool restartable;
        std::string expected; // empty: the read fails
    };
    const Case cases[] = {
        {L"/changed", true, changed},
        {L"/shorter", true, Loopback::Pattern(PayloadSize / 2)},
        {L"/refused", false, ""},
        {L"/start", true, ""},
    };
    for (const Case& c : cases) {
        CCollector sink;
        sink.restartable = c.restartable;
        const auto failure = Read(sink, true, c.path);
        if (c.expected.empty()) {
            ASSERT_TRUE(failure) << c.path;
            EXPECT_EQ(failure->GetCode(), NEC_ReadBody) << c.path;
            EXPECT_TRUE(sink.data == payload.substr(0, 70000)) << c.path << ": nothing may be appended";
        } else {
            EXPECT_FALSE(failure) << c.path;
            EXPECT_EQ(sink.restarts, 1) << c.path;
            EXPECT_TRUE(sink.data == c.expected) << c.path << ": the new body, whole";
            EXPECT_EQ(sink.contentLength, c.expected.size()) << c.path;
        }
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

TEST_F(WinInetResume, WholeAnswerPastItsTimeOrSizeFails)
{
    server.WriteFile("large.bin", Loopback::Pattern(1024 * 1024 + 1));
    server.SetRoutes(R"({"/slow": {"body": "[{\"id\": \"trickled\"}]", "trickle": 0.05},
                        "/large": {"body_file": "large.bin"}, "/fits": {"body_file": "payload.bin"}})");
    struct Case {
        const wchar_t* path;
        std::uint32_t error; // 0 for an answer read whole
        bool late;           // each look at the clock is ten seconds later
    };
    const Case cases[] = {{L"/slow", 12002, true}, {L"/large", 122, false}, {L"/fits", 0, false}};
    for (const Case& c : cases) {
        CSimplePostHttpClient client(L"", L"127.0.0.1", L"", 0, server.Port(), false, true, US_Http);
        CReadLimits limits;
        int ticks = 0;
        if (c.late) {
            limits.clock = [&ticks] { return std::chrono::steady_clock::time_point(std::chrono::seconds(10 * ++ticks)); };
        }
        client.SetReadLimits(limits);
        client.SendRequest(c.path, nullptr, L"");
        std::vector<char> body;
        const auto failure = ConnectionFailure([&] { body = client.ReceiveResponse(); });
        if (c.error == 0) {
            EXPECT_FALSE(failure);
            EXPECT_TRUE(Text(body) == payload);
            continue;
        }
        ASSERT_TRUE(failure) << c.path;
        EXPECT_EQ(failure->GetCode(), NEC_ReadBody) << c.path;
        EXPECT_EQ(failure->GetSystemError(), c.error) << c.path;
    }
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
