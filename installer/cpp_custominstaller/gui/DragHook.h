#pragma once

#include "cxx/core/Handle.h"

#include <windows.h>

namespace CustomInstaller::Gui {

// The screen's horizontal pixels per logical inch over 96 (1 when unknown).
float ScreenDpiScale();

// Where a press drags the borderless installer window: a strip along the top of its client
// area, except the page's close box in the strip's right end. The bounds are logical pixels
// scaled by the DPI scale, each truncated toward zero.
class CDragStrip {
public:
    explicit CDragStrip(float dpiScale) : m_scale(dpiScale) {}

    RECT Strip(const RECT& client) const;
    RECT CloseBox(const RECT& client) const;
    // A press at the point (client coordinates) drags the window.
    bool Drags(const RECT& client, POINT point) const;
    // One mouse message that the thread's hook saw: a left press inside the strip asks the
    // system to move the window. The hook's data stay as they are, for the hooks after it.
    // True when it asked.
    bool OnMouse(HWND window, int code, WPARAM message, const MOUSEHOOKSTRUCT* data) const;

private:
    float m_scale;
};

struct HookTraits {
    static HHOOK Invalid() { return nullptr; }
    static void Close(HHOOK hook) { ::UnhookWindowsHookEx(hook); }
};

// The mouse hook of the calling thread that drags one window by its strip. The hook
// procedure has no context of its own, so one window at a time is dragged: installing
// another hook moves the drag there.
class CDragHook {
public:
    CDragHook() = default;
    ~CDragHook() { Remove(); }
    CDragHook(const CDragHook&) = delete;
    CDragHook& operator=(const CDragHook&) = delete;

    // False when the hook cannot be set; the window then cannot be dragged.
    bool Install(HWND window, float dpiScale);
    void Remove();

private:
    static LRESULT CALLBACK HookProc(int code, WPARAM message, LPARAM data);

    Cxx::Core::CUniqueHandle<HookTraits> m_hook;
};

} // namespace CustomInstaller::Gui
