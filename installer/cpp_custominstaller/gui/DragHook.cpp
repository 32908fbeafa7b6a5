#include "installer/cpp_custominstaller/gui/DragHook.h"

namespace CustomInstaller::Gui {

namespace {

// Logical pixels (96 DPI) of the page's layout.
constexpr float StripHeight = 83.0f;
constexpr float CloseBoxLeftFromRight = 75.0f;
constexpr float CloseBoxRightFromRight = 15.0f;
constexpr float CloseBoxTop = 15.0f;
constexpr float CloseBoxBottom = 45.0f;

// What the hook procedure works on; the UI thread alone touches it.
struct CDragTarget {
    HWND window = nullptr;
    float scale = 1.0f;
    const CDragHook* owner = nullptr;
};

CDragTarget& Target()
{
    static CDragTarget target;
    return target;
}

LONG Scaled(LONG origin, float offset)
{
    return static_cast<LONG>(static_cast<float>(origin) + offset);
}

} // namespace

float ScreenDpiScale()
{
    const HDC screen = ::GetDC(nullptr);
    if (!screen) {
        return 1.0f;
    }
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<float>(dpi) / 96.0f : 1.0f;
}

RECT CDragStrip::Strip(const RECT& client) const
{
    return RECT{client.left, client.top, client.right, Scaled(client.top, StripHeight * m_scale)};
}

RECT CDragStrip::CloseBox(const RECT& client) const
{
    return RECT{Scaled(client.right, -CloseBoxLeftFromRight * m_scale), Scaled(client.top, CloseBoxTop * m_scale),
                Scaled(client.right, -CloseBoxRightFromRight * m_scale), Scaled(client.top, CloseBoxBottom * m_scale)};
}

bool CDragStrip::Drags(const RECT& client, POINT point) const
{
    const RECT strip = Strip(client);
    const RECT closeBox = CloseBox(client);
    return ::PtInRect(&strip, point) && !::PtInRect(&closeBox, point);
}

bool CDragStrip::OnMouse(HWND window, int code, WPARAM message, const MOUSEHOOKSTRUCT* data) const
{
    if (code != HC_ACTION || message != WM_LBUTTONDOWN || !data || !window || !::IsWindow(window)) {
        return false;
    }
    RECT client{};
    POINT point = data->pt;
    if (!::GetClientRect(window, &client) || !::ScreenToClient(window, &point) || !Drags(client, point)) {
        return false;
    }
    return ::PostMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, 0) != FALSE;
}

bool CDragHook::Install(HWND window, float dpiScale)
{
    Remove();
    m_hook.Reset(::SetWindowsHookExW(WH_MOUSE, &CDragHook::HookProc, nullptr, ::GetCurrentThreadId()));
    if (!m_hook) {
        return false;
    }
    Target() = CDragTarget{window, dpiScale, this};
    return true;
}

void CDragHook::Remove()
{
    if (!m_hook) {
        return;
    }
    m_hook.Reset();
    if (Target().owner == this) {
        Target() = CDragTarget{};
    }
}

LRESULT CALLBACK CDragHook::HookProc(int code, WPARAM message, LPARAM data)
{
    const CDragTarget& target = Target();
    CDragStrip(target.scale).OnMouse(target.window, code, message, reinterpret_cast<const MOUSEHOOKSTRUCT*>(data));
    return ::CallNextHookEx(nullptr, code, message, data);
}

} // namespace CustomInstaller::Gui
