#include "cxx/gui/Window.h"

#include <algorithm>

namespace Cxx::GUI {

bool CWindow::CenterWindow() const
{
    RECT window{};
    if (!::GetWindowRect(m_hWnd, &window)) {
        return false;
    }
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (!::GetMonitorInfoW(::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor)) {
        return false;
    }
    const RECT work = monitor.rcWork;
    RECT over = work;
    const HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) {
        ::GetWindowRect(owner, &over);
    }
    const LONG width = window.right - window.left;
    const LONG height = window.bottom - window.top;
    LONG x = (over.left + over.right) / 2 - width / 2;
    LONG y = (over.top + over.bottom) / 2 - height / 2;
    // Inside the work area, and with its top-left corner on screen when it is larger.
    x = std::max(work.left, std::min(x, work.right - width));
    y = std::max(work.top, std::min(y, work.bottom - height));
    return ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) != FALSE;
}

} // namespace Cxx::GUI
