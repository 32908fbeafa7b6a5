#include "cxx/core/SystemUtils.h"

#include "cxx/core/Handle.h"
#include "cxx/core/tests/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <thread>

namespace Utils = Cxx::Core::Utils;

namespace {

const SIZE WindowSize{400, 300};

Utils::WorkAreaProvider Screen(RECT workArea, RECT taskbar)
{
    return [=](RECT& outWorkArea, RECT& outTaskbar) {
        outWorkArea = workArea;
        outTaskbar = taskbar;
        return TRUE;
    };
}

void ExpectPoint(POINT point, LONG x, LONG y)
{
    EXPECT_EQ(point.x, x);
    EXPECT_EQ(point.y, y);
}

struct DesktopTraits {
    static HDESK Invalid() { return nullptr; }
    static void Close(HDESK desktop) { ::CloseDesktop(desktop); }
};

// A window that owns itself and goes away with the test.
class CWindow {
public:
    CWindow(const wchar_t* className, RECT rect, DWORD style = WS_POPUP)
        : m_window(::CreateWindowExW(WS_EX_TOOLWINDOW, className, L"kv test", style, rect.left, rect.top,
                                     rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                                     ::GetModuleHandleW(nullptr), nullptr))
    {
    }
    ~CWindow()
    {
        if (m_window) {
            ::DestroyWindow(m_window);
        }
    }
    CWindow(const CWindow&) = delete;
    CWindow& operator=(const CWindow&) = delete;
    HWND Get() const { return m_window; }

private:
    HWND m_window;
};

void PumpMessages()
{
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::DispatchMessageW(&message);
    }
}

// Focus, stacking and the shell settle asynchronously: wait for at most five seconds. The limit is
// a clock's, not a count of rounds: a busy queue wakes the wait at once and would use rounds up early.
bool PumpUntil(const std::function<bool()>& settled)
{
    const ULONGLONG deadline = ::GetTickCount64() + 5000;
    for (;;) {
        PumpMessages();
        if (settled()) {
            return true;
        }
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) {
            return false;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(20, deadline - now)),
                                    QS_ALLINPUT);
    }
}

// Whether the window above is higher in the Z order than the window below.
bool IsAbove(HWND above, HWND below)
{
    for (HWND window = ::GetWindow(above, GW_HWNDNEXT); window; window = ::GetWindow(window, GW_HWNDNEXT)) {
        if (window == below) {
            return true;
        }
    }
    return false;
}

} // namespace

TEST(CalcWindowPosition, BesideABottomTaskbar)
{
    const RECT taskbar{0, 1040, 1920, 1080};
    // An auto-hiding taskbar overlaps the work area: the window sits on its top-right corner.
    ExpectPoint(Utils::CalcWindowPosition(WindowSize, 1, Screen({0, 0, 1920, 1080}, taskbar)), 1520, 740);
    // A taskbar outside the work area: the work area's bottom-right corner.
    ExpectPoint(Utils::CalcWindowPosition(WindowSize, 1, Screen({0, 0, 1920, 1000}, taskbar)), 1520, 700);
    ExpectPoint(Utils::CalcWindowPosition(WindowSize, 1, Screen({0, 0, 1920, 1040}, taskbar)), 1520, 740);
}

TEST(CalcWindowPosition, BesideTopLeftAndRightTaskbars)
{
    const RECT full{0, 0, 1920, 1080};
    ExpectPoint(Utils::CalcWindowPosition(WindowSize, 1, Screen(full, {0, 0, 1920, 40})), 1520, 40);
    ExpectPoint(Utils::CalcWindowPosition(WindowSize, 1, Screen(full, {0, 0, 60, 1080})), 60, 780);
    ExpectPoint(Utils::CalcWindowPosition(WindowSize, 1, Screen(full, {1860, 0, 1920, 1080})), 1460, 780);
}

TEST(CalcWindowPosition, WithoutTaskbarAndCentred)
{
    const RECT full{0, 0, 1920, 1080};
    ExpectPoint(Utils::CalcWindowPosition(WindowSize, 1, Screen(full, {})), 1520, 780);
    ExpectPoint(Utils::CalcWindowPosition(WindowSize, 0, Screen(full, {0, 1040, 1920, 1080})), 760, 390);
    ExpectPoint(Utils::CalcWindowPosition(WindowSize, 2, Screen(full, {})), 760, 390);
    ExpectPoint(Utils::CalcWindowPosition(SIZE{401, 301}, 0, Screen(full, {})), 760, 390);
    EXPECT_THROW(Utils::CalcWindowPosition(WindowSize, 1, Utils::WorkAreaProvider{}), std::bad_function_call);
}

void ExpectOnScreen(POINT point)
{
    const LONG width = ::GetSystemMetrics(SM_CXSCREEN);
    const LONG height = ::GetSystemMetrics(SM_CYSCREEN);
    EXPECT_GE(point.x, 0);
    EXPECT_GE(point.y, 0);
    EXPECT_LE(point.x + WindowSize.cx, width);
    EXPECT_LE(point.y + WindowSize.cy, height);
}

TEST(GetWorkAreaAndTaskbar, ReadsTheTaskbarAndItsMonitor)
{
    // Wine starts its shell, and with it the taskbar, for the first window on the desktop.
    CWindow starter(L"STATIC", {0, 0, 10, 10});
    HWND tray = nullptr;
    PumpUntil([&] { return (tray = ::FindWindowW(L"Shell_TrayWnd", nullptr)) != nullptr; });
    if (!tray) {
        GTEST_SKIP() << "this desktop has no taskbar";
    }
    RECT expectedTaskbar{};
    ASSERT_TRUE(::GetWindowRect(tray, &expectedTaskbar));
    RECT workArea{};
    RECT taskbar{};
    ASSERT_TRUE(Utils::GetWorkAreaAndTaskbar(workArea, taskbar));
    EXPECT_TRUE(::EqualRect(&taskbar, &expectedTaskbar));
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ASSERT_TRUE(::GetMonitorInfoW(
        ::MonitorFromPoint(POINT{expectedTaskbar.left + 1, expectedTaskbar.top}, MONITOR_DEFAULTTONEAREST), &monitor));
    EXPECT_TRUE(::EqualRect(&workArea, &monitor.rcWork));
    for (int mode : {0, 1}) {
        ExpectOnScreen(Utils::CalcWindowPosition(WindowSize, mode, Utils::GetWorkAreaAndTaskbar));
    }
}

TEST(GetWorkAreaAndTaskbar, WithoutATaskbarWindowsStillLandOnScreen)
{
    // A desktop of our own has no taskbar until a window of it starts the shell.
    const std::wstring name = L"kv-no-taskbar-" + KvTest::ProcessTag();
    std::jthread([&] {
        Cxx::Core::CUniqueHandle<DesktopTraits> desktop(
            ::CreateDesktopW(name.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr));
        ASSERT_TRUE(desktop);
        ASSERT_TRUE(::SetThreadDesktop(desktop.Get()));
        ASSERT_EQ(::FindWindowW(L"Shell_TrayWnd", nullptr), nullptr);

        RECT primary{};
        ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &primary, 0));
        RECT workArea{};
        RECT taskbar{1, 2, 3, 4};
        EXPECT_TRUE(Utils::GetWorkAreaAndTaskbar(workArea, taskbar));
        EXPECT_TRUE(::IsRectEmpty(&taskbar));
        EXPECT_TRUE(::EqualRect(&workArea, &primary));
        for (int mode : {0, 1}) {
            ExpectOnScreen(Utils::CalcWindowPosition(WindowSize, mode, Utils::GetWorkAreaAndTaskbar));
        }
    }).join();
}

TEST(ForceForegroundWindow, RaisesOverTheForegroundWindowOfThisThread)
{
    CWindow first(L"STATIC", {10, 10, 210, 110}, WS_POPUP | WS_VISIBLE);
    ASSERT_TRUE(::SetForegroundWindow(first.Get()));
    if (!PumpUntil([&] { return ::GetForegroundWindow() == first.Get(); })) {
        GTEST_SKIP() << "the display did not give this thread the foreground";
    }

    CWindow second(L"STATIC", {60, 60, 260, 160});
    Utils::ForceForegroundWindow(second.Get());
    // The focus itself is not asserted: without a window manager the X server sometimes takes it back.
    EXPECT_TRUE(PumpUntil([&] { return IsAbove(second.Get(), first.Get()); }));
    EXPECT_TRUE(::IsWindowVisible(second.Get()));
}

TEST(ForceForegroundWindow, RaisesOverAnotherThreadsForegroundWindow)
{
    HWND other = nullptr;
    Cxx::Core::CHandle ready(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    Cxx::Core::CHandle done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(ready && done);
    std::jthread foreign([&] {
        CWindow window(L"STATIC", {10, 10, 210, 110}, WS_POPUP | WS_VISIBLE);
        ::SetForegroundWindow(window.Get());
        PumpMessages();
        other = window.Get();
        ::SetEvent(ready.Get());
        const HANDLE doneEvent = done.Get();
        while (::MsgWaitForMultipleObjects(1, &doneEvent, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
            PumpMessages();
        }
    });
    // Declared after the thread, so it lets the thread end before that is joined, also on a failed assertion.
    struct CReleaseOnExit {
        HANDLE event;
        ~CReleaseOnExit() { ::SetEvent(event); }
    } releaseForeign{done.Get()};
    ASSERT_EQ(::WaitForSingleObject(ready.Get(), 10000), WAIT_OBJECT_0);
    if (!PumpUntil([&] { return ::GetForegroundWindow() == other; })) {
        GTEST_SKIP() << "the display did not give the other thread the foreground";
    }

    CWindow own(L"STATIC", {50, 50, 250, 150});
    Utils::ForceForegroundWindow(own.Get());
    EXPECT_TRUE(PumpUntil([&] { return IsAbove(own.Get(), other); }));
    EXPECT_TRUE(::IsWindowVisible(own.Get()));
}
