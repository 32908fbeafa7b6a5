#include "cxx/network/http/HttpClient.h"

#include "HttpTestSupport.h"
#include "TestServer.h"
#include "cxx/core/thread/Interruption.h"
#include "tests/support/Loopback.h"

#include <future>
#include <stop_token>
#include <thread>

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

// The whole of an answer, headers included, has its limits; only the
// request's own time-out ends a server that says nothing at all.
TEST_F(WinInetResume, AnswerPastItsTimeOrSizeFails)
{
    server.WriteFile("large.bin", Loopback::Pattern(1024 * 1024 + 1));
    server.SetRoutes(R"({"/slow": {"body": "[{\"id\": \"trickled\"}]", "trickle": 1.5},
                        "/silent": {"body": "[]", "delay": 600},
                        "/slowhead": {"body": "[]", "head_trickle": 0.05},
                        "/large": {"body_file": "large.bin"}, "/fits": {"body_file": "payload.bin"}})");
    struct Case {
        const wchar_t* path;
        std::int32_t code;
        std::uint32_t error; // 0 for an answer read whole
        int faster;          // how much faster than the steady clock the limits' clock runs; 0: it stands still
        std::chrono::milliseconds timeout;
    };
    const Case cases[] = {
        // A byte every 15 s (on the limits' clock) fails at the answer's 60 s, not at the next byte.
        {L"/slow", NEC_ReadBody, 12002, 10, std::chrono::milliseconds(30000)},
        {L"/large", NEC_ReadBody, 122, 1, std::chrono::milliseconds(30000)},
        {L"/fits", 0, 0, 1, std::chrono::milliseconds(30000)},
        {L"/silent", NEC_Request, 12002, 0, std::chrono::milliseconds(1000)},
        {L"/slowhead", NEC_Request, 12002, 100, std::chrono::milliseconds(30000)},
    };
    for (const Case& c : cases) {
        CReadLimits limits;
        limits.timeout = c.timeout;
        const auto frozen = std::chrono::steady_clock::now();
        limits.clock = c.faster > 0 ? FasterClock(c.faster) : [frozen] { return frozen; };
        std::vector<char> body;
        std::chrono::steady_clock::duration answerTook{};
        std::shared_ptr<CNetworkException> failure;
        std::stop_source stop;
        std::thread call([&] {
            const Cxx::Core::Utils::CStopTokenScope scope(stop.get_token());
            CSimplePostHttpClient client(L"", L"127.0.0.1", L"", 0, server.Port(), false, true, US_Http);
            client.SetReadLimits(limits);
            std::chrono::steady_clock::time_point began{};
            failure = ConnectionFailure([&] {
                client.SendRequest(c.path, nullptr, L"");
                began = limits.clock();
                body = client.ReceiveResponse();
            });
            answerTook = limits.clock() - began;
        });
        // A request that nothing would end is stopped, and fails the case.
        auto ended = std::async(std::launch::async, [&call] { call.join(); });
        if (ended.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
            ADD_FAILURE() << c.path << ": nothing ended the request";
            Cxx::Core::Utils::RequestStop(stop);
        }
        ended.wait();
        if (c.error == 0) {
            EXPECT_FALSE(failure) << c.path;
            EXPECT_TRUE(Text(body) == payload) << c.path;
            continue;
        }
        ASSERT_TRUE(failure) << c.path;
        EXPECT_EQ(failure->GetCode(), c.code) << c.path;
        EXPECT_EQ(failure->GetSystemError(), c.error) << c.path;
        if (c.code == NEC_ReadBody && c.error == 12002) {
            EXPECT_LT(answerTook, std::chrono::seconds(70)) << c.path << ": the answer's limit, kept";
        }
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
