#include "appmetrics/AppMetrics.h"
#include "appmetrics/GoogleAnalyticsMetrics.h"
#include "appmetrics/tests/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <new>

using namespace AppMetrics;
using namespace std::chrono_literals;
using AppMetricsTest::CCollector;
using AppMetricsTest::CFakeClock;
using AppMetricsTest::CFakeSleeper;
using AppMetricsTest::CRecordedHit;

namespace {

const std::vector<std::string> CommonNames = {"v", "tid", "cid", "an", "av", "ul", "ci"};

std::vector<std::string> WithCommon(std::vector<std::string> names)
{
    names.insert(names.begin(), CommonNames.begin(), CommonNames.end());
    return names;
}

std::vector<std::string> SessionParameters(const std::vector<CRecordedHit>& hits)
{
    std::vector<std::string> values;
    for (const CRecordedHit& hit : hits) {
        values.push_back(hit.Field("sc"));
    }
    return values;
}

class Metrics : public ::testing::Test {
protected:
    std::shared_ptr<CFakeClock> clock = std::make_shared<CFakeClock>();
    std::shared_ptr<CFakeSleeper> sleeper = std::make_shared<CFakeSleeper>(*clock);
    CMetricsOptions options;

    Metrics()
    {
        options.clock = clock;
        options.sleeper = sleeper;
        options.shutdownWait = 10s;
    }

    std::shared_ptr<IMetrics> Make(bool automaticSessions)
    {
        std::shared_ptr<IMetrics> metrics = CreateMetrics(AppMetricsTest::CollectorSettings(), options);
        EXPECT_TRUE(metrics);
        metrics->SetAutomaticSessionManagement(automaticSessions);
        metrics->SetEnabled(true);
        return metrics;
    }

    static std::vector<CRecordedHit> Drain(IMetrics& metrics)
    {
        EXPECT_TRUE(metrics.WaitForPendingHits(30));
        return CCollector::Hits();
    }
};

} // namespace

TEST_F(Metrics, EventCarriesExactlyTheHitFields)
{
    auto metrics = Make(false);
    ASSERT_TRUE(metrics->SendEvent(CEventData("InstallerStart", "Install", "", 1)));
    const auto hits = Drain(*metrics);
    ASSERT_EQ(hits.size(), 1u);
    const CRecordedHit& hit = hits[0];
    EXPECT_EQ(hit.path, "/collect");
    EXPECT_EQ(hit.Names(), WithCommon({"t", "ec", "ea", "ev"}));
    EXPECT_EQ(hit.Field("v"), "1");
    EXPECT_EQ(hit.Field("tid"), "UA-12345-6");
    EXPECT_EQ(hit.Field("cid"), "01234567-89ab-cdef-0123-456789ABCDEF");
    EXPECT_EQ(hit.Field("an"), "Vellix PDF Pro");
    EXPECT_EQ(hit.Field("av"), "7.0.0.1125");
    EXPECT_EQ(hit.Field("ul"), "en-US");
    EXPECT_EQ(hit.Field("ci"), "QXPDF");
    EXPECT_EQ(hit.Field("t"), "event");
    EXPECT_EQ(hit.Field("ec"), "Install");
    EXPECT_EQ(hit.Field("ea"), "InstallerStart");
    EXPECT_EQ(hit.Field("ev"), "1");
    EXPECT_EQ(hit.userAgent, AppMetricsTest::CollectorSettings().osDescription);
    EXPECT_NE(hit.userAgent, "Unknown");
}

TEST_F(Metrics, ValuesCannotAddOrCorruptParameters)
{
    auto metrics = Make(false);
    const std::string action = "a&ev=5&b";
    const std::string category = "x+y%z w=";
    const std::string screen = "\xE2\x80\xA2 \xC3\xA9\"-";
    ASSERT_TRUE(metrics->SendEvent(CEventData(action, category, screen, -1)));
    const auto hits = Drain(*metrics);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].Names(), WithCommon({"t", "ec", "ea", "cd"}));
    EXPECT_EQ(hits[0].Field("ea"), action);
    EXPECT_EQ(hits[0].Field("ec"), category);
    EXPECT_EQ(hits[0].Field("cd"), screen);
}

TEST_F(Metrics, NothingIsSentWhileDisabled)
{
    auto metrics = CreateMetrics(AppMetricsTest::CollectorSettings(), options);
    ASSERT_TRUE(metrics);
    EXPECT_FALSE(metrics->SendEvent(CEventData("a", "c", "", -1)));
    EXPECT_FALSE(metrics->SendTiming(CTimingData("v", "c", 1, std::nullopt)));
    EXPECT_FALSE(metrics->SendScreenView(CScreenViewData{"s"}));
    EXPECT_FALSE(metrics->SendException(CExceptionData("d", "ID", 0, 2)));
    EXPECT_FALSE(metrics->SendBuildId(CBuildId{"b"}));
    EXPECT_FALSE(metrics->SendCurrentLocale(L"de-DE"));
    EXPECT_FALSE(metrics->SendDaysSinceInstall(1));
    EXPECT_FALSE(metrics->SendApplicationStartType(AST_Manual));
    EXPECT_FALSE(metrics->StartSession());
    EXPECT_FALSE(metrics->EndSession());
    metrics->SetEnabled(false);
    EXPECT_TRUE(Drain(*metrics).empty());

    // Switching off ends the running session first.
    metrics->SetEnabled(true);
    ASSERT_TRUE(metrics->SendEvent(CEventData("a", "c", "", -1)));
    metrics->SetEnabled(false);
    EXPECT_FALSE(metrics->SendEvent(CEventData("a", "c", "", -1)));
    const auto hits = Drain(*metrics);
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[1].Field("ec"), "SessionControl");
    EXPECT_EQ(SessionParameters(hits), (std::vector<std::string>{"start", "end"}));
}

TEST_F(Metrics, AutomaticSessionStartAndEnd)
{
    {
        auto metrics = Make(true);
        // A session without hits has nothing to end.
        ASSERT_TRUE(metrics->EndSession());
        ASSERT_TRUE(Drain(*metrics).empty());
        UpdateSessionStartedFlag(true, false);
        ASSERT_TRUE(metrics->SendEvent(CEventData("a", "c", "", -1)));
        ASSERT_TRUE(metrics->SendEvent(CEventData("b", "c", "", -1)));
        ASSERT_EQ(Drain(*metrics).size(), 2u);
        EXPECT_TRUE(IsSessionStarted());
    }
    // Destruction closed the session.
    const auto hits = CCollector::Hits();
    ASSERT_EQ(hits.size(), 3u);
    EXPECT_EQ(SessionParameters(hits), (std::vector<std::string>{"start", "", "end"}));
    EXPECT_EQ(hits[2].Field("ea"), "end");
    EXPECT_FALSE(IsSessionStarted());

    {
        auto manual = Make(false);
        ASSERT_TRUE(manual->SendEvent(CEventData("a", "c", "", -1)));
    }
    EXPECT_EQ(CCollector::Hits().size(), 4u);
    EXPECT_EQ(CCollector::Hits().back().Field("sc"), "");
}

TEST_F(Metrics, HitCarriesAtMostOneSessionParameter)
{
    auto metrics = Make(true);
    ASSERT_TRUE(metrics->StartSession());
    ASSERT_EQ(Drain(*metrics).size(), 1u);
    EXPECT_EQ(CCollector::Hits()[0].Count("sc"), 1u);
    EXPECT_EQ(CCollector::Hits()[0].Field("sc"), "start");

    // A crash report closes the session; the fresh one starts with the next hit.
    ASSERT_TRUE(metrics->SendException(CExceptionData("at x.y (1)", "", 0, 3)));
    ASSERT_TRUE(metrics->SendEvent(CEventData("a", "c", "", -1)));
    const auto hits = Drain(*metrics);
    ASSERT_EQ(hits.size(), 3u);
    EXPECT_EQ(hits[1].Count("sc"), 1u);
    EXPECT_EQ(hits[1].Field("sc"), "end");
    EXPECT_EQ(hits[1].Field("exf"), "1");
    EXPECT_EQ(hits[2].Field("sc"), "start");
}

TEST_F(Metrics, BudgetResetsAfterTheSessionEndThatSpendsIt)
{
    options.budget = CHitBudgetLimits{100, 3, 2000ms};
    auto metrics = Make(true);
    for (int i = 0; i < 7; ++i) {
        ASSERT_TRUE(metrics->SendEvent(CEventData(std::to_string(i), "c", "", -1)));
    }
    const auto hits = Drain(*metrics);
    ASSERT_EQ(hits.size(), 7u);
    EXPECT_EQ(SessionParameters(hits), (std::vector<std::string>{"start", "", "end", "start", "", "end", "start"}));

    // An explicit start as a session's last hit opens the next session instead of ending the budget.
    ASSERT_TRUE(metrics->SendEvent(CEventData("7", "c", "", -1)));
    ASSERT_TRUE(metrics->StartSession());
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(metrics->SendEvent(CEventData(std::to_string(8 + i), "c", "", -1)));
    }
    const auto later = Drain(*metrics);
    ASSERT_EQ(later.size(), 12u);
    EXPECT_EQ(SessionParameters({later.begin() + 7, later.end()}),
              (std::vector<std::string>{"", "start", "", "end", "start"}));
}

TEST_F(Metrics, ServerErrorsAreRetriedWithGrowingPauses)
{
    CCollector::Script("3x500\n");
    auto metrics = Make(false);
    ASSERT_TRUE(metrics->SendEvent(CEventData("a", "c", "", -1)));
    const auto hits = Drain(*metrics);
    ASSERT_EQ(hits.size(), 4u);
    EXPECT_EQ(hits[0].status, "500");
    EXPECT_EQ(hits[3].status, "200");
    EXPECT_EQ(hits[3].body, hits[0].body);
    EXPECT_EQ(sleeper->Pauses(), (std::vector<std::chrono::milliseconds>{30s, 40s, 50s}));
}

TEST_F(Metrics, ClientErrorsAreNotRetriedAndRedirectsArePostedAgain)
{
    const std::string elsewhere = "http://localhost:" + std::to_string(CCollector::Endpoint().port) + "/moved?x=1";
    CCollector::Script("400\n404\n399\n302>/moved\n200\n307>" + elsewhere + "\n");
    auto metrics = Make(false);
    for (const char* action : {"a", "b", "c", "d", "e"}) {
        ASSERT_TRUE(metrics->SendEvent(CEventData(action, "c", "", -1)));
    }
    const auto hits = Drain(*metrics);
    ASSERT_EQ(hits.size(), 7u);
    EXPECT_EQ(hits[0].Field("ea"), "a");
    EXPECT_EQ(hits[1].Field("ea"), "b");
    EXPECT_EQ(hits[2].status, "399");
    EXPECT_EQ(hits[3].Field("ea"), "d");
    // Each redirect is followed once, as a POST with the hit.
    for (const std::size_t redirected : {3u, 5u}) {
        EXPECT_EQ(hits[redirected].path, "/collect");
        EXPECT_EQ(hits[redirected + 1].path, redirected == 3 ? "/moved" : "/moved?x=1");
        EXPECT_EQ(hits[redirected + 1].body, hits[redirected].body);
        EXPECT_EQ(hits[redirected + 1].status, "200");
    }
    EXPECT_EQ(hits[6].Field("ea"), "e");
    EXPECT_TRUE(sleeper->Pauses().empty());
}

TEST_F(Metrics, CrashReportIsTriedFourTimesOnTheCallersThread)
{
    // A redirect without end is given up after five; an answer cut before its
    // status line is no delivery. The earlier answers close their connections:
    // WinInet sends a request again when a reused connection closes before the
    // status line, so one left over would make one attempt two requests at random.
    const std::pair<const char*, std::size_t> answers[] = {
        {"*x503 then close", 1}, {"*x302>/collect then close", 6}, {"*xclose", 1}};
    std::size_t recorded = 0;
    for (const auto& [answer, perAttempt] : answers) {
        CCollector::Script(std::string(answer) + "\n");
        sleeper = std::make_shared<CFakeSleeper>(*clock);
        options.sleeper = sleeper;
        auto metrics = Make(false);
        ASSERT_TRUE(metrics->SendException(CExceptionData("at a.b (1)", "", 0, 3)));
        // Sent before the call returned.
        const auto hits = CCollector::Hits();
        ASSERT_EQ(hits.size(), recorded + 4 * perAttempt) << answer;
        EXPECT_EQ(hits[recorded].Field("t"), "exception");
        EXPECT_TRUE(std::all_of(hits.begin() + recorded, hits.end(),
                                [&](const CRecordedHit& hit) { return hit.body == hits[recorded].body; }))
            << answer;
        EXPECT_EQ(sleeper->Pauses(), (std::vector<std::chrono::milliseconds>{30s, 40s, 50s})) << answer;
        EXPECT_FALSE(metrics->SendException(CExceptionData("", "", 0, 3)));
        recorded = hits.size();
    }
}

TEST_F(Metrics, FixedEventsAndTheirChecks)
{
    auto metrics = Make(false);
    EXPECT_FALSE(metrics->SendBuildId(CBuildId{""}));
    EXPECT_FALSE(metrics->SendCurrentLocale(L""));
    EXPECT_FALSE(metrics->SendScreenView(CScreenViewData{""}));
    EXPECT_FALSE(metrics->SendEvent(CEventData("", "c", "", -1)));
    EXPECT_FALSE(metrics->SendEvent(CEventData("a", "", "", -1)));
    EXPECT_FALSE(metrics->SendTiming(CTimingData("v", "c", -1, std::nullopt)));
    EXPECT_FALSE(metrics->SendTiming(CTimingData("", "c", 1, std::nullopt)));
    EXPECT_FALSE(metrics->SetUserLanguage(""));

    ASSERT_TRUE(metrics->SendBuildId(CBuildId{"b-42"}));
    ASSERT_TRUE(metrics->SendCurrentLocale(L"de-DE"));
    ASSERT_TRUE(metrics->SendDaysSinceInstall(8));
    ASSERT_TRUE(metrics->SendApplicationStartType(AST_Manual));
    // Hits take the settings when the worker builds them.
    ASSERT_TRUE(metrics->WaitForPendingHits(30));
    ASSERT_TRUE(metrics->SetUserLanguage("fr"));
    ASSERT_TRUE(metrics->SendScreenView(CScreenViewData{"Welcome"}));
    ASSERT_TRUE(metrics->SendTiming(CTimingData("InstallDuration", "Install", 1500, std::nullopt)));
    const CExceptionData failure(std::string(200, '&'), "ID5_", 2, 1);
    ASSERT_TRUE(metrics->SendException(failure));

    const auto hits = Drain(*metrics);
    ASSERT_EQ(hits.size(), 7u);
    EXPECT_EQ(hits[0].Names(), WithCommon({"t", "ec", "ea", "cd3"}));
    EXPECT_EQ(hits[0].Field("ea"), "BuildId");
    EXPECT_EQ(hits[0].Field("cd3"), "b-42");
    EXPECT_EQ(hits[1].Field("cd2"), "de-DE");
    EXPECT_EQ(hits[2].Field("ec"), "Install");
    EXPECT_EQ(hits[2].Field("cd5"), "8-14");
    EXPECT_EQ(hits[3].Field("cd4"), "AST_Manual");
    EXPECT_EQ(hits[3].Field("ul"), "en-US");
    EXPECT_EQ(hits[4].Names(), WithCommon({"t", "cd"}));
    EXPECT_EQ(hits[4].Field("ul"), "fr");
    EXPECT_EQ(hits[5].Names(), WithCommon({"t", "utc", "utv", "utt"}));
    EXPECT_EQ(hits[5].Field("utt"), "1500");
    EXPECT_EQ(hits[6].Names(), WithCommon({"t", "exd", "exf"}));
    EXPECT_EQ(hits[6].Field("exd"), BuildExceptionDescription(failure, COsFacts::Current()));
    // As many escapes as the protocol's 150 bytes hold.
    const std::size_t encoded = PercentEncode(hits[6].Field("exd")).size();
    EXPECT_LE(encoded, 150u);
    EXPECT_GT(encoded, 147u);
    EXPECT_EQ(hits[6].Field("exf"), "0");
}

TEST_F(Metrics, TimingMeasuresFromItsStart)
{
    auto metrics = Make(false);
    EXPECT_FALSE(metrics->CreateTiming(CTimingData("", "c", 0, std::nullopt)));
    EXPECT_FALSE(metrics->CreateTiming(CTimingData("v", "c", -1, std::nullopt)));

    auto timing = metrics->CreateTiming(CTimingData("InstallDuration", "Install", 0, std::nullopt));
    ASSERT_TRUE(timing);
    clock->Advance(1999us);
    timing->SendElapsed();
    timing->SendElapsedSeconds();
    auto fromStart = metrics->CreateTiming(CTimingData("v", "c", 0, clock->Utc() - 5s));
    ASSERT_TRUE(fromStart);
    fromStart->SendElapsedSeconds();

    const auto hits = Drain(*metrics);
    ASSERT_EQ(hits.size(), 3u);
    EXPECT_EQ(hits[0].Field("utt"), "1");
    EXPECT_EQ(hits[1].Field("utt"), "0");
    EXPECT_EQ(hits[2].Field("utt"), "5");

    metrics.reset();
    timing->SendElapsed();
    EXPECT_EQ(CCollector::Hits().size(), 3u);
}

TEST_F(Metrics, FullQueueRefusesAndStalledCollectorCannotHoldShutdown)
{
    CCollector::Script("stall\n");
    options.queueCapacity = 1;
    options.shutdownWait = 200ms;
    options.sleeper = CreateSystemSleeper();
    auto metrics = Make(false);
    ASSERT_TRUE(metrics->SendEvent(CEventData("inflight", "c", "", -1)));
    ASSERT_TRUE(CCollector::WaitForHits(1));
    ASSERT_TRUE(metrics->SendEvent(CEventData("queued", "c", "", -1)));
    EXPECT_FALSE(metrics->SendEvent(CEventData("refused", "c", "", -1)));
    EXPECT_FALSE(metrics->WaitForPendingHits(0));

    const auto started = std::chrono::steady_clock::now();
    metrics.reset();
    // Far below WinInet's 30 s time-outs: the request in flight is abandoned.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
    EXPECT_EQ(CCollector::Hits().size(), 1u);
}

TEST_F(Metrics, ShutdownWakesTheRetryPause)
{
    CCollector::Script("*x500\n");
    options.shutdownWait = 200ms;
    options.sleeper = CreateSystemSleeper();
    auto metrics = Make(false);
    ASSERT_TRUE(metrics->SendEvent(CEventData("a", "c", "", -1)));
    ASSERT_TRUE(CCollector::WaitForHits(1));

    const auto started = std::chrono::steady_clock::now();
    metrics.reset();
    // The first pause alone would be 30 s.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
    EXPECT_EQ(CCollector::Hits().size(), 1u);
}

TEST_F(Metrics, FacadeForwardsToTheOneProcessWideObject)
{
    EXPECT_FALSE(SendEvent(CEventData("a", "c", "", -1)));
    EXPECT_FALSE(StartSession());
    EXPECT_FALSE(CreateTiming(CTimingData("v", "c", 0, std::nullopt)));
    EXPECT_FALSE(WaitForPendingHits(0));

    CGoogleAnalyticsSettings braces = AppMetricsTest::CollectorSettings();
    braces.clientId = "{01234567-89ab-cdef-0123-456789ABCDEF}";
    InitializeMetrics(braces, options);
    SetEnabled(true);
    EXPECT_FALSE(SendEvent(CEventData("a", "c", "", -1)));

    CGoogleAnalyticsSettings settings = AppMetricsTest::CollectorSettings();
    settings.userLanguage.clear();
    settings.productCode.clear();
    InitializeMetrics(settings, options);
    CGoogleAnalyticsSettings other = AppMetricsTest::CollectorSettings();
    other.trackingId = "UA-9-9";
    InitializeMetrics(other, options);

    SetAutomaticSessionManagement(false);
    SetEnabled(true);
    EXPECT_TRUE(CreateTiming(CTimingData("v", "c", 0, std::nullopt)));
    EXPECT_TRUE(StartSession());
    EXPECT_TRUE(SendEvent(CEventData("a", "c", "", -1)));
    EXPECT_TRUE(SendScreenView(CScreenViewData{"s"}));
    EXPECT_TRUE(SendException(CExceptionData("d", "ID", 0, 2)));
    EXPECT_TRUE(EndSession());
    ASSERT_TRUE(WaitForPendingHits(30));

    const auto hits = CCollector::Hits();
    ASSERT_EQ(hits.size(), 5u);
    EXPECT_EQ(hits[0].Field("tid"), "UA-12345-6");
    EXPECT_EQ(hits[0].Field("ul"), "not-set");
    EXPECT_EQ(hits[0].Field("ci"), "");
    EXPECT_EQ(SessionParameters(hits), (std::vector<std::string>{"start", "", "", "", "end"}));
    EXPECT_FALSE(IsSessionStarted());

    ShutdownMetrics();
    EXPECT_FALSE(SendEvent(CEventData("a", "c", "", -1)));
    EXPECT_EQ(CCollector::Hits().size(), 5u);
}

TEST(WorkerPool, ATaskThatThrowsIsLostAndTheTasksBehindItRun)
{
    CLimitedFifoPool pool(4);
    std::atomic<bool> ran{false};
    ASSERT_TRUE(pool.Schedule([] { throw std::bad_alloc(); }));
    ASSERT_TRUE(pool.Schedule([&ran] { ran = true; }));
    EXPECT_TRUE(pool.WaitIdleFor(60s));
    EXPECT_TRUE(ran);
}
