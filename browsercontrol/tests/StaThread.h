#pragma once

#include "cxx/core/Handle.h"

#include <windows.h>
#include <objbase.h>

#include <functional>
#include <thread>

namespace BrowserControl::Tests {

// Keeps the calling thread in a single-threaded apartment.
class CApartment {
public:
    CApartment() : m_hr(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~CApartment()
    {
        if (SUCCEEDED(m_hr)) {
            ::CoUninitialize();
        }
    }
    CApartment(const CApartment&) = delete;
    CApartment& operator=(const CApartment&) = delete;
    bool Entered() const { return SUCCEEDED(m_hr); }

private:
    HRESULT m_hr;
};

// A plain, hidden top-level window of the calling thread, destroyed with the object.
class CTestWindow {
public:
    explicit CTestWindow(DWORD exStyle = 0, HWND owner = nullptr)
        : m_window(::CreateWindowExW(exStyle, L"STATIC", L"", WS_POPUP, 0, 0, 50, 50, owner, nullptr, nullptr, nullptr))
    {
    }
    ~CTestWindow() { ::DestroyWindow(m_window); }
    CTestWindow(const CTestWindow&) = delete;
    CTestWindow& operator=(const CTestWindow&) = delete;
    HWND Get() const { return m_window; }

private:
    HWND m_window;
};

// Dispatches the calling thread's messages until done() holds or the time is up.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// Runs a body on a new thread of its own, inside a single-threaded apartment unless told
// otherwise. The destructor joins it.
class CWorkerThread {
public:
    explicit CWorkerThread(std::function<void()> body, bool enterApartment = true);
    ~CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    // Pumps the calling thread's messages meanwhile, so that calls the body makes into
    // the calling thread's apartment are served. True when the body ended in time.
    bool PumpUntilDone(DWORD timeoutMs);
    bool Done() const { return ::WaitForSingleObject(m_done.Get(), 0) == WAIT_OBJECT_0; }
    DWORD ThreadId() const { return m_threadId; }

private:
    Cxx::Core::CHandle m_started;
    Cxx::Core::CHandle m_done;
    DWORD m_threadId = 0;
    std::thread m_thread;
};

} // namespace BrowserControl::Tests
