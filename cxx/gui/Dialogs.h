#pragma once

#include "cxx/gui/WindowImpl.h"

#include <windows.h>

#include <memory>

namespace Cxx::GUI::Dialogs {

// A dialog on a template of this module, whose messages go to its object's message map.
class CDialogBase : public CMessageMapWindow {
protected:
    INT_PTR RunModal(int templateId, HWND parent, LPARAM init);
    HWND CreateModeless(int templateId, HWND parent, LPARAM init);

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

// A modal dialog on template T::IDD.
template <class T>
class CDialogImpl : public CDialogBase {
public:
    // The dialog's result; -1 when it cannot be created (reason in GetLastError).
    INT_PTR DoModal(HWND parent = nullptr, LPARAM init = 0) { return RunModal(T::IDD, parent, init); }
    BOOL EndDialog(int result) { return ::EndDialog(m_hWnd, result); }
};

// A modeless dialog on template T::IDD that owns itself once its window exists.
template <class T>
class CModelessDlg : public CDialogBase {
public:
    // Creates the dialog's window; the window then owns the object, which is deleted after the
    // window's final message. When no window comes of it, the object is deleted here. True when
    // the window exists afterwards.
    static bool Create(std::unique_ptr<T> dialog, HWND parent = nullptr, LPARAM init = 0)
    {
        CModelessDlg& self = *dialog;
        if (!self.CreateModeless(T::IDD, parent, init) || !self.IsWindow()) {
            return false;
        }
        self.m_ownedByWindow = true;
        dialog.release();
        return true;
    }

    BOOL EndDialog(int) { return DestroyWindow(); }

protected:
    void OnFinalMessage(HWND) override
    {
        if (m_ownedByWindow) {
            delete this;
        }
    }

private:
    bool m_ownedByWindow = false;
};

} // namespace Cxx::GUI::Dialogs
