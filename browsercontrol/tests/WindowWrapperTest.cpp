#include "browsercontrol/js/WindowWrapper.h"
#include "browsercontrol/tests/StaThread.h"
#include "cxx/gui/Com.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using namespace BrowserControl::JS::WindowWrapper;
using Cxx::Core::CComPtr;
using Cxx::GUI::CVariant;

namespace {

class CRecordingWrapper final : public IWindowWrapper {
public:
    std::vector<std::string> calls;
    bool minimizable = true;

    void Show() override { calls.push_back("Show"); }
    void ShowWithSize(int width, int height) override
    {
        calls.push_back("ShowWithSize " + std::to_string(width) + "x" + std::to_string(height));
    }
    void Close() override { calls.push_back("Close"); }
    void Hide() override { calls.push_back("Hide"); }
    void Minimize() override { calls.push_back("Minimize"); }
    bool IsMinimizeSupported() override { return minimizable; }
    void CloseWithExitCode(int code) override { calls.push_back("CloseWithExitCode " + std::to_string(code)); }
};

CVariant Number(double value)
{
    CVariant number;
    VARIANT& variant = *number.Put();
    variant.vt = VT_R8;
    variant.dblVal = value;
    return number;
}

enum EWrapper { Wrapper, NotMinimizable, NoWrapper };
enum EParams { Absent, Present };

// The next posted message for the window, or 0.
MSG Posted(HWND window)
{
    MSG message{};
    if (!::PeekMessageW(&message, window, 0, 0, PM_REMOVE)) {
        message.message = 0;
    }
    return message;
}

} // namespace

TEST(BaseWnd, EachMethodChecksItsArgumentsAndResult)
{
    const struct {
        const wchar_t* method;
        std::vector<CVariant> arguments;  // script order
        bool result;
        EWrapper wrapper;
        HRESULT expected;
        std::vector<std::string> calls;
        VARTYPE resultType;
        EParams params;
    } cases[] = {
        {L"hide", {}, false, Wrapper, S_OK, {"Hide"}, VT_EMPTY, Absent},
        {L"hide", {}, true, Wrapper, E_INVALIDARG, {}, VT_EMPTY, Present},
        {L"hide", {CVariant::Int(1)}, false, Wrapper, E_INVALIDARG, {}, VT_EMPTY, Present},
        {L"hide", {}, false, NoWrapper, E_FAIL, {}, VT_EMPTY, Present},
        {L"close", {}, false, Wrapper, S_OK, {"Close"}, VT_EMPTY, Present},
        {L"close", {}, true, Wrapper, E_INVALIDARG, {}, VT_EMPTY, Present},
        {L"close", {}, false, NoWrapper, E_FAIL, {}, VT_EMPTY, Absent},
        {L"show", {Number(640.7), Number(480.2)}, false, Wrapper, S_OK, {"ShowWithSize 640x480"}, VT_EMPTY, Present},
        {L"show", {CVariant::Int(0), CVariant::Int(300)}, true, Wrapper, S_OK, {"ShowWithSize 0x300"}, VT_EMPTY,
         Present},
        {L"show", {CVariant::Int(1), CVariant::Int(2), CVariant::Int(3)}, false, Wrapper, E_FAIL, {}, VT_EMPTY,
         Present},
        {L"show", {}, false, Wrapper, E_FAIL, {}, VT_EMPTY, Absent},
        {L"show", {CVariant::String(L"640"), CVariant::Int(480)}, false, Wrapper, E_INVALIDARG, {}, VT_EMPTY, Present},
        {L"show", {CVariant::Int(640), Number(std::numeric_limits<double>::quiet_NaN())}, false, Wrapper,
         E_INVALIDARG, {}, VT_EMPTY, Present},
        {L"show", {CVariant::Int(640), CVariant::Int(480)}, false, NoWrapper, E_FAIL, {}, VT_EMPTY, Present},
        {L"minimize", {}, false, Wrapper, S_OK, {"Minimize"}, VT_EMPTY, Absent},
        {L"minimize", {}, false, NotMinimizable, E_NOTIMPL, {}, VT_EMPTY, Present},
        {L"minimize", {}, true, Wrapper, E_INVALIDARG, {}, VT_EMPTY, Present},
        {L"minimize", {}, false, NoWrapper, E_FAIL, {}, VT_EMPTY, Present},
        {L"isMinimizeSupported", {}, true, Wrapper, S_OK, {}, VT_BOOL, Absent},
        {L"isMinimizeSupported", {}, false, Wrapper, E_INVALIDARG, {}, VT_EMPTY, Present},
        {L"isMinimizeSupported", {CVariant::Int(1)}, true, Wrapper, E_INVALIDARG, {}, VT_EMPTY, Present},
        {L"isMinimizeSupported", {}, true, NoWrapper, E_FAIL, {}, VT_EMPTY, Present},
        {L"getDPI", {}, true, NoWrapper, S_OK, {}, VT_INT, Absent},
        {L"getDPI", {}, false, Wrapper, E_INVALIDARG, {}, VT_EMPTY, Present},
        {L"closeWithExitCode", {CVariant::Int(5)}, false, Wrapper, S_OK, {"CloseWithExitCode 5"}, VT_EMPTY, Present},
        {L"closeWithExitCode", {Number(2.9)}, false, Wrapper, S_OK, {"CloseWithExitCode 2"}, VT_EMPTY, Present},
        {L"closeWithExitCode", {CVariant::Int(5)}, true, Wrapper, E_INVALIDARG, {}, VT_EMPTY, Present},
        {L"closeWithExitCode", {}, false, Wrapper, E_INVALIDARG, {}, VT_EMPTY, Absent},
        {L"closeWithExitCode", {CVariant::Bool(true)}, false, Wrapper, E_INVALIDARG, {}, VT_EMPTY, Present},
        {L"closeWithExitCode", {CVariant::Int(5)}, false, NoWrapper, E_FAIL, {}, VT_EMPTY, Present},
    };
    for (const auto& c : cases) {
        const std::string label = std::string(c.method, c.method + std::wcslen(c.method)) + " #" +
                                  std::to_string(&c - cases);
        auto wrapper = std::make_shared<CRecordingWrapper>();
        wrapper->minimizable = c.wrapper != NotMinimizable;
        CComPtr<CJSWindowWrapper> basewnd(new CJSWindowWrapper(c.wrapper == NoWrapper ? nullptr : wrapper));
        LPOLESTR name = const_cast<LPOLESTR>(c.method);
        DISPID id = 0;
        ASSERT_EQ(basewnd->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), S_OK) << label;
        std::vector<VARIANT> reversed;
        for (auto argument = c.arguments.rbegin(); argument != c.arguments.rend(); ++argument) {
            reversed.push_back(argument->Get());
        }
        DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        CVariant result;
        EXPECT_EQ(basewnd->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, c.params == Absent ? nullptr : &params,
                                  c.result ? result.Put() : nullptr, nullptr, nullptr),
                  c.expected)
            << label;
        EXPECT_EQ(wrapper->calls, c.calls) << label;
        EXPECT_EQ(result.Get().vt, c.resultType) << label;
    }
}

TEST(SingleWindowWrapper, DrivesItsWindowWhileItExists)
{
    BrowserControl::Tests::CTestWindow testWindow;
    const HWND window = testWindow.Get();
    CSingleWindowWrapper wrapper(window, WM_APP + 3);
    EXPECT_TRUE(wrapper.IsMinimizeSupported());
    wrapper.ShowWithSize(640, 480);
    RECT rect{};
    ::GetWindowRect(window, &rect);
    EXPECT_EQ(rect.right - rect.left, 640);
    EXPECT_EQ(rect.bottom - rect.top, 480);
    EXPECT_TRUE(::IsWindowVisible(window));
    wrapper.Minimize();
    EXPECT_TRUE(::IsIconic(window));
    wrapper.Hide();
    EXPECT_FALSE(::IsWindowVisible(window));
    wrapper.Close();
    MSG message = Posted(window);
    EXPECT_EQ(message.message, static_cast<UINT>(WM_APP + 3));
    EXPECT_EQ(message.wParam, 0u);
    wrapper.CloseWithExitCode(7);
    EXPECT_EQ(Posted(window).wParam, 7u);

    ::DestroyWindow(window);
    EXPECT_FALSE(wrapper.IsMinimizeSupported());
    wrapper.CloseWithExitCode(7);
    EXPECT_EQ(Posted(window).message, 0u);

    BrowserControl::Tests::CTestWindow tool(WS_EX_TOOLWINDOW);
    BrowserControl::Tests::CTestWindow owned(0, tool.Get());
    EXPECT_FALSE(CSingleWindowWrapper(tool.Get(), WM_CLOSE).IsMinimizeSupported());
    CSingleWindowWrapper ownedWrapper(owned.Get(), WM_CLOSE);
    EXPECT_FALSE(ownedWrapper.IsMinimizeSupported());
    ::ShowWindow(owned.Get(), SW_SHOW);
    ownedWrapper.Minimize();
    EXPECT_FALSE(::IsIconic(owned.Get()));
}

TEST(BrowserWindowWrapper, PostsThePagesRequestsToTheDialog)
{
    BrowserControl::Tests::CTestWindow dialogWindow;
    const HWND dialog = dialogWindow.Get();
    CBrowserWindowWrapper wrapper(WM_APP + 1, WM_APP + 2, WM_APP + 3, dialog);
    wrapper.ShowWithSize(640, 480);
    wrapper.Show();
    wrapper.Close();
    wrapper.CloseWithExitCode(5);
    const MSG sized = Posted(dialog);
    EXPECT_EQ(sized.message, static_cast<UINT>(WM_APP + 1));
    EXPECT_EQ(sized.wParam, 640u);
    EXPECT_EQ(sized.lParam, 480);
    EXPECT_EQ(Posted(dialog).message, static_cast<UINT>(WM_APP + 2));
    EXPECT_EQ(Posted(dialog).wParam, 1u);
    EXPECT_EQ(Posted(dialog).wParam, 5u);
    EXPECT_FALSE(::IsWindowVisible(dialog));
}
