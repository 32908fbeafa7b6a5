#include "browsercontrol/WebDialog.h"

#include "browsercontrol/js/ChildWindow.h"
#include "browsercontrol/js/ChildWindowCreator.h"
#include "browsercontrol/js/Downloader.h"
#include "browsercontrol/js/Engine.h"
#include "browsercontrol/js/Launcher.h"
#include "browsercontrol/js/System.h"
#include "cxx/core/SystemUtils.h"
#include "cxx/core/TextUtils.h"
#include "productlist/ProductList.h"

#include <map>

namespace BrowserControl {

namespace {

void Stop(const std::unique_ptr<CBrowserWindow>& browser)
{
    if (browser && browser->GetWebBrowser()) {
        browser->GetWebBrowser()->Stop();
    }
}

// The modeless dialogs of this thread by serial.
std::map<std::uint64_t, CWebBaseModelessDlg*>& OpenDialogs()
{
    thread_local std::map<std::uint64_t, CWebBaseModelessDlg*> dialogs;
    return dialogs;
}

std::uint64_t NextSerial()
{
    static std::atomic<std::uint64_t> next{1};
    return next.fetch_add(1);
}

} // namespace

template <class TBase>
std::shared_ptr<JS::CChildCreator> CWebBaseDlgImpl<TBase>::ChildCreator()
{
    if (!m_children) {
        m_children = std::make_shared<JS::CChildCreator>(PageScope());
    }
    return m_children;
}

template <class TBase>
bool CWebBaseDlgImpl<TBase>::IsOwnScriptCallRunning() const
{
    for (const CBrowserWindow* browser : {m_mainBrowser.get(), m_secondBrowser.get()}) {
        if (!browser || !browser->Objects()) {
            continue;
        }
        const JS::CJSObjects& objects = *browser->Objects();
        for (int index = 0; index < objects.GetCount(); ++index) {
            if (JS::IsScriptCallRunning(objects.GetObject(index).Get())) {
                return true;
            }
        }
    }
    return false;
}

template <class TBase>
LRESULT CWebBaseDlgImpl<TBase>::OnDestroy(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = false;
    if (m_children) {
        m_children->CloseAll();
    }
    return 0;
}

template <class TBase>
void CWebBaseDlgImpl<TBase>::InitScriptObjects(const std::shared_ptr<JS::CJSObjects>& objects)
{
    JS::AddScriptObject(objects, new JS::WindowWrapper::CJSWindowWrapper(std::make_shared<CBrowserWindowWrapper>(
                                     WM_WEBDLG_SHOW_SIZED, WM_WEBDLG_SHOW, WM_WEBDLG_CLOSE, this->Handle())));
    JS::AddScriptObject(objects, new JS::CDownloader(false));
    JS::AddScriptObject(objects, new JS::CLauncher());
    // The catalogue's built-in list is the one of the brand this program was built for.
    const std::string brand =
        Cxx::Core::Utils::WideToCodePage(Cxx::Core::Utils::GetFileVersionString(L"Brand", L""), CP_ACP);
    JS::AddScriptObject(objects, new JS::CSystem(std::make_shared<ProductList::CProductList>(L"", brand),
                                                 std::make_shared<Cxx::Misc::COpenInDefaultBrowser>()));
    JS::AddScriptObject(objects, new JS::CChildWindow(ChildCreator()));
    JS::AddScriptObject(objects, new JS::CEngine(JS::EngineVersion));
}

template <class TBase>
std::unique_ptr<CBrowserWindow> CWebBaseDlgImpl<TBase>::CreatePage(std::shared_ptr<JS::CJSObjects> objects,
                                                                   const CLocalPageScope& scope,
                                                                   const std::wstring& url)
{
    // A page whose window cannot be made never shows the dialog, which then times out.
    auto browser = std::make_unique<CBrowserWindow>(std::move(objects), scope, url);
    browser->Create(this->Handle(), RECT{});
    return browser;
}

template <class TBase>
LRESULT CWebBaseDlgImpl<TBase>::OnInitDialog(UINT, WPARAM, LPARAM, bool&)
{
    this->SetWindowPos(nullptr, 0, 0, 0, 0, SWP_NOZORDER);
    if (m_pageUrl.empty()) {
        End(0);
        return 0;
    }
    if (!m_secondPagePath.empty()) {
        auto objects = std::make_shared<JS::CJSObjectsSimpleContainer>();
        JS::AddScriptObject(objects, new JS::WindowWrapper::CJSWindowWrapper(std::make_shared<CBrowserWindowWrapper>(
                                         WM_WEBDLG_SECOND_SHOW_SIZED, WM_WEBDLG_SECOND_SHOW, WM_WEBDLG_SECOND_CLOSE,
                                         this->Handle())));
        m_secondBrowser =
            CreatePage(std::move(objects), CLocalPageScope(m_secondPagePath), FileUrl(m_secondPagePath));
    }
    auto objects = std::make_shared<JS::CJSObjectsSimpleContainer>();
    InitScriptObjects(objects);
    m_mainBrowser = CreatePage(std::move(objects), m_scope, m_pageUrl);
    m_mainBrowser->ShowWindow(SW_HIDE);
    ::SetTimer(this->Handle(), TimerId, m_timeout, nullptr);
    m_initialised.exchange(true);
    return 0;
}

template <class TBase>
LRESULT CWebBaseDlgImpl<TBase>::OnTimer(UINT, WPARAM, LPARAM, bool&)
{
    ::KillTimer(this->Handle(), TimerId);
    if (!m_shown) {
        End(WebDialogPageTimeout);
    }
    return 0;
}

template <class TBase>
LRESULT CWebBaseDlgImpl<TBase>::OnEnd(UINT, WPARAM result, LPARAM, bool&)
{
    Stop(m_mainBrowser);
    Stop(m_secondBrowser);
    ::KillTimer(this->Handle(), TimerId);
    EndDialog(static_cast<int>(result));
    return 0;
}

template <class TBase>
LRESULT CWebBaseDlgImpl<TBase>::OnWindowPosChanged(UINT, WPARAM, LPARAM position, bool&)
{
    const auto* placed = reinterpret_cast<const WINDOWPOS*>(position);
    if (!placed || !m_initialised) {
        return 0;
    }
    for (const auto* browser : {m_mainBrowser.get(), m_secondBrowser.get()}) {
        if (browser && browser->IsWindow()) {
            browser->SetWindowPos(nullptr, 0, 0, placed->cx, placed->cy, SWP_NOACTIVATE | SWP_NOZORDER);
        }
    }
    return 0;
}

template <class TBase>
void CWebBaseDlgImpl<TBase>::Place(int width, int height, UINT placedFlags)
{
    if (m_placement != 0) {
        const POINT corner = Cxx::Core::Utils::CalcWindowPosition(SIZE{width, height}, m_placement,
                                                                  &Cxx::Core::Utils::GetWorkAreaAndTaskbar);
        this->SetWindowPos(nullptr, corner.x, corner.y, width, height, placedFlags);
        return;
    }
    this->SetWindowPos(nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    this->CenterWindow();
}

template <class TBase>
LRESULT CWebBaseDlgImpl<TBase>::OnShowSized(UINT, WPARAM width, LPARAM height, bool&)
{
    ::KillTimer(this->Handle(), TimerId);
    this->ShowWindow(SW_HIDE);
    if (const HWND owner = this->GetParent()) {
        ::SetWindowPos(owner, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
    }
    if (m_secondBrowser) {
        m_secondBrowser->ShowWindow(SW_HIDE);
    }
    const int w = static_cast<int>(width);
    const int h = static_cast<int>(height);
    if (!CanShow(w, h)) {
        End(0);
        return 0;
    }
    m_shown.exchange(true);
    Place(w, h, SWP_NOACTIVATE | SWP_NOZORDER);
    m_mainBrowser->SetWindowPos(nullptr, 0, 0, w, h, 0);
    m_mainBrowser->ShowWindow(SW_SHOW);
    this->ShowWindow(SW_SHOW);
    return 0;
}

template <class TBase>
LRESULT CWebBaseDlgImpl<TBase>::OnShow(UINT, WPARAM, LPARAM, bool&)
{
    ::KillTimer(this->Handle(), TimerId);
    this->ShowWindow(SW_HIDE);
    if (m_secondBrowser) {
        m_secondBrowser->ShowWindow(SW_HIDE);
    }
    if (!m_initialised || !m_mainBrowser) {
        End(0);
        return 0;
    }
    m_shown.exchange(true);
    m_mainBrowser->ShowWindow(SW_SHOW);
    this->ShowWindow(SW_SHOW);
    return 0;
}

template <class TBase>
LRESULT CWebBaseDlgImpl<TBase>::OnCloseWithCode(UINT, WPARAM code, LPARAM, bool&)
{
    End(m_shown ? static_cast<int>(code) : WebDialogPageTimeout);
    return 0;
}

template <class TBase>
LRESULT CWebBaseDlgImpl<TBase>::OnSecondShowSized(UINT, WPARAM width, LPARAM height, bool&)
{
    if (m_shown) {
        return 0;
    }
    this->ShowWindow(SW_SHOW);
    const int w = static_cast<int>(width);
    const int h = static_cast<int>(height);
    if (!CanShow(w, h)) {
        End(0);
        return 0;
    }
    Place(w, h, SWP_NOACTIVATE);
    if (m_secondBrowser) {
        m_secondBrowser->SetWindowPos(nullptr, 0, 0, w, h, SWP_NOACTIVATE);
        m_secondBrowser->ShowWindow(SW_SHOW);
    }
    return 0;
}

template <class TBase>
LRESULT CWebBaseDlgImpl<TBase>::OnSecondShow(UINT, WPARAM, LPARAM, bool&)
{
    if (m_shown) {
        return 0;
    }
    this->ShowWindow(SW_SHOW);
    if (!m_initialised || !m_mainBrowser) {
        End(0);
        return 0;
    }
    if (m_secondBrowser) {
        m_secondBrowser->ShowWindow(SW_SHOW);
    }
    return 0;
}

template <class TBase>
LRESULT CWebBaseDlgImpl<TBase>::OnSecondClose(UINT, WPARAM, LPARAM, bool&)
{
    End(1);
    return 0;
}

template class CWebBaseDlgImpl<Cxx::GUI::Dialogs::CDialogImpl<CWebBaseModalDlg>>;
template class CWebBaseDlgImpl<Cxx::GUI::Dialogs::CModelessDlg<CWebBaseModelessDlg>>;

CWebBaseModelessDlg::CWebBaseModelessDlg(const std::wstring& pagePath, std::wstring secondPagePath, int placement,
                                         UINT timeoutMs)
    : CBase(pagePath, std::move(secondPagePath), placement, timeoutMs), m_serial(NextSerial())
{
    OpenDialogs()[m_serial] = this;
}

CWebBaseModelessDlg::CWebBaseModelessDlg(CLocalPageScope scope, std::wstring pageUrl, int placement, UINT timeoutMs)
    : CBase(std::move(scope), std::move(pageUrl), placement, timeoutMs), m_serial(NextSerial())
{
    OpenDialogs()[m_serial] = this;
}

CWebBaseModelessDlg::~CWebBaseModelessDlg()
{
    OpenDialogs().erase(m_serial);
}

void CWebBaseModelessDlg::EndIfOpen(std::uint64_t serial)
{
    const auto found = OpenDialogs().find(serial);
    if (found != OpenDialogs().end() && found->second->IsWindow()) {
        ::SendMessageW(found->second->Handle(), WM_WEBDLG_END, 0, 0);
    }
}

void CWebBaseModelessDlg::EndDialog(int result)
{
    if (IsOwnScriptCallRunning()) {
        m_pendingResult = result;
        ::SetTimer(Handle(), EndRetryTimerId, EndRetryMs, nullptr);
        return;
    }
    CBase::EndDialog(result);
}

LRESULT CWebBaseModelessDlg::OnTimer(UINT, WPARAM id, LPARAM, bool& handled)
{
    if (id != EndRetryTimerId) {
        handled = false;
        return 0;
    }
    ::KillTimer(Handle(), EndRetryTimerId);
    EndDialog(m_pendingResult);
    return 0;
}

} // namespace BrowserControl
