#include "browsercontrol/js/JSObjects.h"
#include "browsercontrol/js/WindowWrapper.h"
#include "browsercontrol/tests/ScriptHost.h"
#include "browsercontrol/tests/StaThread.h"

#include <gtest/gtest.h>

#include <memory>

using namespace BrowserControl;
using BrowserControl::JS::WindowWrapper::CJSWindowWrapper;
using BrowserControl::JS::WindowWrapper::CSingleWindowWrapper;
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

} // namespace

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
