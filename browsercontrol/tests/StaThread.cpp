#include "browsercontrol/tests/StaThread.h"

#include <algorithm>
#include <optional>

namespace BrowserControl::Tests {

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (!done()) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        if (done()) {
            break;
        }
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) {
            return false;
        }
        ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 20)),
                                      QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    return true;
}

CWorkerThread::CWorkerThread(std::function<void()> body, bool enterApartment)
    : m_started(::CreateEventW(nullptr, TRUE, FALSE, nullptr)), m_done(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    m_thread = std::thread([this, body = std::move(body), enterApartment, done = m_done.Get()] {
        m_threadId = ::GetCurrentThreadId();
        ::SetEvent(m_started.Get());
        {
            std::optional<CApartment> apartment;
            if (enterApartment) {
                apartment.emplace();
            }
            body();
        }
        ::SetEvent(done);
    });
    ::WaitForSingleObject(m_started.Get(), INFINITE);
}

CWorkerThread::~CWorkerThread()
{
    if (m_thread.joinable()) {
        PumpUntilDone(INFINITE);
        m_thread.join();
    }
}

bool CWorkerThread::PumpUntilDone(DWORD timeoutMs)
{
    return PumpUntil([this] { return Done(); }, timeoutMs);
}

} // namespace BrowserControl::Tests
