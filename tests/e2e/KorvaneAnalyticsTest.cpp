// Runs Korvane.exe against the loopback collector on the configured analytics
// port and reads back what it reported and what it left in the registry.
#include "appmetrics/tests/TestSupport.h"
#include "cxx/core/Handle.h"
#include "cxx/core/SystemUtils.h"
#include "tests/e2e/KorvaneProcess.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>

using AppMetricsTest::CCollector;
using AppMetricsTest::CRecordedHit;
using KvE2e::EmulationKey;
using KvE2e::EmulationValue;
using KvE2e::ReadEmulationValue;
using KvE2e::RunKorvane;

namespace {

std::vector<CRecordedHit> EventsOf(const std::vector<CRecordedHit>& hits, const std::string& action)
{
    std::vector<CRecordedHit> found;
    std::copy_if(hits.begin(), hits.end(), std::back_inserter(found),
                 [&action](const CRecordedHit& hit) { return hit.Field("t") == "event" && hit.Field("ea") == action; });
    return found;
}

std::size_t CountSessionControl(const std::vector<CRecordedHit>& hits, const std::string& control)
{
    return std::count_if(hits.begin(), hits.end(),
                         [&control](const CRecordedHit& hit) { return hit.Field("sc") == control; });
}

} // namespace

TEST(KorvaneAnalytics, ASilentRunReportsOneSessionAndRemovesItsEmulationValue)
{
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, EmulationKey, EmulationValue);
    const bool online = Cxx::Core::Utils::IsInternetConnected();
    // Online the run fails at the installer source; offline it makes no manager.
    EXPECT_EQ(RunKorvane(L"/S"), online ? 12 : 17);
    EXPECT_EQ(ReadEmulationValue(), std::nullopt);

    ASSERT_TRUE(CCollector::WaitForHits(online ? 4 : 3));
    const std::vector<CRecordedHit> hits = CCollector::Hits();
    const auto starts = EventsOf(hits, "InstallerStartW");
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].Field("ec"), "Install");
    EXPECT_EQ(starts[0].Field("ev"), "0");
    const auto failures = EventsOf(hits, "InstallerFailureW");
    ASSERT_EQ(failures.size(), online ? 1u : 0u);
    for (const CRecordedHit& failure : failures) {
        EXPECT_EQ(failure.Field("ec"), "Install");
        EXPECT_EQ(failure.Count("ev"), 0u);
    }
    const auto finishes = EventsOf(hits, "InstallerFinishW");
    ASSERT_EQ(finishes.size(), 1u);
    EXPECT_EQ(finishes[0].Count("ev"), 0u);
    EXPECT_EQ(CountSessionControl(hits, "start"), 1u);
    EXPECT_EQ(CountSessionControl(hits, "end"), 1u);

    std::set<std::string> clientIds;
    for (const CRecordedHit& hit : hits) {
        clientIds.insert(hit.Field("cid"));
        EXPECT_EQ(hit.Field("an"), "Vellix PDF Pro");
        EXPECT_EQ(hit.Field("ci"), "QXPDF");
    }
    ASSERT_EQ(clientIds.size(), 1u);
    EXPECT_EQ(clientIds.begin()->size(), 36u);
}

TEST(KorvaneAnalytics, AGivenClientIdOpensNoSessionAndAnEarlierValueComesBack)
{
    const DWORD earlier = 8000;
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, EmulationKey, EmulationValue, REG_DWORD, &earlier, sizeof(earlier)),
              ERROR_SUCCESS);
    const bool online = Cxx::Core::Utils::IsInternetConnected();
    EXPECT_EQ(RunKorvane(L"/VS /GA_TRACKING_UID=6f1c2b9e3a4d4e5f8a7b0c1d2e3f4a5b"), online ? 12 : 17);
    EXPECT_EQ(ReadEmulationValue(), std::optional<DWORD>(earlier));
    ::RegDeleteKeyValueW(HKEY_CURRENT_USER, EmulationKey, EmulationValue);

    ASSERT_TRUE(CCollector::WaitForHits(online ? 3 : 2));
    const std::vector<CRecordedHit> hits = CCollector::Hits();
    EXPECT_EQ(EventsOf(hits, "InstallerStartW").size(), 1u);
    EXPECT_EQ(EventsOf(hits, "InstallerFinishW").size(), 1u);
    EXPECT_EQ(CountSessionControl(hits, "start"), 0u);
    EXPECT_EQ(CountSessionControl(hits, "end"), 0u);
    for (const CRecordedHit& hit : hits) {
        EXPECT_EQ(hit.Field("cid"), "6f1c2b9e-3a4d-4e5f-8a7b-0c1d2e3f4a5b");
    }
}
