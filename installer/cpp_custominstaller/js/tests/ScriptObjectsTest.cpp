#include "installer/cpp_custominstaller/js/GAJSObject.h"
#include "installer/cpp_custominstaller/js/InstallerJSObject.h"

#include "appmetrics/AppMetrics.h"
#include "appmetrics/tests/TestSupport.h"
#include "browsercontrol/tests/StaThread.h"
#include "browsercontrol/tests/WebDialogSupport.h"
#include "cxx/core/TextUtils.h"
#include "installer/cpp_custominstaller/js/tests/StartingManager.h"

#include <gtest/gtest.h>

using namespace CustomInstaller;
using namespace CustomInstaller::Core;
using Cxx::Core::Utils::WideToUtf8String;

namespace {

// Sends as "screen <name>" and "event <action>/<category>/<screen>/<value>".
class CRecordingSender : public GA::IGASender {
public:
    bool SendScreen(const std::wstring& screenName) override
    {
        sent.push_back(L"screen " + screenName);
        return true;
    }
    bool SendEvent(const std::wstring& action, const std::wstring& category, const std::wstring& screenName,
                   std::int64_t value) override
    {
        sent.push_back(L"event " + action + L"/" + category + L"/" + screenName + L"/" + std::to_wstring(value));
        return true;
    }

    std::vector<std::wstring> sent;
};

// A page's script with window.external over the installer's objects.
class ScriptObjects : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_apartment.Entered());
        m_details.oSource = L"Ünï tag";
        m_details.tracking = L"web page";
        m_details.language = L"de";
        m_installer = Cxx::Core::CComPtr<JS::CInstallerJSObject>(
            new JS::CInstallerJSObject(m_manager, CommandLine::CInstallerOptions(m_details), false));
        BrowserControl::JS::AddScriptObject(m_objects, m_installer.Get());
        BrowserControl::JS::AddScriptObject(m_objects, new JS::CGAJSObject(m_sender));
        ASSERT_TRUE(m_host.AddExternal(m_objects));
    }
    // A script value as the script writes it.
    std::wstring Text(const std::wstring& expression)
    {
        EXPECT_EQ(m_host.Run(L"var shown = String(" + expression + L");"), S_OK) << WideToUtf8String(expression);
        const Cxx::GUI::CVariant shown = m_host.Global(L"shown");
        return shown.Get().vt == VT_BSTR ? shown.Get().bstrVal : L"";
    }

    BrowserControl::Tests::CApartment m_apartment;
    CommandLine::CInstallationDetails m_details;
    std::shared_ptr<KvTest::CStartingManager> m_manager = std::make_shared<KvTest::CStartingManager>();
    std::shared_ptr<CRecordingSender> m_sender = std::make_shared<CRecordingSender>();
    std::shared_ptr<BrowserControl::JS::CJSObjects> m_objects =
        std::make_shared<BrowserControl::JS::CJSObjectsSimpleContainer>();
    Cxx::Core::CComPtr<JS::CInstallerJSObject> m_installer;
    BrowserControl::Tests::CScriptHost m_host;
};

} // namespace

TEST_F(ScriptObjects, ArgumentsAreCheckedAsThePageCallsThem)
{
    const struct {
        const wchar_t* script;
        HRESULT hr;
        std::vector<std::wstring> sent;
    } cases[] = {
        {L"var r = external.installer.start(5);", E_INVALIDARG, {}},
        {L"var r = external.installer.start(null);", E_INVALIDARG, {}},
        {L"external.installer.start({});", E_INVALIDARG, {}},
        {L"var r = external.installer.cancel(1);", E_INVALIDARG, {}},
        {L"external.installer.cancel();", E_INVALIDARG, {}},
        {L"var d = external.installer.getDetails(1);", E_INVALIDARG, {}},
        {L"external.installer.getDetails();", E_INVALIDARG, {}},
        {L"var u = external.installer.getDetails().getUID();", E_NOTIMPL, {}},
        {L"var v = external.installer.getDetails().getVersion(1);", E_INVALIDARG, {}},
        {L"external.ga.sendEvent('Next', 'Install', 'Welcome', -1);", S_OK, {L"event Next/Install/Welcome/-1"}},
        {L"external.ga.sendEvent('a', 'b', 'c', 2.9);", S_OK, {L"event a/b/c/2"}},
        {L"external.ga.sendEvent('a', 'b', 'c');", S_OK, {L"event a/b/c/-1"}},
        {L"external.ga.sendEvent('a', 'b', 'c', 'abc');", E_INVALIDARG, {}},
        {L"external.ga.sendEvent('a', 'b', 'c', true);", E_INVALIDARG, {}},
        {L"external.ga.sendEvent('a', 'b', 'c', 4294967296);", E_INVALIDARG, {}},
        {L"external.ga.sendEvent('a', '', 'c', -1);", E_INVALIDARG, {}},
        {L"external.ga.sendEvent('a', 'b');", E_INVALIDARG, {}},
        {L"var r = external.ga.sendEvent('a', 'b', 'c', -1);", E_INVALIDARG, {}},
        {L"external.ga.sendScreen('Welcome');", S_OK, {L"screen Welcome"}},
        {L"external.ga.sendScreen('');", E_INVALIDARG, {}},
        {L"var r = external.ga.sendScreen('Welcome');", E_INVALIDARG, {}},
    };
    for (const auto& c : cases) {
        m_sender->sent.clear();
        EXPECT_EQ(m_host.Run(c.script), c.hr) << WideToUtf8String(c.script);
        EXPECT_EQ(m_sender->sent, c.sent) << WideToUtf8String(c.script);
    }
    EXPECT_TRUE(m_manager->callbacks.empty());
    EXPECT_EQ(m_manager->cancels, 0);
    EXPECT_EQ(Text(L"[d = external.installer.getDetails(), d.getBuildId(), d.getOSource(), d.getTracking(),"
                   L" d.getVersion(), d.getLanguage()].slice(1).join('|')"),
              L"0|Ünï tag|web page|7.0.0.1125|de");

    BrowserControl::JS::CArgumentList name;
    name.Add(BrowserControl::JS::CVariant::String(L"Welcome"));
    EXPECT_EQ(Cxx::Core::CComPtr<JS::CGAJSObject>(new JS::CGAJSObject(nullptr))->sendScreen(name.Params(), nullptr,
                                                                                             nullptr, nullptr),
              E_FAIL);
}

TEST_F(ScriptObjects, StartRunsOnStartedBeforeItAnswersAndTheDetachedPageHearsNoMore)
{
    ASSERT_EQ(m_host.Run(L"var order = [];"
                         L"var callbacks = { onStarted: function () { order.push('started'); },"
                         L"                  onFinish: function () { order.push('finish'); } };"
                         L"order.push('answered ' + external.installer.start(callbacks));"),
              S_OK);
    EXPECT_EQ(Text(L"order"), L"started,answered true");
    EXPECT_EQ(Text(L"external.installer.cancel()"), L"false");
    EXPECT_EQ(m_manager->cancels, 1);

    m_installer->DetachCallbacks();
    const auto callback = m_manager->callbacks.at(0);
    BrowserControl::Tests::CWorkerThread late([callback] { callback->OnFinish(); });
    ASSERT_TRUE(late.PumpUntilDone(5000));
    EXPECT_EQ(Text(L"order"), L"started,answered true");

    m_manager->startAnswer = false;
    EXPECT_EQ(Text(L"external.installer.start(callbacks)"), L"false");
    m_manager.reset();
    EXPECT_EQ(Text(L"[external.installer.start(callbacks), external.installer.cancel()]"), L"false,false");
}

TEST_F(ScriptObjects, ThePagesTextsReachTheCollectorAsUtf8)
{
    AppMetrics::InitializeMetrics(AppMetricsTest::CollectorSettings());
    AppMetrics::SetAutomaticSessionManagement(false);
    AppMetrics::SetEnabled(true);
    m_objects->Remove(L"ga");
    BrowserControl::JS::AddScriptObject(m_objects, new JS::CGAJSObject(std::make_shared<GA::CGASender>()));
    ASSERT_EQ(m_host.Run(L"var d = external.installer.getDetails();"
                         L"external.ga.sendEvent('Größe', 'Install', d.getOSource(), 7);"
                         L"external.ga.sendScreen('Écran ' + d.getLanguage());"),
              S_OK);
    AppMetrics::ShutdownMetrics();
    ASSERT_TRUE(AppMetricsTest::CCollector::WaitForHits(2));

    const auto hits = AppMetricsTest::CCollector::Hits();
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].Field("t") + " " + hits[0].Field("ea") + " " + hits[0].Field("ec") + " " + hits[0].Field("ev"),
              "event Gr\xC3\xB6\xC3\x9F" "e Install 7");
    EXPECT_EQ(hits[0].Field("cd"), "\xC3\x9Cn\xC3\xAF tag");
    EXPECT_EQ(hits[1].Field("t") + " " + hits[1].Field("cd"), "screenview \xC3\x89" "cran de");
}
