#include "cxx/gui/MessagePump.h"

namespace Cxx::GUI {

CMessagePump::~CMessagePump()
{
    if (m_quit) {
        ::PostQuitMessage(m_quitCode);
    }
}

void CMessagePump::WaitFor(HANDLE object)
{
    do {
        DispatchPending();
    } while (::MsgWaitForMultipleObjectsEx(1, &object, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE) ==
             WAIT_OBJECT_0 + 1);
}

void CMessagePump::DispatchPending()
{
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            m_quit = true;
            m_quitCode = static_cast<int>(message.wParam);
            continue;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

} // namespace Cxx::GUI
