#include "browsercontrol/WebDialog.h"
#include "browsercontrol/js/ChildWindowCreator.h"
#include "browsercontrol/js/CustomObject.h"
#include "browsercontrol/tests/ScriptHost.h"
#include "browsercontrol/tests/StaThread.h"
#include "browsercontrol/tests/WebDialogSupport.h"
#include "cxx/core/SystemUtils.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

using namespace BrowserControl;
using BrowserControl::Tests::CApartment;
using BrowserControl::Tests::CScriptHost;

namespace {

constexpr UINT kLong = 60000;

RECT RectOf(HWND window)
{
    RECT rect{};
    ::GetWindowRect(window, &rect);
    return rect;
}

// The dialog's browser that shows the page (its window text).
HWND BrowserOf(HWND dialog, const std::wstring& page)
{
    return ::FindWindowExW(dialog, nullptr, CBrowserWindow::GetWndClassInfo().name, page.c_str());
}

BOOL CALLBACK TakeFirst(HWND window, LPARAM found)
{
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

BOOL CALLBACK CountOne(HWND, LPARAM count)
{
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

BOOL CALLBACK CountDialog(HWND window, LPARAM count)
{
    wchar_t name[16] = {};
    ::GetClassNameW(window, name, static_cast<int>(std::size(name)));
    if (std::wstring(name) == L"#32770") {
        ++*reinterpret_cast<int*>(count);
    }
    return TRUE;
}

int ThreadDialogs()
{
    int count = 0;
    ::EnumThreadWindows(::GetCurrentThreadId(), &CountDialog, reinterpret_cast<LPARAM>(&count));
    return count;
}

// A script object whose one method, end, ends a child dialog from inside the page's call.
class CEnder final : public JS::custom_object<CEnder> {
public:
    CEnder(std::uint64_t child, HWND window) : m_child(child), m_window(window) { AddMethod(L"end", &CEnder::end); }
    std::wstring GetName() const override { return L"ender"; }
    HRESULT end(DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
    {
        CWebBaseModelessDlg::EndIfOpen(m_child);
        openAfterEnd = ::IsWindow(m_window) != FALSE;
        return S_OK;
    }
    bool openAfterEnd = false;

private:
    const std::uint64_t m_child;
    const HWND m_window;
};

// A child whose page has, beside the standard objects, one that ends it.
class CEndingChild final : public CWebBaseModelessDlg {
public:
    explicit CEndingChild(std::wstring page) : CWebBaseModelessDlg(std::move(page), L"", 0, 60000) {}
    void InitScriptObjects(const std::shared_ptr<JS::CJSObjects>& objects) override
    {
        CWebBaseModelessDlg::InitScriptObjects(objects);
        ender = Cxx::Core::CComPtr<CEnder>(new CEnder(Serial(), Handle()));
        JS::AddScriptObject(objects, ender.Get());
    }
    Cxx::Core::CComPtr<CEnder> ender;
};

// A modal web dialog that runs the test's steps once it is initialised.
class CDrivenDialog final : public CWebBaseModalDlg {
public:
    using CSteps = Tests::CDialogSteps<CDrivenDialog>;
    using CStep = CSteps::CStep;
    using CBase = CWebBaseModalDlg;

    CDrivenDialog(std::wstring page, std::wstring second, std::vector<CStep> steps, UINT timeout = kLong)
        : CWebBaseModalDlg(std::move(page), std::move(second), 0, timeout), m_steps(std::move(steps))
    {
    }

    std::shared_ptr<JS::CJSObjects> objects;

    CXX_BEGIN_MSG_MAP()
        CXX_MESSAGE_HANDLER(CSteps::Message, OnStep)
        CXX_CHAIN_MSG_MAP(CBase)
    CXX_END_MSG_MAP()

    void InitScriptObjects(const std::shared_ptr<JS::CJSObjects>& pageObjects) override
    {
        CBase::InitScriptObjects(pageObjects);
        objects = pageObjects;
        m_steps.Begin(*this);
    }

private:
    LRESULT OnStep(UINT, WPARAM index, LPARAM, bool&) { return m_steps.Run(*this, index); }

    CSteps m_steps;
};

CDrivenDialog::CStep Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return CDrivenDialog::CSteps::Post(message, wParam, lParam);
}

// The page's own script calls, through window.external.
CDrivenDialog::CStep Script(const wchar_t* script)
{
    return [script](CDrivenDialog& dialog) {
        CScriptHost host;
        ASSERT_TRUE(host.AddExternal(dialog.objects));
        EXPECT_EQ(host.Run(script), S_OK);
    };
}

class WebDialog : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_apartment.Entered()); }

    CApartment m_apartment;
    Tests::CTestPages m_page{L"kv-webdialog-", {L"index.html", L"splash.html"}};
};

} // namespace

TEST_F(WebDialog, EndsWithThePagesCodeOnlyOnceThePageHasShownIt)
{
    const struct {
        const char* name;
        std::vector<CDrivenDialog::CStep> steps;
        INT_PTR result;
    } cases[] = {
        {"never shown, a timer of any id", {Post(WM_TIMER, 7)}, WebDialogPageTimeout},
        {"shown with no width", {Post(WM_WEBDLG_SHOW_SIZED, 0, 300)}, 0},
        {"closed before shown", {Post(WM_WEBDLG_CLOSE, 5)}, WebDialogPageTimeout},
        {"closed once shown", {Post(WM_WEBDLG_SHOW_SIZED, 640, 480), Post(WM_WEBDLG_CLOSE, 5)}, 5},
        {"shown, the timer is over", {Post(WM_WEBDLG_SHOW), Post(WM_TIMER, 100), Post(WM_WEBDLG_CLOSE, 6)}, 6},
        {"WM_CLOSE", {Post(WM_CLOSE, 3)}, 3},
        {"the second page closed", {Post(WM_WEBDLG_SECOND_CLOSE)}, 1},
        {"shown by the second page only", {Post(WM_WEBDLG_SECOND_SHOW_SIZED, 300, 200), Post(WM_WEBDLG_CLOSE, 5)},
         WebDialogPageTimeout},
        {"the page's script", {Script(L"external.basewnd.show(640.7, 480.2);"), Script(L"external.basewnd.close();")},
         1},
        {"the page's script before showing", {Script(L"external.basewnd.closeWithExitCode(5);")},
         WebDialogPageTimeout},
    };
    for (const auto& c : cases) {
        CDrivenDialog dialog(m_page.Path(L"index.html"), L"", c.steps);
        EXPECT_EQ(dialog.DoModal(), c.result) << c.name;
    }
    EXPECT_EQ(CDrivenDialog(m_page.Path(L"index.html"), L"", {}, 1).DoModal(), WebDialogPageTimeout);
    EXPECT_EQ(CDrivenDialog(L"", L"", {}).DoModal(), 0);
}

TEST_F(WebDialog, ThePageSizesTheDialogAndTheSecondPageShowsUntilThen)
{
    // Each page's browser is asked for the URL of the page's path, and shows it.
    const Tests::CNavigationTargets asked;
    const std::wstring page = m_page.Url(L"index.html");
    const std::wstring splash = m_page.Url(L"splash.html");
    const auto expectShown = [](HWND window, LONG width, LONG height) {
        const RECT rect = RectOf(window);
        EXPECT_TRUE(::IsWindowVisible(window));
        EXPECT_EQ(rect.right - rect.left, width);
        EXPECT_EQ(rect.bottom - rect.top, height);
    };
    CDrivenDialog dialog(m_page.Path(L"index.html"), m_page.Path(L"splash.html"), {
        [&](CDrivenDialog& d) {
            EXPECT_FALSE(::IsWindowVisible(d.Handle()));
            EXPECT_TRUE(::IsWindow(BrowserOf(d.Handle(), page)));
            EXPECT_FALSE(::IsWindowVisible(BrowserOf(d.Handle(), page)));
            d.PostMessage(WM_WEBDLG_SECOND_SHOW_SIZED, 300, 200);
        },
        [&](CDrivenDialog& d) {
            expectShown(d.Handle(), 300, 200);
            expectShown(BrowserOf(d.Handle(), splash), 300, 200);
            d.PostMessage(WM_WEBDLG_SHOW_SIZED, 640, 480);
        },
        [&](CDrivenDialog& d) {
            expectShown(d.Handle(), 640, 480);
            expectShown(BrowserOf(d.Handle(), page), 640, 480);
            EXPECT_FALSE(::IsWindowVisible(BrowserOf(d.Handle(), splash)));
            // Centred in the work area.
            MONITORINFO monitor{sizeof(monitor)};
            ::GetMonitorInfoW(::MonitorFromWindow(d.Handle(), MONITOR_DEFAULTTONEAREST), &monitor);
            const RECT rect = RectOf(d.Handle());
            EXPECT_LE(std::abs((rect.left + rect.right) - (monitor.rcWork.left + monitor.rcWork.right)), 1);
            EXPECT_LE(std::abs((rect.top + rect.bottom) - (monitor.rcWork.top + monitor.rcWork.bottom)), 1);
            d.PostMessage(WM_WEBDLG_SECOND_SHOW_SIZED, 300, 200);
        },
        [&](CDrivenDialog& d) {
            expectShown(d.Handle(), 640, 480);
            d.PostMessage(WM_WEBDLG_CLOSE, 4);
        },
    });
    EXPECT_EQ(dialog.DoModal(), 4);
    EXPECT_EQ(asked.targets, (std::vector<std::wstring>{splash, page}));
}

TEST_F(WebDialog, ThePageGetsTheStandardObjectsInTheirOrder)
{
    std::vector<std::wstring> names;
    CDrivenDialog dialog(m_page.Path(L"index.html"), L"", {
        [&](CDrivenDialog& d) {
            for (int index = 0; index < d.objects->GetCount(); ++index) {
                names.push_back(d.objects->GetName(index));
            }
        },
        Script(L"if (external.engine.version() !== '3.2.0' || external.system.isInstalled('NONE') !== '') throw 1;"),
        Post(WM_CLOSE, 2),
    });
    EXPECT_EQ(dialog.DoModal(), 2);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"basewnd", L"download", L"process", L"system", L"childWindow",
                                                L"engine"}));
}

TEST_F(WebDialog, AChildWindowLivesBesideTheTaskbarUntilItsPageClosesIt)
{
    const std::wstring page = m_page.Url(L"splash.html");
    ASSERT_TRUE(JS::CChildCreator(CLocalPageScope(m_page.Path(L"index.html"))).CreateChildWindow(page, true));
    HWND child = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), &TakeFirst, reinterpret_cast<LPARAM>(&child));
    ASSERT_TRUE(child && BrowserOf(child, page));
    ::PostMessageW(child, WM_WEBDLG_SHOW_SIZED, 300, 200);
    ASSERT_TRUE(Tests::PumpUntil([child] { return ::IsWindowVisible(child) != FALSE; }, 10000));
    const POINT corner = Cxx::Core::Utils::CalcWindowPosition(SIZE{300, 200}, 1, &Cxx::Core::Utils::GetWorkAreaAndTaskbar);
    const RECT rect = RectOf(child);
    EXPECT_EQ(rect.left, corner.x);
    EXPECT_EQ(rect.top, corner.y);
    EXPECT_EQ(rect.right - rect.left, 300);

    ::PostMessageW(child, WM_WEBDLG_CLOSE, 0, 0);
    EXPECT_TRUE(Tests::PumpUntil([child] { return !::IsWindow(child); }, 10000));
}

// The child trusts the folder of its own page: a page from anywhere else would widen what
// the opener's page can reach, so only pages of the opener's folder are opened.
TEST_F(WebDialog, AChildWindowOpensOnlyAPageOfTheOpenersFolder)
{
    const std::wstring opener = m_page.Path(L"index.html");
    const std::wstring folderUrl = m_page.Url(L"");
    const std::wstring refused[] = {
        m_page.Url(L"../index.html"),
        folderUrl.substr(0, folderUrl.size() - 1) + L"-other/x.html",
        L"file:///C:/Users/u/Downloads/x.html",
        L"C:\\Users\\u\\Downloads\\x.html",
        L"https://anything/",
        L"about:blank",
        L"Shell.Explorer.2",
        L"{8856F961-340A-11D0-A96B-00C04FD705A2}",
    };
    const auto threadWindows = [] {
        int count = 0;
        ::EnumThreadWindows(::GetCurrentThreadId(), &CountOne, reinterpret_cast<LPARAM>(&count));
        return count;
    };
    const int before = threadWindows();
    JS::CChildCreator creator{CLocalPageScope(opener)};
    for (const auto& page : refused) {
        EXPECT_FALSE(creator.CreateChildWindow(page, false)) << std::string(page.begin(), page.end());
    }
    EXPECT_EQ(threadWindows(), before);

    ASSERT_TRUE(creator.CreateChildWindow(m_page.Url(L"splash.html"), false));
    HWND child = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), &TakeFirst, reinterpret_cast<LPARAM>(&child));
    ASSERT_TRUE(child && BrowserOf(child, m_page.Url(L"splash.html")));
    ::PostMessageW(child, WM_WEBDLG_CLOSE, 0, 0);
    EXPECT_TRUE(Tests::PumpUntil([child] { return !::IsWindow(child); }, 10000));
}

// A child left open would outlive its opener, and with it the apartment its page lives in.
TEST_F(WebDialog, TheChildWindowsOfAPageCloseWithItsDialog)
{
    const std::wstring script = L"if (!external.childWindow.createWindow('" + m_page.Url(L"splash.html") +
                                L"', '', 'Center') || !external.childWindow.createWindow('" +
                                m_page.Url(L"splash.html") + L"', '', 'Tray')) throw 1;";
    int dialogsWhileOpen = 0;
    CDrivenDialog dialog(m_page.Path(L"index.html"), L"", {
        Script(script.c_str()),
        [&](CDrivenDialog& d) {
            dialogsWhileOpen = ThreadDialogs();
            d.PostMessage(WM_CLOSE, 4);
        },
    });
    const int before = ThreadDialogs();
    EXPECT_EQ(dialog.DoModal(), 4);
    EXPECT_EQ(dialogsWhileOpen, before + 3);
    EXPECT_EQ(ThreadDialogs(), before);
}

// The page of a child may be inside a call into its objects, in a nested message loop, when
// its dialog is told to end: the dialog goes only once the call has returned. A call of
// another page on the thread does not hold it.
TEST_F(WebDialog, AChildEndedDuringACallIntoItsOwnObjectsGoesOnlyAfterTheCall)
{
    for (const bool own : {true, false}) {
        auto child = std::make_unique<CEndingChild>(m_page.Path(L"splash.html"));
        CEndingChild* const dialog = child.get();
        ASSERT_TRUE(CWebBaseModelessDlg::Create(std::move(child)));
        const HWND window = dialog->Handle();
        const Cxx::Core::CComPtr<CEnder> ender =
            own ? dialog->ender : Cxx::Core::CComPtr<CEnder>(new CEnder(dialog->Serial(), window));
        DISPPARAMS none{};
        ASSERT_EQ(ender->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), S_OK);
        EXPECT_EQ(ender->openAfterEnd, own);
        EXPECT_TRUE(Tests::PumpUntil([window] { return !::IsWindow(window); }, 10000));
    }
}
