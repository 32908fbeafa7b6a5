#pragma once

#include <windows.h>

namespace Cxx::GUI {

// Keeps the calling thread's windows, and the calls that COM brings into its apartment,
// served while the thread waits. A WM_QUIT taken from the queue meanwhile is posted again when
// the pump goes, so that the thread's own message loop still ends.
class CMessagePump {
public:
    CMessagePump() = default;
    CMessagePump(const CMessagePump&) = delete;
    CMessagePump& operator=(const CMessagePump&) = delete;
    ~CMessagePump();

    // Dispatches the thread's messages until the object is signalled (or cannot be waited for).
    void WaitFor(HANDLE object);

private:
    void DispatchPending();

    bool m_quit = false;
    int m_quitCode = 0;
};

} // namespace Cxx::GUI
