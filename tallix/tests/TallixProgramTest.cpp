#include "appmetrics/tests/TestSupport.h"
#include "cxx/core/SystemUtils.h"
#include "tests/support/TestProcess.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>

using AppMetricsTest::CCollector;
using AppMetricsTest::CRecordedHit;
using namespace std::chrono_literals;

namespace {

const std::wstring Required = L"-track_id UA-12345-6 -guid 0123456789ABCDEF0123456789abcdef -app_version 7.0.0.1125 "
                              L"-app_name \"Vellix PDF Pro\" -language en-US -product_code QXPDF ";

// The program's exit code, or -1 when it could not be run.
long RunTallix(const std::wstring& arguments)
{
    return KvTest::WaitForExit(KvTest::StartProgram(KvTest::BuiltProgramPath(KV_TALLIX_EXE), arguments), 90000);
}

std::vector<std::string> CommonAnd(std::vector<std::string> names)
{
    std::vector<std::string> all = {"v", "tid", "cid", "an", "av", "ul", "ci"};
    all.insert(all.end(), names.begin(), names.end());
    return all;
}

void ExpectCommonFields(const CRecordedHit& hit)
{
    EXPECT_EQ(hit.path, "/collect");
    EXPECT_EQ(hit.Field("v"), "1");
    EXPECT_EQ(hit.Field("tid"), "UA-12345-6");
    EXPECT_EQ(hit.Field("cid"), "01234567-89AB-CDEF-0123-456789abcdef");
    EXPECT_EQ(hit.Field("an"), "Vellix PDF Pro");
    EXPECT_EQ(hit.Field("av"), "7.0.0.1125");
    EXPECT_EQ(hit.Field("ul"), "en-US");
    EXPECT_EQ(hit.Field("ci"), "QXPDF");
}

// Wine plays the Windows version named under its AppDefaults key for one
// program; on Windows 10 it tells 10.0 only to a program whose manifest names
// Windows 10, and 6.2 to any other.
class CTallixPlaysWindows10 {
public:
    CTallixPlaysWindows10()
    {
        EXPECT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, Key, L"Version", REG_SZ, L"win10", sizeof(L"win10")),
                  ERROR_SUCCESS);
    }
    ~CTallixPlaysWindows10() { ::RegDeleteKeyW(HKEY_CURRENT_USER, Key); }
    CTallixPlaysWindows10(const CTallixPlaysWindows10&) = delete;
    CTallixPlaysWindows10& operator=(const CTallixPlaysWindows10&) = delete;

private:
    static constexpr const wchar_t* Key = L"Software\\Wine\\AppDefaults\\Tallix.exe";
};

} // namespace

TEST(TallixProgram, InstallStartSendsSessionStartThenTheEvent)
{
    const CTallixPlaysWindows10 windows10;
    ASSERT_EQ(RunTallix(Required + L"-install_start"), 0);
    const auto hits = CCollector::Hits();
    ASSERT_EQ(hits.size(), 2u);
    for (const CRecordedHit& hit : hits) {
        ExpectCommonFields(hit);
        EXPECT_EQ(hit.userAgent,
                  AppMetrics::BuildOsDescription(std::make_pair(10u, 0u), Cxx::Core::Utils::Is64BitWindows()));
    }
    EXPECT_EQ(hits[0].Names(), CommonAnd({"t", "ec", "ea", "sc"}));
    EXPECT_EQ(hits[0].Field("ec"), "SessionControl");
    EXPECT_EQ(hits[0].Field("ea"), "start");
    EXPECT_EQ(hits[0].Field("sc"), "start");
    EXPECT_EQ(hits[1].Names(), CommonAnd({"t", "ec", "ea", "ev"}));
    EXPECT_EQ(hits[1].Field("t"), "event");
    EXPECT_EQ(hits[1].Field("ec"), "Install");
    EXPECT_EQ(hits[1].Field("ea"), "InstallerStart");
    EXPECT_EQ(hits[1].Field("ev"), "1");
}

TEST(TallixProgram, CancelSendsTheEventThenSessionEnd)
{
    ASSERT_EQ(RunTallix(Required + L"-install_cancel -install_silent"), 0);
    const auto hits = CCollector::Hits();
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].Names(), CommonAnd({"t", "ec", "ea"}));
    EXPECT_EQ(hits[0].Field("ea"), "InstallerCancel");
    EXPECT_EQ(hits[1].Field("ea"), "end");
    EXPECT_EQ(hits[1].Field("sc"), "end");
}

TEST(TallixProgram, WithoutSessionManagementOnlyTheEventLeaves)
{
    ASSERT_EQ(RunTallix(Required + L"-uninstall_start -install_silent -disableSessionManagement"), 0);
    const auto hits = CCollector::Hits();
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].Field("ea"), "AppUninstall");
    EXPECT_EQ(hits[0].Field("ev"), "0");
    EXPECT_EQ(hits[0].Count("sc"), 0u);
}

TEST(TallixProgram, RefusedRunsExitWithOneAndSendNothing)
{
    EXPECT_EQ(RunTallix(Required), 1);
    EXPECT_EQ(RunTallix(L"-track_id UA-1-2 -guid 0123456789ABCDEF0123456789abcdef -app_version 1 -app_name a "
                        L"-product_code QXPDF -install_start"),
              1);
    EXPECT_EQ(RunTallix(L"-track_id UA-1-2 -guid 12345 -app_version 1 -app_name a -language en "
                        L"-product_code QXPDF -install_start"),
              1);
    EXPECT_TRUE(CCollector::Hits().empty());
}

TEST(TallixProgram, TextOutsideLatin1ArrivesAsUtf8)
{
    ASSERT_EQ(RunTallix(L"-track_id UA-1-2 -guid 0123456789ABCDEF0123456789abcdef -app_version 1 "
                        L"-app_name \"Vellix \u2022\u4E20 Pro\" -language \u0440\u0443 -product_code QXPDF "
                        L"-install_success"),
              0);
    const auto hits = CCollector::Hits();
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].Field("an"), "Vellix \xE2\x80\xA2\xE4\xB8\xA0 Pro");
    EXPECT_EQ(hits[0].Field("ul"), "\xD1\x80\xD1\x83");
    EXPECT_EQ(hits[0].Field("ea"), "InstallerSuccess");
}

// The one case that waits out the program's real bound at exit.
TEST(TallixProgram, StalledCollectorHoldsTheExitOnlyForTheBoundedWait)
{
    CCollector::Script("*xstall\n");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(RunTallix(Required + L"-install_start"), 0);
    const auto elapsed = std::chrono::steady_clock::now() - started;
    // About 20 s; WinInet's 30 s time-out or a 30 s back-off pause would show above 28 s.
    EXPECT_GE(elapsed, 19s);
    EXPECT_LT(elapsed, 28s);
    const auto hits = CCollector::Hits();
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].Field("sc"), "start");
}
