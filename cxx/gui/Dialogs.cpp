#include "cxx/gui/Dialogs.h"

#include "cxx/core/SystemUtils.h"

namespace Cxx::GUI::Dialogs {

INT_PTR CDialogBase::RunModal(int templateId, HWND parent, LPARAM init)
{
    CCreationScope scope(this);
    return ::DialogBoxParamW(Core::Utils::GetCurrentModuleHandle(), MAKEINTRESOURCEW(templateId), parent,
                             &DialogProc, init);
}

HWND CDialogBase::CreateModeless(int templateId, HWND parent, LPARAM init)
{
    CCreationScope scope(this);
    return ::CreateDialogParamW(Core::Utils::GetCurrentModuleHandle(), MAKEINTRESOURCEW(templateId), parent,
                                &DialogProc, init);
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CMessageMapWindow* self = FromHandle(window);
    if (!self) {
        return FALSE;
    }
    LRESULT result = 0;
    const bool handled = self->Route(window, message, wParam, lParam, result);
    self->Leave(window, message);
    if (!handled) {
        return FALSE;
    }
    switch (message) {
    // These answer through the procedure's result instead of DWLP_MSGRESULT.
    case WM_INITDIALOG:
    case WM_CHARTOITEM:
    case WM_VKEYTOITEM:
    case WM_COMPAREITEM:
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        return static_cast<INT_PTR>(result);
    case WM_NCDESTROY:
        return TRUE;
    default:
        ::SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
        return TRUE;
    }
}

} // namespace Cxx::GUI::Dialogs
