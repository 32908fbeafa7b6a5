#pragma once

#include "appmetrics/IMetrics.h"
#include "browsercontrol/js/MarshaledInterfacePointer.h"
#include "browsercontrol/js/VariantArguments.h"
#include "cxx/gui/WindowImpl.h"
#include "installer/cpp_custominstaller/core/IInstallProgressJSCallback.h"

#include <windows.h>
#include <oaidl.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace CustomInstaller::Core::JS {

// One call into the page: a method of the page's object and its arguments.
struct CJSCallRequest {
    std::wstring name;
    BrowserControl::JS::CArgumentList arguments;
};

// The page's install callbacks, callable from any thread. Every call is carried to the
// UI thread by a hidden window and runs there, one at a time and in the order made; the
// caller waits until the page has seen it. Only progress may be dropped when the UI thread
// is busy: the page leaves its progress screen on the outcome alone. Once the page is gone
// (Detach), calls fail at once instead of waiting for a UI thread that no longer serves them.
class CInstallProgressJSCallback final : public Cxx::GUI::CWindowImpl<CInstallProgressJSCallback>,
                                         public IInstallProgressJSCallback {
public:
    static Cxx::GUI::CWndClassInfo GetWndClassInfo() { return {L"CustomInstaller.PageCallback"}; }

    // lParam identifies the request; wParam is 0.
    static constexpr UINT kCallMessage = WM_USER + 1;
    // How long a progress call waits for a UI thread that takes no messages; a thread that
    // has not taken any for 5 seconds counts as hung and is not waited for at all.
    static constexpr DWORD kDefaultCallTimeoutMs = 10000;

    enum ECallDelivery {
        // Given up after the call time-out.
        CD_MayDrop,
        // Waits until the UI thread has run it, or Detach answered it.
        CD_Always,
    };

    // Empty when analytics is not running.
    using CTimingFactory = std::function<std::unique_ptr<AppMetrics::ITiming>(const AppMetrics::CTimingData&)>;

    // Call on the UI thread: the call window and the page object belong to it. Null when
    // the window cannot be created. The object is let go on the UI thread too, whichever
    // thread drops the last reference, as long as that thread still takes messages.
    static std::shared_ptr<CInstallProgressJSCallback> Create(IDispatch* page, bool noMarshal,
                                                              CTimingFactory createTiming = {},
                                                              DWORD callTimeoutMs = kDefaultCallTimeoutMs);

    void OnStarted() override;
    void OnProgress(float percent) override;
    void OnError(int code) override;
    void OnCancel() override;
    void OnFinish() override;

    // The page is gone: from now on calls fail at once and call nothing. On the UI thread
    // it also answers the calls that workers are waiting on, so that none of them is left
    // waiting when the UI thread stops taking messages, and lets go of the page's object
    // there, while its apartment still lives: whoever drops this object last, and wherever,
    // no longer reaches into the page.
    void Detach();

    // True when the page's method ran and succeeded.
    bool SendCallRequest(const std::wstring& name, const BrowserControl::JS::CArgumentList& arguments,
                         ECallDelivery delivery);

    // True while the call window exists and still serves this object.
    bool HasWindow() const { return Routes(m_window); }

    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                              DWORD mapId) override;

protected:
    void OnFinalMessage(HWND) override;

private:
    static constexpr UINT kReleaseMessage = WM_USER + 2;

    CInstallProgressJSCallback(IDispatch* page, bool noMarshal, CTimingFactory createTiming, DWORD callTimeoutMs);
    ~CInstallProgressJSCallback() override;
    static void Release(CInstallProgressJSCallback* self);

    LRESULT Serve(LPARAM id);
    LRESULT CallPage(CJSCallRequest& request);

    // Written once by the constructor, before any other thread sees the object.
    HWND m_window = nullptr;
    // Set on the UI thread when a worker's last reference handed the object over to it.
    bool m_released = false;

    // Used and let go on the UI thread only; empty once detached there.
    std::unique_ptr<js::marshaled_interface_pointer<IDispatch>> m_page;
    std::unique_ptr<AppMetrics::ITiming> m_timing;
    const CTimingFactory m_createTiming;
    const DWORD m_callTimeoutMs;

    std::mutex m_lock;
    bool m_closed = false;
    std::uint32_t m_lastId = 0;
    std::map<std::uint32_t, std::shared_ptr<CJSCallRequest>> m_requests;
    // Requests sent and not yet returned, and those of them being served on the UI thread.
    int m_inFlight = 0;
    int m_serving = 0;
};

} // namespace CustomInstaller::Core::JS
