#include "cxx/gui/WindowImpl.h"

#include "cxx/core/SystemUtils.h"

#include <utility>

namespace Cxx::GUI {

namespace {

constexpr wchar_t kObjectProperty[] = L"Cxx.GUI.Object";

// The object whose window is being created on this thread; trivially destructible on purpose.
thread_local CMessageMapWindow* t_creating = nullptr;

} // namespace

CMessageMapWindow::~CMessageMapWindow()
{
    if (!Routes(m_hWnd)) {
        return;
    }
    ::RemovePropW(m_hWnd, kObjectProperty);
    if (IsOwnerThread()) {
        ::DestroyWindow(m_hWnd);
    } else {
        ::PostMessageW(m_hWnd, WM_CLOSE, 0, 0);
    }
}

bool CMessageMapWindow::Routes(HWND window) const
{
    return window && ::IsWindow(window) && ::GetPropW(window, kObjectProperty) == this;
}

CMessageMapWindow::CCreationScope::CCreationScope(CMessageMapWindow* object) : m_previous(t_creating)
{
    t_creating = object;
}

CMessageMapWindow::CCreationScope::~CCreationScope()
{
    t_creating = m_previous;
}

CMessageMapWindow* CMessageMapWindow::FromHandle(HWND window)
{
    if (auto* self = static_cast<CMessageMapWindow*>(::GetPropW(window, kObjectProperty))) {
        return self;
    }
    CMessageMapWindow* self = std::exchange(t_creating, nullptr);
    if (!self || !::SetPropW(window, kObjectProperty, self)) {
        return nullptr;
    }
    self->m_hWnd = window;
    self->m_ownerThread = ::GetCurrentThreadId();
    return self;
}

bool CMessageMapWindow::Route(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    ++m_depth;
    result = 0;
    // No exception may leave a window procedure. A handler that threw has taken its message;
    // a window whose creation failed so is not made.
    try {
        return ProcessWindowMessage(window, message, wParam, lParam, result, 0);
    } catch (...) {
        result = message == WM_CREATE ? -1 : 0;
        return true;
    }
}

void CMessageMapWindow::Leave(HWND window, UINT message)
{
    if (message == WM_NCDESTROY) {
        ::RemovePropW(window, kObjectProperty);
        m_hWnd = nullptr;
        m_finalPending = true;
    }
    if (--m_depth == 0 && std::exchange(m_finalPending, false)) {
        OnFinalMessage(window);
    }
}

LRESULT CWindowImplBase::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return m_baseProc ? ::CallWindowProcW(m_baseProc, m_hWnd, message, wParam, lParam)
                      : ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

CWindowImplBase::CRegistration CWindowImplBase::RegisterWindowClass(const CWndClassInfo& info, WNDPROC proc)
{
    const HINSTANCE module = Core::Utils::GetCurrentModuleHandle();
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    CRegistration registration;
    if (info.baseClass) {
        if (!::GetClassInfoExW(module, info.baseClass, &windowClass) &&
            !::GetClassInfoExW(nullptr, info.baseClass, &windowClass)) {
            registration.error = ::GetLastError();
            return registration;
        }
        registration.baseProc = windowClass.lpfnWndProc;
    } else {
        windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    }
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = proc;
    windowClass.hInstance = module;
    windowClass.lpszClassName = info.name;
    registration.atom = ::RegisterClassExW(&windowClass);
    if (registration.atom == 0) {
        registration.error = ::GetLastError();
    }
    return registration;
}

HWND CWindowImplBase::CreateWindowOfClass(const CRegistration& registration, HWND parent, const RECT& rect,
                                          const wchar_t* text, DWORD style, DWORD exStyle)
{
    if (registration.atom == 0) {
        ::SetLastError(registration.error);
        return nullptr;
    }
    if (IsWindow()) {
        ::SetLastError(ERROR_ALREADY_EXISTS);
        return nullptr;
    }
    m_baseProc = registration.baseProc;
    HWND window = nullptr;
    {
        CCreationScope scope(this);
        window = ::CreateWindowExW(exStyle, MAKEINTATOM(registration.atom), text ? text : L"", style, rect.left,
                                   rect.top, rect.right - rect.left, rect.bottom - rect.top, parent, nullptr,
                                   Core::Utils::GetCurrentModuleHandle(), nullptr);
    }
    if (window && m_hWnd != window) {
        // The window could not take its object: it would never reach the message map.
        ::DestroyWindow(window);
        ::SetLastError(ERROR_OUTOFMEMORY);
        return nullptr;
    }
    return window;
}

LRESULT CWindowImplBase::RouteWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                            WNDPROC baseProc)
{
    CMessageMapWindow* self = FromHandle(window);
    if (!self) {
        return baseProc ? ::CallWindowProcW(baseProc, window, message, wParam, lParam)
                        : ::DefWindowProcW(window, message, wParam, lParam);
    }
    LRESULT result = 0;
    if (!self->Route(window, message, wParam, lParam, result)) {
        result = baseProc ? ::CallWindowProcW(baseProc, window, message, wParam, lParam)
                          : ::DefWindowProcW(window, message, wParam, lParam);
    }
    self->Leave(window, message);
    return result;
}

} // namespace Cxx::GUI
