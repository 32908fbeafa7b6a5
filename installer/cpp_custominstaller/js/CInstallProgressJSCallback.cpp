#include "installer/cpp_custominstaller/js/CInstallProgressJSCallback.h"

#include "browsercontrol/js/CallScriptFunction.h"

#include <new>
#include <utility>

namespace CustomInstaller::Core::JS {

using BrowserControl::JS::CArgumentList;
using BrowserControl::JS::CVariant;

std::shared_ptr<CInstallProgressJSCallback> CInstallProgressJSCallback::Create(IDispatch* page, bool noMarshal,
                                                                               CTimingFactory createTiming,
                                                                               DWORD callTimeoutMs)
{
    std::shared_ptr<CInstallProgressJSCallback> callback(
        new CInstallProgressJSCallback(page, noMarshal, std::move(createTiming), callTimeoutMs),
        &CInstallProgressJSCallback::Release);
    if (!callback->HasWindow()) {
        return nullptr;
    }
    return callback;
}

CInstallProgressJSCallback::CInstallProgressJSCallback(IDispatch* page, bool noMarshal, CTimingFactory createTiming,
                                                       DWORD callTimeoutMs)
    : m_page(std::make_unique<js::marshaled_interface_pointer<IDispatch>>(page, noMarshal)),
      m_createTiming(std::move(createTiming)), m_callTimeoutMs(callTimeoutMs)
{
    // Made here, on the UI thread, so that every call is served there.
    m_window = CWindowImpl::Create(nullptr, RECT{}, L"", WS_POPUP, 0);
}

CInstallProgressJSCallback::~CInstallProgressJSCallback()
{
    // The window goes with the base, which no longer hands its messages to this object.
    std::lock_guard<std::mutex> lock(m_lock);
    m_closed = true;
}

void CInstallProgressJSCallback::Release(CInstallProgressJSCallback* self)
{
    // The page object and the window belong to the UI thread: a worker holding the last
    // reference hands the object over to it.
    if (!self->IsOwnerThread() && self->HasWindow() && ::PostMessageW(self->m_window, kReleaseMessage, 0, 0)) {
        return;
    }
    delete self;
}

void CInstallProgressJSCallback::OnFinalMessage(HWND)
{
    if (m_released) {
        delete this;
    }
}

void CInstallProgressJSCallback::OnStarted()
{
    if (m_createTiming) {
        m_timing = m_createTiming(AppMetrics::CTimingData("InstallDuration", "Install", 0, std::nullopt));
    }
    SendCallRequest(L"onStarted", CArgumentList(), CD_Always);
}

void CInstallProgressJSCallback::OnProgress(float percent)
{
    CArgumentList arguments;
    arguments.Add(CVariant::Float(percent));
    SendCallRequest(L"onProgress", arguments, CD_MayDrop);
}

void CInstallProgressJSCallback::OnError(int code)
{
    CArgumentList arguments;
    arguments.Add(CVariant::Int(code));
    SendCallRequest(L"onError", arguments, CD_Always);
}

void CInstallProgressJSCallback::OnCancel()
{
    SendCallRequest(L"onCancel", CArgumentList(), CD_Always);
}

void CInstallProgressJSCallback::OnFinish()
{
    if (m_timing) {
        m_timing->SendElapsed();
    }
    SendCallRequest(L"onFinish", CArgumentList(), CD_Always);
}

void CInstallProgressJSCallback::Detach()
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_closed = true;
    if (!IsOwnerThread()) {
        return;
    }
    // Serve the calls that are still on their way; they now answer 0 without calling the
    // page. Calls being served further up this thread's stack are not waited for: each
    // holds the page's object itself until it returns.
    while (m_inFlight > m_serving) {
        lock.unlock();
        MSG message;
        ::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        ::MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_SENDMESSAGE, 0);
        lock.lock();
    }
    lock.unlock();
    m_page.reset();
}

bool CInstallProgressJSCallback::SendCallRequest(const std::wstring& name, const CArgumentList& arguments,
                                                 ECallDelivery delivery)
{
    if (!HasWindow()) {
        return false;
    }
    const HWND window = m_window;
    std::shared_ptr<CJSCallRequest> request;
    try {
        request = std::make_shared<CJSCallRequest>(CJSCallRequest{name, arguments});
    } catch (const std::bad_alloc&) {
        return false;
    }
    std::uint32_t id = 0;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_closed) {
            return false;
        }
        id = ++m_lastId;
        m_requests.emplace(id, request);
        ++m_inFlight;
    }
    // On the UI thread this calls the window procedure directly. A call that times out may
    // still reach the window later: it then finds no request under its id and does nothing.
    DWORD_PTR answer = 0;
    if (delivery == CD_Always) {
        answer = static_cast<DWORD_PTR>(::SendMessageW(window, kCallMessage, 0, static_cast<LPARAM>(id)));
    } else if (!::SendMessageTimeoutW(window, kCallMessage, 0, static_cast<LPARAM>(id), SMTO_NORMAL | SMTO_ABORTIFHUNG,
                                      m_callTimeoutMs, &answer)) {
        answer = 0;
    }
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_requests.erase(id);
        --m_inFlight;
    }
    return answer != 0;
}

bool CInstallProgressJSCallback::ProcessWindowMessage(HWND, UINT message, WPARAM, LPARAM lParam, LRESULT& result,
                                                      DWORD mapId)
{
    if (mapId != 0) {
        return false;
    }
    if (message == kCallMessage) {
        result = Serve(lParam);
        return true;
    }
    if (message == kReleaseMessage) {
        result = 0;
        m_released = true;
        DestroyWindow();
        return true;
    }
    return false;
}

LRESULT CInstallProgressJSCallback::Serve(LPARAM id)
{
    std::shared_ptr<CJSCallRequest> request;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_closed) {
            return 0;
        }
        const auto found = m_requests.find(static_cast<std::uint32_t>(id));
        if (found == m_requests.end()) {
            return 0;
        }
        request = found->second;
        ++m_serving;
    }
    const LRESULT result = CallPage(*request);
    std::lock_guard<std::mutex> lock(m_lock);
    --m_serving;
    return result;
}

LRESULT CInstallProgressJSCallback::CallPage(CJSCallRequest& request)
{
    if (request.name.empty() || !m_page) {
        return 0;
    }
    // The page may close inside its own call and detach this object meanwhile.
    const Cxx::Core::CComPtr<IDispatch> page(m_page->Get());
    if (!page) {
        return 0;
    }
    return BrowserControl::CallMethodByName(page.Get(), request.name, request.arguments.Params()) == S_OK ? 1 : 0;
}

} // namespace CustomInstaller::Core::JS
