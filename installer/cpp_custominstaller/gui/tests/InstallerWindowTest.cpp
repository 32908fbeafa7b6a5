// The real installer window under the test display. The page cannot render under Wine: its
// script is played by the JScript test host over the window's own window.external.
#include "installer/cpp_custominstaller/gui/InstallerWindow.h"

#include "browsercontrol/tests/StaThread.h"
#include "browsercontrol/tests/WebDialogSupport.h"
#include "cxx/core/TextUtils.h"
#include "installer/cpp_custominstaller/js/tests/StartingManager.h"

#include <gtest/gtest.h>

using namespace CustomInstaller;
using BrowserControl::WebDialogPageTimeout;

namespace {

// The installer window with a short or long time-out, the test's steps, and a page script
// whose closeDialogRequested takes the user's close request; without a page script the
// window asks its real browser, whose page never loaded.
class CDrivenWindow final : public Gui::CInstallerWindow {
    using CBase = Gui::CInstallerWindow;

public:
    using CSteps = BrowserControl::Tests::CDialogSteps<CDrivenWindow>;

    CDrivenWindow(const std::wstring& page, std::shared_ptr<Core::IInstallManager> manager, const wchar_t* pageScript,
                  std::vector<CSteps::CStep> steps, UINT timeout = 60000)
        : CBase(page, manager, Core::CommandLine::CInstallerOptions({}), timeout), m_pageScript(pageScript),
          m_steps(std::move(steps))
    {
    }

    CXX_BEGIN_MSG_MAP()
        CXX_MESSAGE_HANDLER(CSteps::Message, OnStep)
        CXX_CHAIN_MSG_MAP(CBase)
    CXX_END_MSG_MAP()

    void InitScriptObjects(const std::shared_ptr<BrowserControl::JS::CJSObjects>& pageObjects) override
    {
        CBase::InitScriptObjects(pageObjects);
        objects = pageObjects;
        EXPECT_TRUE(page.AddExternal(objects));
        EXPECT_EQ(page.Run(m_pageScript ? m_pageScript : L"var asked = 0;"), S_OK);
        m_steps.Begin(*this);
    }
    int Asked() { return page.Global(L"asked").Get().intVal; }

    std::shared_ptr<BrowserControl::JS::CJSObjects> objects;
    BrowserControl::Tests::CScriptHost page;

protected:
    HRESULT AskPageToClose() override
    {
        return m_pageScript ? page.Run(L"closeDialogRequested();") : CBase::AskPageToClose();
    }

private:
    LRESULT OnStep(UINT, WPARAM index, LPARAM, bool&) { return m_steps.Run(*this, index); }

    const wchar_t* const m_pageScript;
    CSteps m_steps;
};

CDrivenWindow::CSteps::CStep Script(const wchar_t* script)
{
    return [script](CDrivenWindow& window) {
        EXPECT_EQ(window.page.Run(script), S_OK) << Cxx::Core::Utils::WideToUtf8String(window.page.ErrorText());
    };
}

CDrivenWindow::CSteps::CStep ExpectOpenAfterAsking(int times)
{
    return [times](CDrivenWindow& window) {
        EXPECT_TRUE(::IsWindow(window.Handle()));
        EXPECT_EQ(window.Asked(), times);
    };
}

void ExpectTitleIconAndObjects(CDrivenWindow& window)
{
    wchar_t title[64] = {};
    ::GetWindowTextW(window.Handle(), title, 64);
    EXPECT_STREQ(title, SetupWindowTitle);
    const HICON icon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(Gui::CInstallerWindow::IconId));
    EXPECT_NE(icon, nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(window.Handle(), WM_GETICON, ICON_BIG, 0)), icon);
    // The installer window's own order, with basewnd behind system and the others.
    std::vector<std::wstring> names;
    for (int index = 0; index < window.objects->GetCount(); ++index) {
        names.push_back(window.objects->GetName(index));
    }
    EXPECT_EQ(names, (std::vector<std::wstring>{L"system", L"process", L"download", L"childWindow", L"basewnd",
                                                L"installer", L"ga"}));
}

const auto Post = CDrivenWindow::CSteps::Post;
const wchar_t* const Show = L"external.basewnd.show(640, 480);";
const wchar_t* const CountingPage = L"var asked = 0; function closeDialogRequested() { asked += 1; }";
const wchar_t* const ClosingPage = L"var asked = 0;"
                                   L"function closeDialogRequested() {"
                                   L"  asked += 1; external.basewnd.hide(); external.basewnd.close(); }";
const wchar_t* const BrokenPage = L"var asked = 0; function closeDialogRequested() { asked += 1; throw 1; }";

class InstallerWindow : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_apartment.Entered()); }

    BrowserControl::Tests::CApartment m_apartment;
    BrowserControl::Tests::CTestPages m_pages{L"kv-window-", {L"index.html"}};
    const std::wstring m_page = m_pages.Path(L"index.html");
    std::shared_ptr<KvTest::CStartingManager> m_manager = std::make_shared<KvTest::CStartingManager>();
};

} // namespace

TEST_F(InstallerWindow, TheUserAsksThePageToCloseAndOnlyThePageOrAFailedAnswerClosesTheWindow)
{
    const struct {
        const char* name;
        const wchar_t* page;
        std::vector<CDrivenWindow::CSteps::CStep> steps;
        UINT timeout;
        INT_PTR result;
        int asked;
    } cases[] = {
        {"a page that never shows", CountingPage, {ExpectTitleIconAndObjects}, 50, WebDialogPageTimeout, 0},
        {"the page stays, then closes itself",
         CountingPage,
         {Script(Show), Post(WM_CLOSE, 0, 0), ExpectOpenAfterAsking(1), Post(WM_CLOSE, 0, 0), ExpectOpenAfterAsking(2),
          Script(L"external.basewnd.hide(); external.basewnd.close();")},
         60000, 1, 2},
        {"the page closes on the request", ClosingPage, {Script(Show), Post(WM_CLOSE, 7, 0)}, 60000, 1, 1},
        {"the page closes before it showed", ClosingPage, {Post(WM_CLOSE, 7, 0)}, 60000, WebDialogPageTimeout, 1},
        {"the page's handler fails", BrokenPage, {Post(WM_CLOSE, 4, 0)}, 60000, 4, 1},
        {"no page loaded in the browser", nullptr, {Post(WM_CLOSE, 3, 0)}, 60000, 3, 0},
    };
    for (const auto& c : cases) {
        const BrowserControl::Tests::CNavigationTargets asked;
        CDrivenWindow window(m_page, m_manager, c.page, c.steps, c.timeout);
        EXPECT_EQ(window.DoModal(), c.result) << c.name;
        EXPECT_EQ(window.Asked(), c.asked) << c.name;
        // The control is asked for the page by its URL.
        EXPECT_EQ(asked.targets, std::vector<std::wstring>{m_pages.Url(L"index.html")}) << c.name;
    }
}

TEST_F(InstallerWindow, AClosedWindowLetsLateCallsOfTheInstallationGo)
{
    CDrivenWindow window(m_page, m_manager, nullptr,
                         {Script(L"var calls = [];"
                                 L"var started = external.installer.start({"
                                 L"  onStarted: function () { calls.push('started'); },"
                                 L"  onFinish: function () { calls.push('finish'); } });"),
                          Script(Show), Script(L"external.basewnd.hide(); external.basewnd.close();")});
    EXPECT_EQ(window.DoModal(), 1);
    ASSERT_EQ(m_manager->callbacks.size(), 1u);
    const auto callback = m_manager->callbacks[0];
    BrowserControl::Tests::CWorkerThread late([callback] { callback->OnFinish(); });
    ASSERT_TRUE(late.PumpUntilDone(5000));
    ASSERT_EQ(window.page.Run(L"var shown = String(started) + ' ' + calls.join();"), S_OK);
    EXPECT_EQ(std::wstring(window.page.Global(L"shown").Get().bstrVal), L"true started");

    // A script still running (an unload handler) starts no run and opens no child any more.
    const std::wstring page = BrowserControl::Tests::ScriptText(m_pages.Url(L"index.html"));
    const std::wstring unloading = L"var shown = [external.installer.start({}),"
                                   L" external.childWindow.createWindow(" + page + L", '', 'Center')].join();";
    ASSERT_EQ(window.page.Run(unloading), S_OK);
    EXPECT_EQ(std::wstring(window.page.Global(L"shown").Get().bstrVal), L"false,false");
    EXPECT_EQ(m_manager->callbacks.size(), 1u);
}
