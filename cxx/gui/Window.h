#pragma once

#include <windows.h>

namespace Cxx::GUI {

// A window handle that does not own its window, with the calls the windows here need.
class CWindow {
public:
    CWindow() = default;
    explicit CWindow(HWND window) : m_hWnd(window) {}

    HWND Handle() const { return m_hWnd; }
    // True while the handle names an existing window.
    bool IsWindow() const { return m_hWnd && ::IsWindow(m_hWnd); }

    BOOL ShowWindow(int command) const { return ::ShowWindow(m_hWnd, command); }
    BOOL SetWindowPos(HWND after, int x, int y, int width, int height, UINT flags) const
    {
        return ::SetWindowPos(m_hWnd, after, x, y, width, height, flags);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::PostMessageW(m_hWnd, message, wParam, lParam);
    }
    HWND GetParent() const { return ::GetParent(m_hWnd); }
    BOOL DestroyWindow() const { return ::DestroyWindow(m_hWnd); }

    // Centres the window over its owner when the owner is visible and not minimised, else
    // over the work area of the nearest monitor, and keeps it inside that work area.
    bool CenterWindow() const;

protected:
    HWND m_hWnd = nullptr;
};

} // namespace Cxx::GUI
