#include "installer/cpp_custominstaller/session/GASessionHandler.h"
#include "installer/cpp_custominstaller/session/MetricsInstallAnalytics.h"
#include "installer/cpp_custominstaller/session/TrackingUid.h"

#include "appmetrics/AppMetrics.h"
#include "appmetrics/tests/TestSupport.h"
#include "cxx/core/TextUtils.h"
#include "kv_config.h"
#include "productlist/ProductList.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

using namespace CustomInstaller;
using AppMetricsTest::CCollector;
using AppMetricsTest::CRecordedHit;
using Core::CommandLine::CInstallationDetails;
using Core::CommandLine::CInstallerOptions;

namespace {

// Each case runs in a process of its own, so each has its own metrics object.
std::vector<CRecordedHit> FinishAndCollect(std::size_t expected)
{
    AppMetrics::ShutdownMetrics();
    EXPECT_TRUE(CCollector::WaitForHits(expected));
    return CCollector::Hits();
}

std::size_t CountWithField(const std::vector<CRecordedHit>& hits, const std::string& name, const std::string& value)
{
    std::size_t count = 0;
    for (const CRecordedHit& hit : hits) {
        count += hit.Field(name) == value ? 1 : 0;
    }
    return count;
}

} // namespace

TEST(GASessionHandler, AGivenClientIdIsUsedWithoutCatalogueOrSession)
{
    std::atomic<int> resolverCalls{0};
    CInstallerOptions::SetTrackingUidResolver([&resolverCalls] {
        ++resolverCalls;
        return GetSessionGuid();
    });
    CInstallationDetails details;
    details.gaTrackingUid = L"0123456789ABCDEF0123456789ABCDEF";
    details.language = L"de-DE";
    CGASessionHandler handler(details);
    EXPECT_EQ(resolverCalls.load(), 0);

    CMetricsInstallAnalytics analytics;
    analytics.SendEvent("InstallerFailureW", "");
    analytics.SendException("no source", "ID1_", 3, 2);
    handler.Shutdown();
    EXPECT_FALSE(AppMetrics::IsSessionStarted());
    const auto hits = FinishAndCollect(2);
    CInstallerOptions::SetTrackingUidResolver(nullptr);

    ASSERT_EQ(hits.size(), 2u);
    for (const CRecordedHit& hit : hits) {
        EXPECT_EQ(hit.Field("cid"), "01234567-89AB-CDEF-0123-456789ABCDEF");
        EXPECT_EQ(hit.Field("tid"), KV_ANALYTICS_PROPERTY_ID);
        EXPECT_EQ(hit.Field("an"), "Vellix PDF Pro");
        EXPECT_EQ(hit.Field("av"), "7.0.0.1125");
        EXPECT_EQ(hit.Field("ul"), "de-DE");
        EXPECT_EQ(hit.Field("ci"), "QXPDF");
        EXPECT_EQ(hit.Count("sc"), 0u);
    }
    EXPECT_EQ(hits[0].Field("t"), "event");
    EXPECT_EQ(hits[0].Field("ec"), "Install");
    EXPECT_EQ(hits[0].Field("ea"), "InstallerFailureW");
    EXPECT_EQ(hits[0].Count("ev"), 0u);
    EXPECT_EQ(hits[1].Field("t"), "exception");
    EXPECT_EQ(hits[1].Field("exf"), "1");
}

TEST(GASessionHandler, WithoutClientIdTheSessionRunsUnderTheProcessId)
{
    // On an installed product the id would come from a copy of this program.
    if (ProductList::CProductList(L"", "").IsProductInstalled(OwnProductCode)) {
        GTEST_SKIP() << "the product is installed in this prefix";
    }
    CInstallerOptions::SetTrackingUidResolver(&ResolveTrackingUid);
    const CInstallationDetails details;
    CGASessionHandler handler(details);
    CMetricsInstallAnalytics().SendEvent("InstallerSuccessW", "");
    handler.Shutdown();
    EXPECT_TRUE(AppMetrics::IsSessionStarted());
    // Automatic session management ends the session with the metrics object.
    const auto hits = FinishAndCollect(3);

    // Every options record of the process carries the id the hits carry.
    const std::wstring uid = CInstallerOptions(details).GetTrackingUid();
    CInstallerOptions::SetTrackingUidResolver(nullptr);
    EXPECT_EQ(uid, ResolveTrackingUid());
    EXPECT_EQ(uid, GetSessionGuid());
    ASSERT_FALSE(hits.empty());
    for (const CRecordedHit& hit : hits) {
        EXPECT_EQ(hit.Field("cid"), Cxx::Core::Utils::WideToUtf8String(uid));
    }
    EXPECT_EQ(CountWithField(hits, "sc", "start"), 1u);
    EXPECT_EQ(CountWithField(hits, "sc", "end"), 1u);
    EXPECT_EQ(CountWithField(hits, "ea", "InstallerSuccessW"), 1u);
}
