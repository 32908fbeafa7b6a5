#include "browsercontrol/BrowserWindow.h"
#include "browsercontrol/SecurityManager.h"
#include "browsercontrol/SiteProxies.h"
#include "browsercontrol/js/ChildWindowCreator.h"
#include "browsercontrol/tests/RecordingDispatch.h"
#include "browsercontrol/tests/StaThread.h"
#include "browsercontrol/tests/WebDialogSupport.h"
#include "cxx/core/TextUtils.h"
#include "tests/support/FailingAllocations.h"

#include <gtest/gtest.h>

#include <exdispid.h>
#include <mshtmdid.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using namespace BrowserControl;
using BrowserControl::Tests::CApartment;
using BrowserControl::Tests::CNavigationTargets;
using BrowserControl::Tests::CRecordingDispatch;
using Cxx::Core::CComPtr;
using Cxx::GUI::CVariant;
using Cxx::GUI::QueryInterfaceOf;

namespace {

// A page folder that exists, as the unpacked installer page does, under the given name, with
// the files the tests name: index.html, x.html, sub\x.html, sub\next.html, sub\frame.html and
// index.html:stream (a stream of index.html on Windows, a file of that name under Wine).
class CPageFolder {
public:
    explicit CPageFolder(const std::wstring& name = L"")
        : m_folder(std::filesystem::temp_directory_path() /
                   (L"kv-browserhost-" + std::to_wstring(::GetCurrentProcessId())) / name)
    {
        std::filesystem::create_directories(m_folder / L"sub");
        for (const wchar_t* file :
             {L"index.html", L"x.html", L"sub\\x.html", L"sub\\next.html", L"sub\\frame.html", L"index.html:stream"}) {
            std::ofstream(m_folder / file) << "<html><body></body></html>";
        }
    }
    ~CPageFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    // Without a trailing backslash.
    std::wstring Root() const { return m_folder.wstring(); }
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

// A path as a file: URL, its letters raw or, given hex digits, every blank, '#', '%' and letter
// outside ASCII in escapes of its bytes in the code page.
std::wstring UrlOf(const std::wstring& path, const char* hexDigits = nullptr, unsigned codePage = CP_UTF8)
{
    std::wstring url = L"file:///";
    if (!hexDigits) {
        url += path;
    }
    for (const unsigned char byte : hexDigits ? Cxx::Core::Utils::WideToCodePage(path, codePage) : std::string()) {
        if (byte > 0x20 && byte < 0x80 && byte != '#' && byte != '%') {
            url += static_cast<wchar_t>(byte);
        } else {
            url += {L'%', static_cast<wchar_t>(hexDigits[byte >> 4]), static_cast<wchar_t>(hexDigits[byte & 15])};
        }
    }
    std::replace(url.begin(), url.end(), L'\\', L'/');
    return url;
}

std::wstring Upper(std::wstring text)
{
    ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// Fires one of the control's events at the window: (window, URL, ..., cancel), count
// arguments in all, the cancel flag last unless there are only two. Answers the flag.
VARIANT_BOOL Fire(CBrowserWindow& browser, DISPID id, UINT count, IDispatch* window, const std::wstring& url)
{
    VARIANT_BOOL cancel = VARIANT_FALSE;
    const CVariant text = CVariant::String(url);
    std::vector<VARIANT> arguments(count);
    arguments[count - 1].vt = VT_DISPATCH;
    arguments[count - 1].pdispVal = window;
    arguments[count - 2] = text.Get();
    if (count > 2) {
        arguments[0].vt = VT_BYREF | VT_BOOL;
        arguments[0].pboolVal = &cancel;
    }
    DISPPARAMS params{arguments.data(), nullptr, count, 0};
    browser.OnBrowserEvent(id, &params);
    return cancel;
}

// The real control reporting the location the test gives, as a control that has not set its
// own yet would, while the object lives: its get_LocationURL entry is swapped in a copy of its
// IWebBrowser2 table.
class CReportedLocation {
public:
    explicit CReportedLocation(IWebBrowser2* control)
        : m_object(reinterpret_cast<void**>(control)), m_original(*m_object)
    {
        const auto* original = static_cast<void* const*>(m_original);
        std::copy(original, original + std::size(m_table), m_table);
        m_table[LocationSlot] = reinterpret_cast<void*>(&Location);
        *m_object = m_table;
    }
    ~CReportedLocation() { *m_object = m_original; }

    static inline std::wstring reported;

private:
    // IUnknown's 3 and IDispatch's 4, then IWebBrowser's from GoBack to get_LocationURL.
    static constexpr std::size_t LocationSlot = 30;

    static HRESULT STDMETHODCALLTYPE Location(IWebBrowser2*, BSTR* location)
    {
        *location = ::SysAllocString(reported.c_str());
        return reported.empty() ? S_FALSE : S_OK;
    }

    void** const m_object;
    void* const m_original;
    // IWebBrowser2's 71 entries.
    void* m_table[71];
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

namespace {

struct CUserName {
    const char* label;
    std::wstring name, inUrl, twin;
};

void PrintTo(const CUserName& user, std::ostream* os)
{
    *os << user.label;
}

class BrowserHostUserName : public BrowserHost, public ::testing::WithParamInterface<CUserName> {
};

} // namespace

INSTANTIATE_TEST_SUITE_P(
    Names, BrowserHostUserName,
    ::testing::Values(CUserName{"Latin", L"Jürgen Groß", L"Jürgen%20Groß", L""}, CUserName{"Cyrillic", L"Иван", L"Иван", L""},
                      CUserName{"Kanji", L"山田", L"山田", L""}, CUserName{"Hash", L"a#b", L"a%23b", L""},
                      CUserName{"Percent", L"dead%beef", L"dead%25beef", L""},
                      CUserName{"EscapeWithTwin", L"a%41b", L"a%2541b", L"aAb"},
                      CUserName{"Punctuation", L"a&b [1]^{2}`(~!$'+,;=@)",
                                L"a%26b%20%5B1%5D%5E%7B2%7D%60(~!$'+,;=@)", L""}),
    [](const auto& info) { return std::string(info.param.label); });

// The page folder lies in the user's profile: its path holds the user's name, which the URL of
// the page and of a child's page spell as given here. The control may report a file of it in any
// of these spellings; the folder rule, the navigation check and createWindow answer alike. Where
// the name's escape, decoded, names a folder that exists (its twin), a text that holds the name
// as it stands reads two ways, one of them elsewhere: it is foreign.
TEST_P(BrowserHostUserName, EverySpellingOfAFileInThePageFolderBelongsToThePageAndNoOtherFile)
{
    constexpr char upperHex[] = "0123456789ABCDEF";
    constexpr char lowerHex[] = "0123456789abcdef";
    const auto& [label, name, inUrl, twin] = GetParam();
    const CPageFolder folder(name);
    const std::wstring root = folder.Root();
    wchar_t shortRoot[MAX_PATH] = {};
    ASSERT_GT(::GetShortPathNameW(root.c_str(), shortRoot, MAX_PATH), 0u);
    ASSERT_NE(std::wstring(shortRoot), root);
    const bool inCodePage = Cxx::Core::Utils::CodePageToWide(Cxx::Core::Utils::WideToCodePage(root, CP_ACP),
                                                             CP_ACP) == root;
    struct Case {
        std::wstring url;
        bool inside;
    };
    std::vector<Case> cases = {
        {UrlOf(root + L"\\index.html"), true},
        {L"file://" + UrlOf(root + L"\\sub\\x.html").substr(8), true},
        {L"file://localhost/" + UrlOf(root + L"\\sub\\x.html", lowerHex).substr(8), true},
        {L"file://" + root + L"\\index.html", true},
        {L"file://" + std::wstring(shortRoot) + L"\\sub\\x.html", true},
        {UrlOf(root + L"\\index.html", upperHex, CP_ACP), inCodePage},
        // A URL's query and fragment go, but a reading of the whole as a path may not leave by them.
        {UrlOf(root + L"\\sub\\x.html", upperHex) + L"?x=1#top", true},
        {UrlOf(root + L"\\..\\evil\\x.html") + L"?/../../" + name + L"/index.html", false},
        {L"file://" + root + L"\\x.html#\\..\\..\\x.html", false},
        {UrlOf(Upper(root) + L"\\INDEX.HTML", lowerHex), true},
        {root + L"\\sub\\x.html", true},
        {Upper(root) + L"/index.html", true},
        {std::wstring(shortRoot) + L"\\index.html", true},
        {UrlOf(std::wstring(shortRoot) + L"\\sub\\x.html"), true},
        {UrlOf(root + L"\\sub\\..\\index.html"), true},
        // Below the folder an escape would read two ways: raw in the legacy spelling.
        {UrlOf(root + L"\\sub", upperHex) + L"/%2E%2E/index.html", false},
        {UrlOf(root + L"\\..\\index.html"), false},
        {UrlOf(root + L"\\sub", upperHex) + L"/%2E%2E/%2E%2E/index.html", false},
        {UrlOf(root + L"\\sub") + L"%2F..%2F..%2Fx.html", false},
        {UrlOf(root + L"-other\\index.html"), false},
        {root + L"\\..\\x.html", false},
        {UrlOf(root + L"\\index.html", upperHex).substr(8), false},
        {UrlOf(root + L"\\index.html") + L"%00/../../other/x.html", false},
        {UrlOf(root + L"\\sub") + L"%0A/x.html", false},
        {UrlOf(root) + L"/%FF.html", false},
        // Only a file that exists counts: not the folder or one below it, nor a missing file,
        // for which the control may try the path cut at a '#' of the folder's.
        {root + L"\\", false},
        {UrlOf(root + L"\\sub"), false},
        {UrlOf(root + L"\\sub\\missing.html"), false},
        {L"file://" + root + L"\\missing.html", false},
        // No '%' in a query, no stream, no control character below the folder.
        {UrlOf(root + L"\\index.html") + L"?%2F..%2F..%2Fother.html", false},
        {root + L"\\index.html:stream", false},
        {UrlOf(root + L"\\index.html:stream"), false},
        {root + L"\\sub\x01\\..\\index.html", false},
        {UrlOf(root + L"\\index.html") + L"#\x7F", false},
        {L"file://server/share/index.html", false},
        {L"http://127.0.0.1/index.html", false},
        {L"about:blank", false},
        {L"javascript:external.process", false},
    };
    // No file name holds these: read up to one of them, the path names a file out of the folder.
    for (const wchar_t c : std::wstring(L"?*\"<>|#")) {
        cases.push_back({root + L"\\..\\x.html" + c + L"\\..\\" + name + L"\\index.html", false});
    }
    const std::wstring page = root + L"\\index.html";
    const CLocalPageScope scope(page);
    CBrowserWindow browser(std::make_shared<JS::CJSObjectsSimpleContainer>(), scope, FileUrl(page));
    JS::CChildCreator creator(scope);
    {
        const CNavigationTargets asked;
        ASSERT_TRUE(browser.Create(m_parent, RECT{0, 0, 300, 200}));
        EXPECT_TRUE(creator.CreateChildWindow(root + L"\\sub\\x.html", false));
        std::wstring folderUrl = L"file:///" + root.substr(0, root.size() - name.size()) + inUrl;
        std::replace(folderUrl.begin(), folderUrl.end(), L'\\', L'/');
        EXPECT_EQ(asked.targets,
                  (std::vector<std::wstring>{folderUrl + L"/index.html", folderUrl + L"/sub/x.html"}));
    }
    {
        // Made only now: Wine's control reports the page's URL decoded once and then decodes
        // it again, so with the twin the window's own navigation reads two ways as well.
        const auto twinFolder = twin.empty() ? nullptr : std::make_unique<CPageFolder>(twin);
        for (const auto& c : cases) {
            const std::string shown = Cxx::Core::Utils::WideToUtf8String(c.url);
            const bool twoWays = twinFolder && Upper(c.url).find(Upper(name)) != std::wstring::npos;
            const bool inside = c.inside && !twoWays;
            EXPECT_EQ(scope.Contains(c.url.c_str()), inside) << shown;
            EXPECT_EQ(Fire(browser, DISPID_BEFORENAVIGATE2, 7, browser.GetWebBrowser(), c.url),
                      inside ? VARIANT_FALSE : VARIANT_TRUE)
                << shown;
            EXPECT_EQ(creator.CreateChildWindow(c.url, false), inside) << shown;
        }
    }
    creator.CloseAll();
    const CLocalPageScope shortScope(std::wstring(shortRoot) + L"\\index.html");
    EXPECT_TRUE(shortScope.Contains((root + L"\\sub\\x.html").c_str()));
    EXPECT_FALSE(shortScope.Contains(UrlOf(root + L"-other\\x.html").c_str()));
    // The folder is never read out of a URL.
    EXPECT_FALSE(CLocalPageScope(UrlOf(page, upperHex)).Contains((root + L"\\sub\\x.html").c_str()));
    // Short above, long below: the control may report the page as it was given.
    const std::wstring mixed = std::wstring(shortRoot).substr(0, std::wstring(shortRoot).rfind(L'\\') + 1) + name;
    EXPECT_TRUE(CLocalPageScope(mixed + L"\\index.html").Contains(UrlOf(mixed + L"\\x.html").c_str()));
}

TEST_F(BrowserHost, AUrlThatCannotBeCheckedIsForeign)
{
    const std::wstring page = m_page.Url(L"index.html");
    const CLocalPageScope scope(m_page.Path(L"index.html"));
    bool pageWithoutMemory = true;
    {
        const KvTest::CFailingAllocations noMemory;
        pageWithoutMemory = scope.Contains(page.c_str());
    }
    EXPECT_FALSE(pageWithoutMemory);
    EXPECT_FALSE(CLocalPageScope(L"http://127.0.0.1/index.html").Contains(L"http://127.0.0.1/index.html"));
}

TEST_F(BrowserHost, TheControlGetsThePolicyTheExternalObjectsAndNoContextMenuOnEveryRoad)
{
    auto objects = std::make_shared<JS::CJSObjectsSimpleContainer>();
    CComPtr<CRecordingDispatch> basewnd = CComPtr<CRecordingDispatch>::Attach(CRecordingDispatch::Create({}));
    objects->Add(L"basewnd", basewnd.Get());
    {
        CBrowserWindow browser(objects, CLocalPageScope(m_page.Path(L"index.html")), m_page.Url(L"index.html"));
        ASSERT_TRUE(browser.Create(m_parent, RECT{0, 0, 300, 200}));
        ASSERT_NE(browser.GetWebBrowser(), nullptr);
        EXPECT_EQ(::GetParent(browser.Handle()), m_parent);

        auto object = QueryInterfaceOf<IOleObject>(browser.GetWebBrowser(), IID_IOleObject);
        CComPtr<IOleClientSite> site;
        ASSERT_EQ(object->GetClientSite(site.Put()), S_OK);

        // Every road by which the control may ask for the UI handler leads to the one that
        // gates window.external and shows no menu: the site, and the host's in-place site,
        // window, services and ambient properties behind it.
        const auto host = Cxx::GUI::Ax::GetHost(browser.Handle());
        std::vector<CComPtr<IDocHostUIHandler>> handlers;
        for (const auto& road :
             {CComPtr<IUnknown>(site.Get()), QueryInterfaceOf<IUnknown>(site.Get(), IID_IOleInPlaceSite),
              QueryInterfaceOf<IUnknown>(site.Get(), IID_IOleWindow),
              QueryInterfaceOf<IUnknown>(site.Get(), IID_IServiceProvider),
              QueryInterfaceOf<IUnknown>(site.Get(), IID_IDispatch), CComPtr<IUnknown>(host.Get())}) {
            ASSERT_TRUE(road);
            handlers.push_back(QueryInterfaceOf<IDocHostUIHandler>(road.Get(), IID_IDocHostUIHandler));
            ASSERT_TRUE(handlers.back());
            EXPECT_EQ(handlers.back()->ShowContextMenu(CONTEXT_MENU_DEFAULT, nullptr, nullptr, nullptr), S_OK);
        }
        const auto externals = [&handlers] {
            std::vector<HRESULT> answers;
            for (const auto& handler : handlers) {
                CComPtr<IDispatch> external;
                answers.push_back(handler->GetExternal(external.Put()));
                EXPECT_EQ(answers.back() == S_OK, static_cast<bool>(external));
            }
            return answers;
        };
        const std::vector<HRESULT> given(handlers.size(), S_OK);
        const std::vector<HRESULT> refused(handlers.size(), S_FALSE);
        // The control shows the page's own location (it cannot load the page: its first
        // navigation ended with an error at once).
        EXPECT_EQ(externals(), given);
        CComPtr<IDispatch> external;
        ASSERT_EQ(handlers[0]->GetExternal(external.Put()), S_OK);
        LPOLESTR names[] = {const_cast<LPOLESTR>(L"basewnd")};
        DISPID id = -1;
        ASSERT_EQ(external->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
        EXPECT_EQ(id, 0);
        {
            // A control that has not set its location yet shows the navigation the window let
            // through last, until its document is done; a foreign location is never the page's.
            IWebBrowser2* const control = browser.GetWebBrowser();
            const CReportedLocation location(control);
            CReportedLocation::reported = L"";
            EXPECT_EQ(externals(), refused);
            EXPECT_EQ(Fire(browser, DISPID_BEFORENAVIGATE2, 7, control, m_page.Url(L"index.html")), VARIANT_FALSE);
            for (const auto& [reported, answers] :
                 {std::pair{L"", given}, {L"about:blank", given}, {L"http://127.0.0.1/", refused}, {L"", given}}) {
                CReportedLocation::reported = reported;
                EXPECT_EQ(externals(), answers) << Cxx::Core::Utils::WideToUtf8String(reported);
            }
            // (event, argument count, window, URL, whether cancelled, answers afterwards)
            for (const auto& [event, count, window, url, cancelled, answers] :
                 {std::tuple{DISPID_DOCUMENTCOMPLETE, 2u, static_cast<IDispatch*>(basewnd.Get()), L"frame.html",
                             VARIANT_FALSE, given},
                  {DISPID_DOCUMENTCOMPLETE, 2u, control, L"index.html", VARIANT_FALSE, refused},
                  {DISPID_BEFORENAVIGATE2, 7u, control, L"../x.html", VARIANT_TRUE, refused},
                  {DISPID_BEFORENAVIGATE2, 7u, control, L"sub/next.html", VARIANT_FALSE, given},
                  {DISPID_NAVIGATEERROR, 5u, control, L"sub/next.html", VARIANT_FALSE, refused},
                  {DISPID_BEFORENAVIGATE2, 7u, basewnd.Get(), L"sub/frame.html", VARIANT_FALSE, refused}}) {
                EXPECT_EQ(Fire(browser, event, count, window, m_page.Url(url)), cancelled) << event;
                EXPECT_EQ(externals(), answers) << event;
            }
        }
        EXPECT_EQ(externals(), given);

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
    CBrowserWindow browser(std::make_shared<JS::CJSObjectsSimpleContainer>(),
                           CLocalPageScope(m_page.Path(L"index.html")), m_page.Url(L"index.html"));
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
    // Once the page loads, the control takes navigations in turn.
    EXPECT_TRUE(Tests::PumpUntil([&cancelled] { return cancelled.size() == 4; }, 10000));
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
// made from the control's own class, and the page loads only once the events are connected
// (the gate's test sees the window check the first navigation).
TEST_F(BrowserHost, APageOutsideALocalFolderMakesNoWindowAndLoadsNothing)
{
    const CLocalPageScope scope(m_page.Path(L"index.html"));
    for (const wchar_t* page : {L"https://anything/", L"http://127.0.0.1:1/index.html", L"about:blank",
                                L"Shell.Explorer.2", L"Scripting.FileSystemObject",
                                L"{8856F961-340A-11D0-A96B-00C04FD705A2}", L"\\\\server\\share\\index.html", L""}) {
        CBrowserWindow browser(std::make_shared<JS::CJSObjectsSimpleContainer>(), scope, page);
        ::SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(browser.Create(m_parent, RECT{0, 0, 300, 200})) << page;
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED)) << page;
        EXPECT_EQ(::GetWindow(m_parent, GW_CHILD), nullptr) << page;
        EXPECT_EQ(browser.GetWebBrowser(), nullptr) << page;
    }

    // Even a page whose own text names a class in the registry gets the WebBrowser control.
    const std::wstring page = m_page.Url(L"index.html");
    ASSERT_EQ(::RegSetValueW(HKEY_CLASSES_ROOT, (page + L"\\CLSID").c_str(), REG_SZ,
                             L"{6B7E21D4-0F3A-4C55-9E21-3D4A5B6C7D80}", 0),
              ERROR_SUCCESS);
    CLSID named{};
    EXPECT_EQ(::CLSIDFromProgID(page.c_str(), &named), S_OK);
    CBrowserWindow browser(std::make_shared<JS::CJSObjectsSimpleContainer>(), scope, page);
    ::ShowWindow(m_parent, SW_SHOWNA);
    ::ValidateRect(m_parent, nullptr);
    const bool created = browser.Create(m_parent, RECT{0, 0, 300, 200});
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, page.c_str());
    ASSERT_TRUE(created);
    ASSERT_NE(browser.GetWebBrowser(), nullptr);
    // The window saw its page's first navigation: it failed here, and the dialog repaints.
    EXPECT_TRUE(::GetUpdateRect(m_parent, nullptr, FALSE));
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
