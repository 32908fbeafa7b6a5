#include "browsercontrol/js/MarshaledInterfacePointer.h"

#include "cxx/core/SystemUtils.h"

#include <atomic>

namespace BrowserControl::JS::Detail {

std::uint64_t CurrentThreadSerial()
{
    static std::atomic<std::uint64_t> s_next{1};
    thread_local const std::uint64_t serial = s_next.fetch_add(1);
    return serial;
}

namespace {

constexpr wchar_t kHomeClass[] = L"BrowserControl.PointerHome";
constexpr UINT kReleaseMessage = WM_APP + 1;

struct WindowTraits {
    static HWND Invalid() { return nullptr; }
    static void Close(HWND window) { ::DestroyWindow(window); }
};

LRESULT CALLBACK HomeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kReleaseMessage) {
        delete reinterpret_cast<CHomeRelease*>(lParam);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

CHomeRelease::~CHomeRelease()
{
    if (cookie != 0) {
        table->RevokeInterfaceFromGlobal(cookie);
    }
}

HWND HomeWindow()
{
    static const ATOM registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = &HomeWindowProc;
        windowClass.hInstance = Cxx::Core::Utils::GetCurrentModuleHandle();
        windowClass.lpszClassName = kHomeClass;
        return ::RegisterClassExW(&windowClass);
    }();
    // Releases still queued when the thread ends are lost with it, on purpose: its apartment
    // has ended by then.
    thread_local const Cxx::Core::CUniqueHandle<WindowTraits> home(
        registered ? ::CreateWindowExW(0, MAKEINTATOM(registered), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                       Cxx::Core::Utils::GetCurrentModuleHandle(), nullptr)
                   : nullptr);
    return home.Get();
}

void PostHomeRelease(HWND home, std::unique_ptr<CHomeRelease> release)
{
    // The message owns it from here on: posted or not, it is not released on this thread.
    ::PostMessageW(home, kReleaseMessage, 0, reinterpret_cast<LPARAM>(release.release()));
}

} // namespace BrowserControl::JS::Detail
