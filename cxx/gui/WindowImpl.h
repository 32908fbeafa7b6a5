#pragma once

#include "cxx/gui/Window.h"

#include <windows.h>

#include <atomic>

// A message map: ProcessWindowMessage routing messages of map 0 to member handlers of the form
//   LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
// A handler that clears handled lets the message go on down the map and, past its end, to the
// default processing.
#define CXX_BEGIN_MSG_MAP()                                                                            \
public:                                                                                                \
    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result, \
                              DWORD mapId) override                                                    \
    {                                                                                                  \
        static_cast<void>(window);                                                                     \
        if (mapId != 0) {                                                                              \
            return false;                                                                              \
        }                                                                                              \
        bool handled = true;

#define CXX_MESSAGE_HANDLER(id, handler)                        \
    if (message == static_cast<UINT>(id)) {                     \
        handled = true;                                         \
        result = handler(message, wParam, lParam, handled);     \
        if (handled) {                                          \
            return true;                                        \
        }                                                       \
    }

// Base must be a single name (an alias where it is a template).
#define CXX_CHAIN_MSG_MAP(Base)                                                      \
    if (Base::ProcessWindowMessage(window, message, wParam, lParam, result, mapId)) { \
        return true;                                                                 \
    }

#define CXX_END_MSG_MAP()       \
    static_cast<void>(handled); \
    return false;               \
    }

namespace Cxx::GUI {

namespace Dialogs {
class CDialogBase;
}

// A window or dialog whose messages go to the message map of its object. No code thunks: the
// object is handed to the window through the creating thread, taken by the window's first
// message, and kept in a window property. The object outlives the messages it is handling:
// OnFinalMessage runs once the window's last message (WM_NCDESTROY) and every message it
// was nested in have returned, so a handler may destroy the window and the object may then
// delete itself. The window belongs to the thread that made it: only that thread destroys it.
class CMessageMapWindow : public CWindow {
public:
    CMessageMapWindow(const CMessageMapWindow&) = delete;
    CMessageMapWindow& operator=(const CMessageMapWindow&) = delete;
    // A window still attached is detached and destroyed; the messages of its destruction no
    // longer reach the object. Off its thread it is asked to close instead.
    virtual ~CMessageMapWindow();

    // The thread whose window this object got; 0 before. Any thread may ask.
    DWORD OwnerThreadId() const { return m_ownerThread.load(); }
    bool IsOwnerThread() const { return m_ownerThread.load() == ::GetCurrentThreadId(); }
    // True while window exists and still routes its messages to this object. Any thread may
    // ask: a window that died with its thread may have passed its handle on to another.
    bool Routes(HWND window) const;

    // True when the message was handled; result is then its answer.
    virtual bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                                      DWORD mapId) = 0;

protected:
    CMessageMapWindow() = default;

    virtual void OnFinalMessage(HWND) {}

    // While it lives, the next window that gets its first message on this thread attaches
    // to the object.
    class CCreationScope {
    public:
        explicit CCreationScope(CMessageMapWindow* object);
        ~CCreationScope();
        CCreationScope(const CCreationScope&) = delete;
        CCreationScope& operator=(const CCreationScope&) = delete;

    private:
        CMessageMapWindow* m_previous;
    };

    // The object of a window, attaching the one being created on its first message.
    static CMessageMapWindow* FromHandle(HWND window);
    // Runs one message through the map; false when it was not handled.
    bool Route(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // After the message and its default processing. The object may be gone afterwards.
    void Leave(HWND window, UINT message);

private:
    // The window and dialog procedures.
    friend class CWindowImplBase;
    friend class Dialogs::CDialogBase;

    int m_depth = 0;
    bool m_finalPending = false;
    std::atomic<DWORD> m_ownerThread{0};
};

// How a window class is registered: a class of its own, or a superclass of baseClass, whose
// procedure then does the default processing.
struct CWndClassInfo {
    const wchar_t* name;
    const wchar_t* baseClass = nullptr;
};

class CWindowImplBase : public CMessageMapWindow {
public:
    // The default processing of a message, for handlers that want it done first.
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

protected:
    struct CRegistration {
        ATOM atom = 0;
        DWORD error = ERROR_SUCCESS;
        WNDPROC baseProc = nullptr;
    };
    static CRegistration RegisterWindowClass(const CWndClassInfo& info, WNDPROC proc);
    // Null when the class is not registered or the window is not created (reason in GetLastError).
    HWND CreateWindowOfClass(const CRegistration& registration, HWND parent, const RECT& rect, const wchar_t* text,
                             DWORD style, DWORD exStyle);
    static LRESULT RouteWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC baseProc);

private:
    WNDPROC m_baseProc = nullptr;
};

// A window of class T::GetWndClassInfo(), registered on first use for this module.
template <class T>
class CWindowImpl : public CWindowImplBase {
public:
    HWND Create(HWND parent, const RECT& rect, const wchar_t* text, DWORD style, DWORD exStyle = 0)
    {
        return CreateWindowOfClass(Registration(), parent, rect, text, style, exStyle);
    }

private:
    static const CRegistration& Registration()
    {
        static const CRegistration registration = RegisterWindowClass(T::GetWndClassInfo(), &WindowProc);
        return registration;
    }
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        return RouteWindowMessage(window, message, wParam, lParam, Registration().baseProc);
    }
};

} // namespace Cxx::GUI
