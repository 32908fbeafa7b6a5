#include "browsercontrol/BrowserWindow.h"
#include "browsercontrol/SecurityManager.h"
#include "browsercontrol/SiteProxies.h"
#include "browsercontrol/tests/RecordingDispatch.h"
#include "browsercontrol/tests/StaThread.h"
#include "tests/support/FailingAllocations.h"

#include <gtest/gtest.h>

#include <exdispid.h>
#include <mshtmdid.h>

#include <filesystem>
#include <iterator>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace BrowserControl;
using BrowserControl::Tests::CApartment;
using BrowserControl::Tests::CRecordingDispatch;
using Cxx::Core::CComPtr;
using Cxx::GUI::CVariant;
using Cxx::GUI::QueryInterfaceOf;

namespace {

// A page folder that exists, as the unpacked installer page does.
class CPageFolder {
public:
    CPageFolder()
        : m_folder(std::filesystem::temp_directory_path() /
                   (L"kv-browserhost-" + std::to_wstring(::GetCurrentProcessId())))
    {
        std::filesystem::create_directories(m_folder / L"sub");
    }
    ~CPageFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    std::wstring Path(const std::wstring& name) const { return (m_folder / name).wstring(); }
    // file:///C:/.../name
    std::wstring Url(const std::wstring& name) const
    {
        std::wstring url = L"file:///" + Path(name);
        for (wchar_t& c : url) {
            c = c == L'\\' ? L'/' : c;
        }
        return url;
    }

private:
    std::filesystem::path m_folder;
};

// An inner client site whose UI handler, when it has one, records what reaches it.
class CRecordingSite final : public IOleClientSite, public IDocHostUIHandler {
public:
    explicit CRecordingSite(bool withHandler) : m_withHandler(withHandler) {}
    std::vector<std::string> calls;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleClientSite)) {
            return Cxx::GUI::HandOut(object, static_cast<IOleClientSite*>(this));
        }
        if (m_withHandler && IsEqualIID(iid, IID_IDocHostUIHandler)) {
            return Cxx::GUI::HandOut(object, static_cast<IDocHostUIHandler*>(this));
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP SaveObject() override { return Record("SaveObject"); }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return Record("GetMoniker"); }
    STDMETHODIMP GetContainer(IOleContainer**) override { return Record("GetContainer"); }
    STDMETHODIMP ShowObject() override { return Record("ShowObject"); }
    STDMETHODIMP OnShowWindow(BOOL) override { return Record("OnShowWindow"); }
    STDMETHODIMP RequestNewObjectLayout() override { return Record("RequestNewObjectLayout"); }

    STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override { return Record("ShowContextMenu"); }
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO*) override { return Record("GetHostInfo"); }
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override
    {
        return Record("ShowUI");
    }
    STDMETHODIMP HideUI() override { return Record("HideUI"); }
    STDMETHODIMP UpdateUI() override { return Record("UpdateUI"); }
    STDMETHODIMP EnableModeless(BOOL) override { return Record("EnableModeless"); }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return Record("OnDocWindowActivate"); }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return Record("OnFrameWindowActivate"); }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return Record("ResizeBorder"); }
    STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return Record("TranslateAccelerator"); }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR*, DWORD) override { return Record("GetOptionKeyPath"); }
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget**) override { return Record("GetDropTarget"); }
    STDMETHODIMP GetExternal(IDispatch**) override { return Record("GetExternal"); }
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR*) override { return Record("TranslateUrl"); }
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject**) override { return Record("FilterDataObject"); }

private:
    HRESULT Record(const char* name)
    {
        calls.push_back(name);
        return S_FALSE;
    }
    const bool m_withHandler;
};

HRESULT MapUrl(IInternetSecurityManager& manager, const std::wstring& url, DWORD& zone)
{
    zone = URLZONE_INVALID;
    return manager.MapUrlToZone(url.c_str(), &zone, 0);
}

HRESULT RunScriptPolicy(IInternetSecurityManager& manager, const std::wstring& url, DWORD& policy)
{
    policy = URLPOLICY_DISALLOW;
    return manager.ProcessUrlAction(url.c_str(), URLACTION_SCRIPT_RUN, reinterpret_cast<BYTE*>(&policy),
                                    sizeof(policy), nullptr, 0, 0, 0);
}

class BrowserHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_apartment.Entered());
        ASSERT_NE(m_parentWindow.Get(), nullptr);
    }

    CApartment m_apartment;
    CPageFolder m_page;
    Tests::CTestWindow m_parentWindow;
    const HWND m_parent = m_parentWindow.Get();
};

} // namespace

TEST_F(BrowserHost, OnlyFilesInThePageFolderBelongToThePage)
{
    const CLocalPageScope scope(m_page.Path(L"index.html"));
    const std::wstring root = m_page.Url(L"");
    const struct {
        std::wstring url;
        bool inside;
    } cases[] = {
        {m_page.Url(L"index.html"), true},
        {m_page.Url(L"sub/other.html?x=1#top"), true},
        {m_page.Path(L"sub\\other.html"), true},
        {L"FILE:" + root.substr(5) + L"Index.HTML", true},
        {m_page.Url(L"../outside.html"), false},
        {m_page.Url(L"sub/%2E%2E/%2E%2E/outside.html"), false},
        {root.substr(0, root.size() - 1) + L"-other/index.html", false},
        {L"http://127.0.0.1/index.html", false},
        {L"about:blank", false},
        {L"javascript:external.process", false},
        {L"file://server/share/index.html", false},
        {L"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(scope.Contains(c.url.c_str()), c.inside) << std::string(c.url.begin(), c.url.end());
    }
    EXPECT_TRUE(CLocalPageScope(m_page.Url(L"index.html")).Contains(m_page.Path(L"a.html").c_str()));
    // A URL that cannot be checked is foreign.
    const std::wstring page = m_page.Url(L"index.html");
    bool pageWithoutMemory = true;
    {
        const KvTest::CFailingAllocations noMemory;
        pageWithoutMemory = scope.Contains(page.c_str());
    }
    EXPECT_FALSE(pageWithoutMemory);
    EXPECT_FALSE(CLocalPageScope(L"http://127.0.0.1/index.html").Contains(L"http://127.0.0.1/index.html"));
}

TEST_F(BrowserHost, TheControlGetsThePolicyTheExternalObjectsAndNoContextMenu)
{
    auto objects = std::make_shared<JS::CJSObjectsSimpleContainer>();
    CComPtr<CRecordingDispatch> basewnd = CComPtr<CRecordingDispatch>::Attach(CRecordingDispatch::Create({}));
    objects->Add(L"basewnd", basewnd.Get());
    {
        CBrowserWindow browser(objects, m_page.Path(L"index.html"));
        ASSERT_TRUE(browser.Create(m_parent, RECT{0, 0, 300, 200}));
        ASSERT_NE(browser.GetWebBrowser(), nullptr);
        EXPECT_EQ(::GetParent(browser.Handle()), m_parent);

        auto object = QueryInterfaceOf<IOleObject>(browser.GetWebBrowser(), IID_IOleObject);
        CComPtr<IOleClientSite> site;
        ASSERT_EQ(object->GetClientSite(site.Put()), S_OK);

        // The browser shows no document of the page (this one cannot load pages), so its UI
        // handler hands out no window.external; the host's own is the page's objects.
        auto handler = QueryInterfaceOf<IDocHostUIHandler>(site.Get(), IID_IDocHostUIHandler);
        ASSERT_TRUE(handler);
        EXPECT_EQ(handler->ShowContextMenu(CONTEXT_MENU_DEFAULT, nullptr, nullptr, nullptr), S_OK);
        CComPtr<IDispatch> external;
        EXPECT_EQ(handler->GetExternal(external.Put()), S_FALSE);
        EXPECT_FALSE(external);
        const auto hostHandler =
            QueryInterfaceOf<IDocHostUIHandler>(Cxx::GUI::Ax::GetHost(browser.Handle()).Get(), IID_IDocHostUIHandler);
        ASSERT_TRUE(hostHandler);
        ASSERT_EQ(hostHandler->GetExternal(external.Put()), S_OK);
        LPOLESTR names[] = {const_cast<LPOLESTR>(L"basewnd")};
        DISPID id = -1;
        ASSERT_EQ(external->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
        EXPECT_EQ(id, 0);

        // The security manager, as the browser finds it.
        auto services = QueryInterfaceOf<IServiceProvider>(site.Get(), IID_IServiceProvider);
        ASSERT_TRUE(services);
        CComPtr<IInternetSecurityManager> manager;
        ASSERT_EQ(services->QueryService(SID_SInternetSecurityManager, IID_IInternetSecurityManager,
                                         manager.PutVoid()),
                  S_OK);
        DWORD value = 0;
        EXPECT_EQ(MapUrl(*manager.Get(), m_page.Url(L"index.html"), value), S_OK);
        EXPECT_EQ(value, static_cast<DWORD>(URLZONE_TRUSTED));
        EXPECT_EQ(RunScriptPolicy(*manager.Get(), m_page.Url(L"sub/x.html"), value), S_OK);
        EXPECT_EQ(value, static_cast<DWORD>(URLPOLICY_ALLOW));
        for (const std::wstring& foreign : {m_page.Url(L"../x.html"), std::wstring(L"http://127.0.0.1/")}) {
            EXPECT_EQ(MapUrl(*manager.Get(), foreign, value), INET_E_DEFAULT_ACTION);
            EXPECT_EQ(RunScriptPolicy(*manager.Get(), foreign, value), INET_E_DEFAULT_ACTION);
        }
        EXPECT_EQ(manager->ProcessUrlAction(m_page.Url(L"index.html").c_str(), URLACTION_ACTIVEX_RUN,
                                            reinterpret_cast<BYTE*>(&value), sizeof(value), nullptr, 0, 0, 0),
                  INET_E_DEFAULT_ACTION);

        // Download control, from the site and through the host's ambient properties alike.
        for (IUnknown* ambientSource : {static_cast<IUnknown*>(site.Get()),
                                        static_cast<IUnknown*>(Cxx::GUI::Ax::GetHost(browser.Handle()).Get())}) {
            auto ambient = QueryInterfaceOf<IDispatch>(ambientSource, IID_IDispatch);
            ASSERT_TRUE(ambient);
            DISPPARAMS none{};
            CVariant control;
            ASSERT_EQ(ambient->Invoke(DISPID_AMBIENT_DLCONTROL, IID_NULL, 0, DISPATCH_PROPERTYGET, &none,
                                      control.Put(), nullptr, nullptr),
                      S_OK);
            EXPECT_EQ(control.Get().vt, VT_I4);
            EXPECT_EQ(control.Get().lVal, DLCTL_DLIMAGES);
        }

        EXPECT_EQ(::CoInternetIsFeatureEnabled(FEATURE_WEBOC_POPUPMANAGEMENT, GET_FEATURE_FROM_PROCESS), S_FALSE);
        EXPECT_EQ(::CoInternetIsFeatureEnabled(FEATURE_SSLUX, GET_FEATURE_FROM_PROCESS), S_OK);
        EXPECT_EQ(::CoInternetIsFeatureEnabled(FEATURE_ZONE_ELEVATION, GET_FEATURE_FROM_PROCESS), S_FALSE);
        EXPECT_EQ(::CoInternetIsFeatureEnabled(FEATURE_DISABLE_NAVIGATION_SOUNDS, GET_FEATURE_FROM_PROCESS), S_OK);
    }
    // The window's end undid the wiring: nothing holds the page's objects any more.
    EXPECT_EQ(objects.use_count(), 1);
}

TEST_F(BrowserHost, NavigationsOutOfThePageFolderAndNewWindowsAreCancelled)
{
    CBrowserWindow browser(std::make_shared<JS::CJSObjectsSimpleContainer>(), m_page.Path(L"index.html"));
    ASSERT_TRUE(browser.Create(m_parent, RECT{0, 0, 300, 200}));
    // A handler that throws stops neither the control nor the handlers after it.
    Cxx::GUI::CEventConnection failing;
    ASSERT_EQ(failing.Connect(browser.GetWebBrowser(), DIID_DWebBrowserEvents2,
                              [](DISPID, DISPPARAMS*) { throw std::runtime_error("handler failed"); }),
              S_OK);
    // The control's own BeforeNavigate2, in order: a sink connected after the window's sees its answer.
    std::vector<VARIANT_BOOL> cancelled;
    Cxx::GUI::CEventConnection events;
    ASSERT_EQ(events.Connect(browser.GetWebBrowser(), DIID_DWebBrowserEvents2,
                             [&cancelled](DISPID id, DISPPARAMS* params) {
                                 if (id == DISPID_BEFORENAVIGATE2) {
                                     cancelled.push_back(*params->rgvarg[0].pboolVal);
                                 }
                             }),
              S_OK);
    // The control takes no further navigation while it loads one, so the page's own comes last.
    for (const std::wstring& target : {std::wstring(L"http://127.0.0.1:1/redirect"), m_page.Url(L"../index.html"),
                                       std::wstring(L"about:blank"), m_page.Url(L"sub/frame.html")}) {
        CVariant url = CVariant::String(target);
        CVariant none;
        browser.GetWebBrowser()->Navigate2(const_cast<VARIANT*>(&url.Get()), none.Put(), none.Put(), none.Put(),
                                           none.Put());
    }
    EXPECT_EQ(cancelled, (std::vector<VARIANT_BOOL>{VARIANT_TRUE, VARIANT_TRUE, VARIANT_TRUE, VARIANT_FALSE}));

    for (const auto& [id, count, cancelAt] : {std::tuple{DISPID_NEWWINDOW2, 2u, 0}, {DISPID_NEWWINDOW3, 5u, 3}}) {
        VARIANT_BOOL cancel = VARIANT_FALSE;
        VARIANT arguments[5] = {};
        arguments[cancelAt].vt = VT_BYREF | VT_BOOL;
        arguments[cancelAt].pboolVal = &cancel;
        DISPPARAMS params{arguments, nullptr, count, 0};
        browser.OnBrowserEvent(id, &params);
        EXPECT_EQ(cancel, VARIANT_TRUE) << id;
    }
}

// Neither a foreign page nor text that names a class ever reaches the control: the host is
// made from the control's own class, and the page loads only once the events are connected.
TEST_F(BrowserHost, APageOutsideALocalFolderMakesNoWindowAndLoadsNothing)
{
    for (const wchar_t* page : {L"https://anything/", L"http://127.0.0.1:1/index.html", L"about:blank",
                                L"Shell.Explorer.2", L"Scripting.FileSystemObject",
                                L"{8856F961-340A-11D0-A96B-00C04FD705A2}", L"\\\\server\\share\\index.html", L""}) {
        CBrowserWindow browser(std::make_shared<JS::CJSObjectsSimpleContainer>(), page);
        ::SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(browser.Create(m_parent, RECT{0, 0, 300, 200})) << page;
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << page;
        EXPECT_EQ(::GetWindow(m_parent, GW_CHILD), nullptr) << page;
        EXPECT_EQ(browser.GetWebBrowser(), nullptr) << page;
    }

    const std::wstring page = m_page.Url(L"index.html");
    CBrowserWindow browser(std::make_shared<JS::CJSObjectsSimpleContainer>(), page);
    ASSERT_TRUE(browser.Create(m_parent, RECT{0, 0, 300, 200}));
    ASSERT_NE(browser.GetWebBrowser(), nullptr);
    wchar_t text[MAX_PATH * 2] = {};
    ::GetWindowTextW(browser.Handle(), text, static_cast<int>(std::size(text)));
    EXPECT_EQ(std::wstring(text), page);
}

TEST(SiteProxies, ADocumentTheGateRefusesGetsNoExternalObject)
{
    CRecordingSite inner(true);
    bool ownDocument = false;
    int asked = 0;
    CComPtr<browser::COleClientSiteProxy> site(new browser::COleClientSiteProxy(&inner, [&] {
        ++asked;
        return ownDocument;
    }));
    CComPtr<IDocHostUIHandler> handler;
    ASSERT_EQ(site->QueryInterface(IID_IDocHostUIHandler, handler.PutVoid()), S_OK);
    IDispatch* external = reinterpret_cast<IDispatch*>(1);
    EXPECT_EQ(handler->GetExternal(&external), S_FALSE);
    EXPECT_EQ(external, nullptr);
    EXPECT_EQ(handler->GetExternal(nullptr), E_POINTER);
    EXPECT_TRUE(inner.calls.empty());

    ownDocument = true;
    EXPECT_EQ(handler->GetExternal(&external), S_FALSE);
    EXPECT_EQ(inner.calls, (std::vector<std::string>{"GetExternal"}));
    EXPECT_EQ(asked, 3);
}

TEST(SiteProxies, TheUIHandlerIsTheInnerOneButForTheContextMenu)
{
    CRecordingSite inner(true);
    CComPtr<browser::COleClientSiteProxy> site(new browser::COleClientSiteProxy(&inner));
    EXPECT_EQ(site->QueryInterface(IID_IDocHostUIHandler, nullptr), E_POINTER);
    CComPtr<IDocHostUIHandler> handler;
    HRESULT withoutMemory = S_OK;
    {
        const KvTest::CFailingAllocations noMemory;
        withoutMemory = site->QueryInterface(IID_IDocHostUIHandler, handler.PutVoid());
    }
    EXPECT_EQ(withoutMemory, E_OUTOFMEMORY);
    EXPECT_FALSE(handler);
    ASSERT_EQ(site->QueryInterface(IID_IDocHostUIHandler, handler.PutVoid()), S_OK);
    CComPtr<IDocHostUIHandler> again;
    ASSERT_EQ(site->QueryInterface(IID_IDocHostUIHandler, again.PutVoid()), S_OK);
    EXPECT_EQ(handler.Get(), again.Get());
    EXPECT_NE(handler.Get(), static_cast<IDocHostUIHandler*>(&inner));
    EXPECT_EQ(handler->QueryInterface(IID_IOleClientSite, again.PutVoid()), E_NOINTERFACE);

    EXPECT_EQ(handler->ShowContextMenu(0, nullptr, nullptr, nullptr), S_OK);
    handler->GetHostInfo(nullptr);
    handler->ShowUI(0, nullptr, nullptr, nullptr, nullptr);
    handler->HideUI();
    handler->UpdateUI();
    handler->EnableModeless(TRUE);
    handler->OnDocWindowActivate(TRUE);
    handler->OnFrameWindowActivate(TRUE);
    handler->ResizeBorder(nullptr, nullptr, TRUE);
    handler->TranslateAccelerator(nullptr, nullptr, 0);
    handler->GetOptionKeyPath(nullptr, 0);
    handler->GetDropTarget(nullptr, nullptr);
    handler->GetExternal(nullptr);
    handler->TranslateUrl(0, nullptr, nullptr);
    EXPECT_EQ(handler->FilterDataObject(nullptr, nullptr), S_FALSE);
    EXPECT_EQ(inner.calls, (std::vector<std::string>{"GetHostInfo", "ShowUI", "HideUI", "UpdateUI",
                                                     "EnableModeless", "OnDocWindowActivate",
                                                     "OnFrameWindowActivate", "ResizeBorder", "TranslateAccelerator",
                                                     "GetOptionKeyPath", "GetDropTarget", "GetExternal",
                                                     "TranslateUrl", "FilterDataObject"}));

    inner.calls.clear();
    EXPECT_EQ(site->ShowObject(), S_FALSE);
    EXPECT_EQ(site->TakeInner().Get(), static_cast<IOleClientSite*>(&inner));
    EXPECT_EQ(site->ShowObject(), E_FAIL);
    EXPECT_EQ(inner.calls, (std::vector<std::string>{"ShowObject"}));
}

TEST(SiteProxies, ASiteWithoutAUIHandlerOffersNone)
{
    CRecordingSite inner(false);
    CComPtr<browser::COleClientSiteProxy> site(new browser::COleClientSiteProxy(&inner));
    CComPtr<IDocHostUIHandler> handler;
    EXPECT_EQ(site->QueryInterface(IID_IDocHostUIHandler, handler.PutVoid()), E_NOINTERFACE);
    EXPECT_FALSE(handler);
}

