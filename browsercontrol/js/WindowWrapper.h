#pragma once

#include "browsercontrol/js/CustomObject.h"
#include "cxx/gui/Window.h"

#include <windows.h>

#include <memory>
#include <string>

namespace BrowserControl::JS::WindowWrapper {

// The window that a page drives through basewnd.
class IWindowWrapper {
public:
    virtual ~IWindowWrapper() = default;
    virtual void Show() = 0;
    // Sizes in pixels.
    virtual void ShowWithSize(int width, int height) = 0;
    virtual void Close() = 0;
    virtual void Hide() = 0;
    virtual void Minimize() = 0;
    virtual bool IsMinimizeSupported() = 0;
    virtual void CloseWithExitCode(int code) = 0;
};

// One plain window, asked to close with closeMessage (wParam = the exit code). Every call does
// nothing once the window is gone.
class CSingleWindowWrapper : public IWindowWrapper {
public:
    CSingleWindowWrapper(HWND window, UINT closeMessage) : m_window(window), m_closeMessage(closeMessage) {}

    void Show() override;
    // Sizes the window, centres it over its owner or the work area and shows it.
    void ShowWithSize(int width, int height) override;
    // Closes with code 0.
    void Close() override;
    void Hide() override;
    // Only a visible window whose minimising is supported.
    void Minimize() override;
    // A top-level window without an owner that is no tool window.
    bool IsMinimizeSupported() override;
    void CloseWithExitCode(int code) override;

protected:
    const Cxx::GUI::CWindow m_window;

private:
    const UINT m_closeMessage;
};

// A page of a web dialog: its requests are posted to the dialog, which decides (show with a
// size: wParam and lParam; show; close with a code: wParam).
class CBrowserWindowWrapper final : public CSingleWindowWrapper {
public:
    CBrowserWindowWrapper(UINT showSizedMessage, UINT showMessage, UINT closeMessage, HWND dialog)
        : CSingleWindowWrapper(dialog, WM_CLOSE), m_showSizedMessage(showSizedMessage), m_showMessage(showMessage),
          m_closeWithCodeMessage(closeMessage)
    {
    }

    void Show() override;
    void ShowWithSize(int width, int height) override;
    // Closes with code 1.
    void Close() override;
    void CloseWithExitCode(int code) override;

private:
    const UINT m_showSizedMessage;
    const UINT m_showMessage;
    const UINT m_closeWithCodeMessage;
};

// The script object basewnd over a window wrapper (which may be null). Methods that take no
// result refuse a call that asks for one, so a page calls them as statements.
class CJSWindowWrapper final : public custom_object<CJSWindowWrapper> {
public:
    explicit CJSWindowWrapper(std::shared_ptr<IWindowWrapper> wrapper);

    std::wstring GetName() const override { return L"basewnd"; }

    HRESULT hide(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);
    HRESULT close(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);
    // (width, height), integers or numbers truncated toward zero.
    HRESULT show(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);
    HRESULT minimize(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);
    HRESULT isMinimizeSupported(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);
    // The screen's horizontal DPI in per cent of 96; works without a window.
    HRESULT getDPI(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);
    HRESULT closeWithExitCode(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);

private:
    // A call that takes no arguments and gives no result.
    HRESULT CallWithoutArguments(DISPPARAMS* params, VARIANT* result, void (IWindowWrapper::*call)());

    const std::shared_ptr<IWindowWrapper> m_wrapper;
};

} // namespace BrowserControl::JS::WindowWrapper
