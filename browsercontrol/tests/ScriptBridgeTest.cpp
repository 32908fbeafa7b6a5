#include "browsercontrol/js/JSObjects.h"
#include "browsercontrol/js/WindowWrapper.h"
#include "browsercontrol/tests/ScriptHost.h"
#include "browsercontrol/tests/StaThread.h"

#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <stdexcept>

using namespace BrowserControl;
using BrowserControl::JS::WindowWrapper::CJSWindowWrapper;
using BrowserControl::JS::WindowWrapper::CSingleWindowWrapper;
using BrowserControl::JS::WindowWrapper::IWindowWrapper;
using BrowserControl::Tests::CApartment;
using BrowserControl::Tests::CScriptHost;

namespace {

constexpr UINT kCloseMessage = WM_APP + 5;

// A page's script with window.external over a basewnd that drives a real window.
class ScriptBridge : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_apartment.Entered());
        ASSERT_NE(m_window, nullptr);
        auto objects = std::make_shared<JS::CJSObjectsSimpleContainer>();
        JS::AddScriptObject(objects,
                            new CJSWindowWrapper(std::make_shared<CSingleWindowWrapper>(m_window, kCloseMessage)));
        m_host = std::make_unique<CScriptHost>();
        ASSERT_TRUE(m_host->Ready());
        ASSERT_TRUE(m_host->AddExternal(objects));
    }
    bool ClosePosted()
    {
        MSG message{};
        return ::PeekMessageW(&message, m_window, kCloseMessage, kCloseMessage, PM_REMOVE) != FALSE;
    }

    CApartment m_apartment;
    Tests::CTestWindow m_testWindow;
    const HWND m_window = m_testWindow.Get();
    std::unique_ptr<CScriptHost> m_host;
};

// A window whose sizing runs out of memory and whose hiding fails otherwise.
class CThrowingWindow final : public IWindowWrapper {
public:
    void Show() override {}
    void ShowWithSize(int, int) override { throw std::bad_alloc(); }
    void Close() override {}
    void Hide() override { throw std::runtime_error("the window is gone"); }
    void Minimize() override {}
    bool IsMinimizeSupported() override { return true; }
    void CloseWithExitCode(int) override {}
};

} // namespace

// The page's call fails as a script error that its try/catch sees, and the page goes on.
TEST(ScriptBridgeFailures, AMethodThatThrowsFailsOnlyItsCall)
{
    CApartment apartment;
    ASSERT_TRUE(apartment.Entered());
    auto objects = std::make_shared<JS::CJSObjectsSimpleContainer>();
    JS::AddScriptObject(objects, new CJSWindowWrapper(std::make_shared<CThrowingWindow>()));
    CScriptHost host;
    ASSERT_TRUE(host.Ready());
    ASSERT_TRUE(host.AddExternal(objects));
    ASSERT_EQ(host.Run(L"var seen = [];"
                       L"try { external.basewnd.show(640, 480); } catch (e) { seen.push(e.number); }"
                       L"try { external.basewnd.hide(); } catch (e) { seen.push(e.number, e.message); }"
                       L"seen.push(external.basewnd.isMinimizeSupported());"
                       L"var told = seen.join('|');"),
              S_OK)
        << host.ErrorText().c_str();
    EXPECT_EQ(Tests::Describe(host.Global(L"told").Get()),
              L"'" + std::to_wstring(E_OUTOFMEMORY) + L"|" + std::to_wstring(E_FAIL) + L"|the window is gone|true'");
    EXPECT_EQ(host.Run(L"external.basewnd.show(640, 480);"), E_OUTOFMEMORY);
    EXPECT_EQ(host.Run(L"external.basewnd.hide();"), E_FAIL);
    EXPECT_EQ(host.ErrorText(), L"the window is gone");
    EXPECT_FALSE(JS::IsScriptCallRunning(objects->GetObject(0).Get()));

    // A caller without room for the exception's text gets the code alone.
    DISPPARAMS none{};
    EXPECT_EQ(objects->GetObject(0)->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              E_FAIL);
}

TEST_F(ScriptBridge, APageSizesAndShowsItsWindow)
{
    ASSERT_EQ(m_host->Run(L"external.basewnd.show(640.7, 480.2);"), S_OK) << m_host->ErrorText().c_str();
    RECT rect{};
    ::GetWindowRect(m_window, &rect);
    EXPECT_EQ(rect.right - rect.left, 640);
    EXPECT_EQ(rect.bottom - rect.top, 480);
    EXPECT_TRUE(::IsWindowVisible(m_window));

    ASSERT_EQ(m_host->Run(L"var supported = external.basewnd.isMinimizeSupported();"
                          L"var dpi = external.basewnd.getDPI();"),
              S_OK);
    EXPECT_EQ(m_host->Global(L"supported").Get().vt, VT_BOOL);
    EXPECT_EQ(m_host->Global(L"supported").Get().boolVal, VARIANT_TRUE);
    EXPECT_GE(m_host->Global(L"dpi").Get().intVal, 100);
}

TEST_F(ScriptBridge, MethodsWithoutAResultAreCalledAsStatementsOnly)
{
    EXPECT_EQ(m_host->Run(L"var r = external.basewnd.close();"), E_INVALIDARG);
    EXPECT_FALSE(ClosePosted());
    EXPECT_EQ(m_host->Run(L"external.basewnd.hide(); external.basewnd.close();"), S_OK);
    EXPECT_TRUE(ClosePosted());
    EXPECT_FALSE(::IsWindowVisible(m_window));
    EXPECT_EQ(m_host->Run(L"external.basewnd.closeWithExitCode('5');"), E_INVALIDARG);
    EXPECT_EQ(m_host->Run(L"external.basewnd.show(640, 480, 1);"), E_FAIL);
}

TEST_F(ScriptBridge, NamesAreCaseSensitive)
{
    EXPECT_NE(m_host->Run(L"var x = external.System.isInstalled('QXPDF');"), S_OK);
    EXPECT_NE(m_host->ErrorText(), L"");
    EXPECT_EQ(m_host->Run(L"external.basewnd.Close();"), E_NOTIMPL);
    EXPECT_FALSE(ClosePosted());
}
