#pragma once

#include "browsercontrol/BrowserWindow.h"
#include "browsercontrol/WebDialogResource.h"
#include "browsercontrol/WebDialogResults.h"
#include "browsercontrol/js/JSObjects.h"
#include "browsercontrol/js/WindowWrapper.h"
#include "cxx/gui/Dialogs.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace BrowserControl {

namespace JS {
class CChildCreator;
}

// Requests of the pages to their dialog, posted (lParam unused unless said).
inline constexpr UINT WM_WEBDLG_END = 0x1509;                // wParam: the result
inline constexpr UINT WM_WEBDLG_SHOW_SIZED = 0x150B;         // wParam, lParam: width, height in pixels
inline constexpr UINT WM_WEBDLG_SHOW = 0x150C;
inline constexpr UINT WM_WEBDLG_CLOSE = 0x150D;              // wParam: the exit code
inline constexpr UINT WM_WEBDLG_SECOND_SHOW_SIZED = 0x150E;  // wParam, lParam: width, height
inline constexpr UINT WM_WEBDLG_SECOND_SHOW = 0x150F;
inline constexpr UINT WM_WEBDLG_SECOND_CLOSE = 0x1510;

// A borderless dialog whose client area is the browser of its page. It starts invisible; the
// page shows it with a size, or closes it with a code, through basewnd. A page that has not
// shown it when the time-out (timer 100) passes ends it with WebDialogPageTimeout. An optional
// second page may show the dialog meanwhile (a splash), until the main page shows it; its
// close ends the dialog with 1. Placement 0 centres the dialog, 1 puts it beside the taskbar.
// The browser is asked for the FileUrl of each page's path, and trusts the page's folder alone.
// The child windows its page opened close with it.
template <class TBase>
class CWebBaseDlgImpl : public TBase {
public:
    using CBrowserWindowWrapper = JS::WindowWrapper::CBrowserWindowWrapper;

    static constexpr UINT_PTR TimerId = 100;

    // Pages by the full paths of their files; an empty main page ends the dialog at once.
    CWebBaseDlgImpl(const std::wstring& pagePath, std::wstring secondPagePath, int placement, UINT timeoutMs)
        : CWebBaseDlgImpl(CLocalPageScope(pagePath), FileUrl(pagePath), std::move(secondPagePath), placement,
                          timeoutMs)
    {
    }
    // A page by a URL of a file inside the scope, which it trusts alone.
    CWebBaseDlgImpl(CLocalPageScope scope, std::wstring pageUrl, int placement, UINT timeoutMs)
        : CWebBaseDlgImpl(std::move(scope), std::move(pageUrl), std::wstring(), placement, timeoutMs)
    {
    }

    CXX_BEGIN_MSG_MAP()
        CXX_MESSAGE_HANDLER(WM_CLOSE, OnEnd)
        CXX_MESSAGE_HANDLER(WM_DESTROY, OnDestroy)
        CXX_MESSAGE_HANDLER(WM_WINDOWPOSCHANGED, OnWindowPosChanged)
        CXX_MESSAGE_HANDLER(WM_INITDIALOG, OnInitDialog)
        CXX_MESSAGE_HANDLER(WM_TIMER, OnTimer)
        CXX_MESSAGE_HANDLER(WM_WEBDLG_END, OnEnd)
        CXX_MESSAGE_HANDLER(WM_WEBDLG_SHOW_SIZED, OnShowSized)
        CXX_MESSAGE_HANDLER(WM_WEBDLG_SHOW, OnShow)
        CXX_MESSAGE_HANDLER(WM_WEBDLG_CLOSE, OnCloseWithCode)
        CXX_MESSAGE_HANDLER(WM_WEBDLG_SECOND_SHOW_SIZED, OnSecondShowSized)
        CXX_MESSAGE_HANDLER(WM_WEBDLG_SECOND_SHOW, OnSecondShow)
        CXX_MESSAGE_HANDLER(WM_WEBDLG_SECOND_CLOSE, OnSecondClose)
    CXX_END_MSG_MAP()

    // Fills the main page's window.external before the page exists: here the standard set, in
    // this order: basewnd over the main page's CBrowserWindowWrapper, download, process,
    // system, childWindow and engine.
    virtual void InitScriptObjects(const std::shared_ptr<JS::CJSObjects>& objects);
    // Ends a modal dialog with the result; destroys a modeless one.
    virtual void EndDialog(int result) { TBase::EndDialog(result); }

protected:
    // Null before WM_INITDIALOG.
    CBrowserWindow* MainBrowser() const { return m_mainBrowser.get(); }
    // The folder the main page trusts, and from which alone it may open child windows.
    const CLocalPageScope& PageScope() const { return m_scope; }
    // The opener of the page's child windows, made on first use; they close with this dialog.
    std::shared_ptr<JS::CChildCreator> ChildCreator();
    // True while a call of its pages into one of their own script objects runs on this thread.
    bool IsOwnScriptCallRunning() const;

private:
    CWebBaseDlgImpl(CLocalPageScope scope, std::wstring pageUrl, std::wstring secondPagePath, int placement,
                    UINT timeoutMs)
        : m_timeout(timeoutMs), m_scope(std::move(scope)), m_pageUrl(std::move(pageUrl)),
          m_secondPagePath(std::move(secondPagePath)), m_placement(placement)
    {
    }

    LRESULT OnInitDialog(UINT, WPARAM, LPARAM, bool&);
    LRESULT OnTimer(UINT, WPARAM, LPARAM, bool&);
    LRESULT OnEnd(UINT, WPARAM result, LPARAM, bool&);
    LRESULT OnDestroy(UINT, WPARAM, LPARAM, bool& handled);
    LRESULT OnWindowPosChanged(UINT, WPARAM, LPARAM position, bool&);
    LRESULT OnShowSized(UINT, WPARAM width, LPARAM height, bool&);
    LRESULT OnShow(UINT, WPARAM, LPARAM, bool&);
    LRESULT OnCloseWithCode(UINT, WPARAM code, LPARAM, bool&);
    LRESULT OnSecondShowSized(UINT, WPARAM width, LPARAM height, bool&);
    LRESULT OnSecondShow(UINT, WPARAM, LPARAM, bool&);
    LRESULT OnSecondClose(UINT, WPARAM, LPARAM, bool&);

    std::unique_ptr<CBrowserWindow> CreatePage(std::shared_ptr<JS::CJSObjects> objects, const CLocalPageScope& scope,
                                               const std::wstring& url);
    // Sizes the dialog and puts it where its placement says.
    void Place(int width, int height, UINT placedFlags);
    void End(int result) { this->PostMessage(WM_WEBDLG_END, static_cast<WPARAM>(result)); }
    bool CanShow(int width, int height) const { return m_initialised && m_mainBrowser && width != 0 && height != 0; }

    const UINT m_timeout;
    std::unique_ptr<CBrowserWindow> m_mainBrowser;
    std::unique_ptr<CBrowserWindow> m_secondBrowser;
    std::atomic<bool> m_shown{false};
    std::atomic<bool> m_initialised{false};
    const CLocalPageScope m_scope;
    const std::wstring m_pageUrl;
    const std::wstring m_secondPagePath;
    const int m_placement;
    std::shared_ptr<JS::CChildCreator> m_children;
};

class CWebBaseModalDlg : public CWebBaseDlgImpl<Cxx::GUI::Dialogs::CDialogImpl<CWebBaseModalDlg>> {
public:
    static constexpr int IDD = IDD_WEBDIALOG;
    using CWebBaseDlgImpl::CWebBaseDlgImpl;
};

// Created through CModelessDlg<CWebBaseModelessDlg>::Create; deletes itself after its window,
// but never while its page's call into one of its own script objects runs: the page may be
// inside one, in a nested message loop, and would lose its window under it. Its end then
// waits for the call to return; calls of other pages on the thread do not hold it.
class CWebBaseModelessDlg : public CWebBaseDlgImpl<Cxx::GUI::Dialogs::CModelessDlg<CWebBaseModelessDlg>> {
    using CBase = CWebBaseDlgImpl<Cxx::GUI::Dialogs::CModelessDlg<CWebBaseModelessDlg>>;

public:
    static constexpr int IDD = IDD_WEBDIALOG;
    static constexpr UINT_PTR EndRetryTimerId = 101;
    static constexpr UINT EndRetryMs = 50;

    CWebBaseModelessDlg(const std::wstring& pagePath, std::wstring secondPagePath, int placement, UINT timeoutMs);
    CWebBaseModelessDlg(CLocalPageScope scope, std::wstring pageUrl, int placement, UINT timeoutMs);
    ~CWebBaseModelessDlg() override;

    // Names the dialog while it lives, unlike its address or window handle, which are reused.
    std::uint64_t Serial() const { return m_serial; }
    // Ends the dialog of that serial if it still lives on this thread.
    static void EndIfOpen(std::uint64_t serial);

    CXX_BEGIN_MSG_MAP()
        CXX_MESSAGE_HANDLER(WM_TIMER, OnTimer)
        CXX_CHAIN_MSG_MAP(CBase)
    CXX_END_MSG_MAP()

    void EndDialog(int result) override;

private:
    LRESULT OnTimer(UINT, WPARAM id, LPARAM, bool& handled);

    const std::uint64_t m_serial;
    int m_pendingResult = 0;
};

extern template class CWebBaseDlgImpl<Cxx::GUI::Dialogs::CDialogImpl<CWebBaseModalDlg>>;
extern template class CWebBaseDlgImpl<Cxx::GUI::Dialogs::CModelessDlg<CWebBaseModelessDlg>>;

} // namespace BrowserControl
