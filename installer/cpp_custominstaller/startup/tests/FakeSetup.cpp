// Stands in for a running NSIS setup of the product.
//   kv_fake_setup MARKER READY_EVENT QUIT_EVENT window|nowindow
// Holds the marker mutex, creates a hidden top-level window when asked,
// signals READY_EVENT and runs until QUIT_EVENT is set (at most a minute).
#include "cxx/core/Handle.h"

#include <windows.h>
#include <shellapi.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    int argc = 0;
    Cxx::Core::CLocalMemory argvMemory(::CommandLineToArgvW(::GetCommandLineW(), &argc));
    if (!argvMemory || argc != 5) {
        return 2;
    }
    wchar_t** argv = static_cast<wchar_t**>(argvMemory.Get());

    const Cxx::Core::CHandle marker(::CreateMutexW(nullptr, TRUE, argv[1]));
    const Cxx::Core::CHandle ready(::OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]));
    const Cxx::Core::CHandle quit(::OpenEventW(SYNCHRONIZE, FALSE, argv[3]));
    if (!marker || !ready || !quit) {
        return 3;
    }

    HWND window = nullptr;
    if (lstrcmpW(argv[4], L"window") == 0) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = ::DefWindowProcW;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = L"KvFakeSetupWindow";
        ::RegisterClassW(&windowClass);
        window = ::CreateWindowExW(0, windowClass.lpszClassName, L"Fake setup", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                   100, nullptr, nullptr, instance, nullptr);
        if (!window) {
            return 4;
        }
    }
    ::SetEvent(ready.Get());

    const HANDLE waitFor[] = {quit.Get()};
    const ULONGLONG deadline = ::GetTickCount64() + 60000;
    for (;;) {
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) {
            break;
        }
        const DWORD result =
            ::MsgWaitForMultipleObjects(1, waitFor, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
        if (result != WAIT_OBJECT_0 + 1) {
            break;
        }
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::DispatchMessageW(&message);
        }
    }
    if (window) {
        ::DestroyWindow(window);
    }
    return 0;
}
