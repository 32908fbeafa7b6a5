#pragma once

#include <windows.h>

#include <atomic>

namespace BrowserControl::Window {

// A window whose procedure hands every message to its object first. The window belongs
// to the thread that created it; only that thread may destroy it.
class CWindowImpl {
public:
    CWindowImpl() = default;
    CWindowImpl(const CWindowImpl&) = delete;
    CWindowImpl& operator=(const CWindowImpl&) = delete;
    // Messages that arrive while the object is being destroyed go to DefWindowProcW.
    // Off the owning thread the window cannot be destroyed: it is asked to close instead.
    virtual ~CWindowImpl();

    // False when the window class cannot be registered or the window is not created
    // (the reason is in GetLastError) or a window already exists.
    bool Create(HWND parent, const RECT& rect, const wchar_t* title, DWORD style, DWORD exStyle);
    // On the owning thread only; false elsewhere or when there is no window. The object
    // sees WM_DESTROY and WM_NCDESTROY.
    bool DestroyWindow();

    // The window as last known; it may have died with its thread since.
    HWND Handle() const { return m_window.load(); }
    // True while the window exists and still calls this object.
    bool HasWindow() const;
    DWORD OwnerThreadId() const { return m_ownerThread.load(); }
    bool IsOwnerThread() const { return m_ownerThread.load() == ::GetCurrentThreadId(); }

protected:
    // The message map. True when the message was handled; result is then its answer.
    // mapId is always 0. The object may delete itself here unless the message is WM_NCDESTROY.
    virtual bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                                      DWORD mapId) = 0;
    // After WM_NCDESTROY, when the window no longer refers to the object.
    virtual void OnFinalMessage(HWND) {}

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static bool RefersTo(HWND window, const CWindowImpl* object);

    std::atomic<HWND> m_window{nullptr};
    std::atomic<DWORD> m_ownerThread{0};
};

} // namespace BrowserControl::Window
