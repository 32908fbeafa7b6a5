// The page starts an installation, end to end: real script calls installer.start with its
// callback object, and the web road's install manager asks the loopback component service,
// downloads the signed test installer from the loopback file server, checks and runs it.
#include "installer/cpp_custominstaller/js/InstallerJSObject.h"

#include "appmetrics/AppMetrics.h"
#include "appmetrics/tests/TestSupport.h"
#include "browsercontrol/tests/RecordingDispatch.h"
#include "browsercontrol/tests/StaThread.h"
#include "browsercontrol/tests/WebDialogSupport.h"
#include "cxx/core/TextUtils.h"
#include "cxx/network/downloader/Md5.h"
#include "tests/support/Loopback.h"
#include "installer/cpp_custominstaller/core/InstallManager.h"
#include "installer/cpp_custominstaller/core/InstallerLauncher.h"
#include "installer/cpp_custominstaller/core/NSISCommandLine.h"
#include "installer/cpp_custominstaller/core/WebInstallerSource.h"
#include "installer/cpp_custominstaller/session/MetricsInstallAnalytics.h"
#include "tests/nsis/TestInstallers.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace CustomInstaller;
using Cxx::Core::Utils::WideToUtf8String;

TEST(InstallerStart, ThePagesCallbacksFollowARealInstallationInOrderOnTheUiThread)
{
    KvTest::CInstallerTestScope scope;
    ASSERT_TRUE(scope.Prepare("kv-start-", "page"));
    BrowserControl::Tests::CApartment apartment;
    AppMetrics::InitializeMetrics(AppMetricsTest::CollectorSettings());
    AppMetrics::SetAutomaticSessionManagement(false);
    AppMetrics::SetEnabled(true);
    const std::wstring installer = KvTest::TestInstallerPath(L"exit0");
    std::filesystem::copy_file(installer, Loopback::Folder("files") + L"\\setup.exe");
    std::wstring md5;
    ASSERT_EQ(Cxx::Network::Downloader::FileMd5(installer, md5), Cxx::Network::Downloader::DR_Ok);
    Loopback::WriteBytes(Loopback::Folder("component") + L"\\answer.body",
                         "[{\"id\":\"QX_PDF\",\"version\":\"7.0.0.1125\",\"url\":\"" +
                             WideToUtf8String(Loopback::Url("files", "/setup.exe")) + "\",\"md5\":\"" +
                             WideToUtf8String(md5) + "\"}]");

    Core::CommandLine::CInstallationDetails details;
    details.gaTrackingUid = L"0123456789abcdef0123456789abcdef";
    const Core::CommandLine::CInstallerOptions options(details);
    const auto analytics = std::make_shared<CMetricsInstallAnalytics>();
    auto manager = std::make_shared<Core::CInstallManager>(
        std::make_unique<Core::CWebInstallerSource>(options, Loopback::Url("component", "/component"), analytics),
        std::make_unique<Core::CInstallerLauncher>(
            std::make_shared<Core::CommandLine::CNSISCommandLine>(details, options, &AppMetrics::IsSessionStarted),
            analytics),
        nullptr, analytics);
    auto objects = std::make_shared<BrowserControl::JS::CJSObjectsSimpleContainer>();
    BrowserControl::JS::AddScriptObject(objects, new Core::JS::CInstallerJSObject(manager, options, false));
    const auto threads = Cxx::Core::CComPtr<BrowserControl::Tests::CRecordingDispatch>::Attach(
        BrowserControl::Tests::CRecordingDispatch::Create({L"called"}));
    BrowserControl::Tests::CScriptHost host;
    ASSERT_TRUE(host.AddExternal(objects));
    ASSERT_TRUE(host.AddNamedItem(L"threads", threads.Get()));
    ASSERT_EQ(host.Run(L"var calls = [], progress = [], ended = false;"
                       L"function note(name) { calls.push(name); threads.called(); }"
                       L"var callbacks = {"
                       L"  onStarted: function () { note('started'); },"
                       L"  onProgress: function (value) { note('progress'); progress.push(value); },"
                       L"  onError: function (code) { note('error ' + code); ended = true; },"
                       L"  onFinish: function () { note('finish'); ended = true; } };"
                       L"var first = external.installer.start(callbacks);"
                       L"var second = external.installer.start({ onStarted: function () { note('second'); } });"),
              S_OK);
    const auto ended = [&host] { return host.Global(L"ended").Get().boolVal == VARIANT_TRUE; };
    EXPECT_TRUE(BrowserControl::Tests::PumpUntil(ended, 120000));
    manager->Wait();

    // Started, then only progress that never falls back, then the end.
    EXPECT_EQ(host.Run(L"var rising = true, others = 0;"
                       L"for (var i = 1; i < progress.length; ++i) { rising = rising && progress[i] >= progress[i-1]; }"
                       L"for (var j = 1; j < calls.length - 1; ++j) { others += calls[j] === 'progress' ? 0 : 1; }"
                       L"var summary = [first, second, calls[0], calls[1], calls[calls.length - 1], progress[0],"
                       L"  progress[progress.length - 1], rising, others].join(' ');"),
              S_OK);
    EXPECT_EQ(std::wstring(host.Global(L"summary").Get().bstrVal), L"true false started progress finish 0 97 true 0");
    EXPECT_GT(threads->CallCount(), 3u);
    for (const auto& call : threads->Calls()) {
        EXPECT_EQ(call.threadId, ::GetCurrentThreadId());
    }
    EXPECT_EQ(manager->GetState(), Core::IS_Succeeded);
    std::wstring received;
    ASSERT_TRUE(scope.ReadReceivedCommandLine(received));
    EXPECT_NE(received.find(L" /NO_UI"), std::wstring::npos) << WideToUtf8String(received);

    manager.reset();
    AppMetrics::ShutdownMetrics();
    ASSERT_TRUE(AppMetricsTest::CCollector::WaitForHits(2));
    std::vector<std::string> hits;
    for (const auto& hit : AppMetricsTest::CCollector::Hits()) {
        hits.push_back(hit.Field("t") + " " + hit.Field("ea") + hit.Field("utv"));
    }
    EXPECT_EQ(hits, (std::vector<std::string>{"event InstallerSuccessW", "timing InstallDuration"}));
    EXPECT_TRUE(scope.Finish());
}
