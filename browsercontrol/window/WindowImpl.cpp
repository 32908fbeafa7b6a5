#include "browsercontrol/window/WindowImpl.h"

namespace BrowserControl::Window {

namespace {

constexpr wchar_t kClassName[] = L"BrowserControl.Window";

HINSTANCE OwnModule()
{
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&OwnModule), &module);
    return module;
}

} // namespace

CWindowImpl::~CWindowImpl()
{
    const HWND window = m_window.exchange(nullptr);
    if (!RefersTo(window, this)) {
        return;
    }
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (m_ownerThread.load() == ::GetCurrentThreadId()) {
        ::DestroyWindow(window);
    } else {
        ::PostMessageW(window, WM_CLOSE, 0, 0);
    }
}

bool CWindowImpl::Create(HWND parent, const RECT& rect, const wchar_t* title, DWORD style, DWORD exStyle)
{
    if (m_window.load()) {
        ::SetLastError(ERROR_ALREADY_EXISTS);
        return false;
    }
    // Registered once for the process; a failure is remembered with its error.
    static const DWORD registration = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = &CWindowImpl::WindowProc;
        windowClass.hInstance = OwnModule();
        windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        windowClass.lpszClassName = kClassName;
        return ::RegisterClassExW(&windowClass) != 0 ? ERROR_SUCCESS : ::GetLastError();
    }();
    if (registration != ERROR_SUCCESS) {
        ::SetLastError(registration);
        return false;
    }
    m_ownerThread = ::GetCurrentThreadId();
    const HWND window = ::CreateWindowExW(exStyle, kClassName, title ? title : L"", style, rect.left, rect.top,
                                          rect.right - rect.left, rect.bottom - rect.top, parent, nullptr,
                                          OwnModule(), this);
    return window != nullptr;
}

bool CWindowImpl::DestroyWindow()
{
    const HWND window = m_window.load();
    if (!RefersTo(window, this) || !IsOwnerThread()) {
        return false;
    }
    return ::DestroyWindow(window) != FALSE;
}

bool CWindowImpl::RefersTo(HWND window, const CWindowImpl* object)
{
    // A window that died with its thread got no WM_NCDESTROY, and its handle may have
    // been given to another window since.
    return window && ::IsWindow(window) &&
           ::GetWindowLongPtrW(window, GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(object);
}

bool CWindowImpl::HasWindow() const
{
    return RefersTo(m_window.load(), this);
}

LRESULT CALLBACK CWindowImpl::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<CWindowImpl*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->m_window = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<CWindowImpl*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) {
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    LRESULT result = 0;
    const bool handled = self->ProcessWindowMessage(window, message, wParam, lParam, result, 0);
    if (message != WM_NCDESTROY) {
        // The handler may have deleted the object: it is not touched again.
        return handled ? result : ::DefWindowProcW(window, message, wParam, lParam);
    }
    if (!handled) {
        result = ::DefWindowProcW(window, message, wParam, lParam);
    }
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->m_window = nullptr;
    self->OnFinalMessage(window);
    return result;
}

} // namespace BrowserControl::Window
