#include "cxx/gui/AxHost.h"
#include "cxx/gui/Com.h"
#include "tests/support/FailingAllocations.h"

#include <gtest/gtest.h>

#include <exdisp.h>
#include <mshtmdid.h>
#include <mshtmhst.h>
#include <olectl.h>

#include <string>
#include <utility>
#include <vector>

using Cxx::Core::CComPtr;
using Cxx::GUI::QueryInterfaceOf;
namespace Ax = Cxx::GUI::Ax;

namespace {

// {5E1F0C7A-3B52-4C1E-9D0A-6C2B9E7F4A11}
const CLSID kStandInClsid = {0x5e1f0c7a, 0x3b52, 0x4c1e, {0x9d, 0x0a, 0x6c, 0x2b, 0x9e, 0x7f, 0x4a, 0x11}};
constexpr wchar_t kStandInText[] = L"{5E1F0C7A-3B52-4C1E-9D0A-6C2B9E7F4A11}";

// A control that records what its container calls on it.
class CStandInControl final : public IOleObject, public IOleInPlaceObject {
public:
    std::vector<std::string> calls;
    CComPtr<IOleClientSite> site;
    HWND activatedIn = nullptr;
    RECT rects{};

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IOleObject)) {
            return Cxx::GUI::HandOut(object, static_cast<IOleObject*>(this));
        }
        if (IsEqualIID(iid, IID_IOleInPlaceObject)) {
            return Cxx::GUI::HandOut(object, static_cast<IOleInPlaceObject*>(this));
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override { return --references; }

    STDMETHODIMP SetClientSite(IOleClientSite* client) override
    {
        calls.push_back(client ? "SetClientSite" : "SetClientSite(null)");
        site = CComPtr<IOleClientSite>(client);
        return S_OK;
    }
    STDMETHODIMP GetClientSite(IOleClientSite**) override { return E_NOTIMPL; }
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP Close(DWORD) override
    {
        calls.push_back("Close");
        return S_OK;
    }
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite*, LONG, HWND parent, LPCRECT) override
    {
        calls.push_back(verb == OLEIVERB_INPLACEACTIVATE ? "DoVerb(inplace)" : "DoVerb");
        activatedIn = parent;
        return S_OK;
    }
    STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    STDMETHODIMP SetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHODIMP GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    STDMETHODIMP GetMiscStatus(DWORD, DWORD* status) override
    {
        *status = OLEMISC_SETCLIENTSITEFIRST;
        return S_OK;
    }
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    STDMETHODIMP GetWindow(HWND*) override { return E_NOTIMPL; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP InPlaceDeactivate() override
    {
        calls.push_back("InPlaceDeactivate");
        return S_OK;
    }
    STDMETHODIMP UIDeactivate() override { return S_OK; }
    STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT) override
    {
        rects = *position;
        return S_OK;
    }
    STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }

    ULONG references = 0;
};

// Hands out the one stand-in of the test.
class CFactory final : public IClassFactory {
public:
    explicit CFactory(CStandInControl& control) : m_control(control) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            return Cxx::GUI::HandOut(object, this);
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown*, REFIID iid, void** object) override
    {
        return m_control.QueryInterface(iid, object);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    CStandInControl& m_control;
};

class AxHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ASSERT_TRUE(SUCCEEDED(::CoRegisterClassObject(kStandInClsid, &m_factory, CLSCTX_INPROC_SERVER,
                                                      REGCLS_MULTIPLEUSE, &m_cookie)));
        ASSERT_TRUE(Ax::RegisterWindowClass());
    }
    void TearDown() override
    {
        if (m_window) {
            ::DestroyWindow(m_window);
        }
        ::CoRevokeClassObject(m_cookie);
        ::CoUninitialize();
    }
    HWND Create(const wchar_t* text)
    {
        m_window = ::CreateWindowExW(0, Ax::WindowClassName, text, WS_POPUP, 0, 0, 200, 100, nullptr, nullptr,
                                     nullptr, nullptr);
        return m_window;
    }

    CStandInControl m_control;
    CFactory m_factory{m_control};
    DWORD m_cookie = 0;
    HWND m_window = nullptr;
};

} // namespace

TEST_F(AxHost, HostsTheControlNamedByItsTextAndIsItsContainer)
{
    const HWND window = Create(kStandInText);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(m_control.calls, (std::vector<std::string>{"SetClientSite", "DoVerb(inplace)"}));
    EXPECT_EQ(m_control.activatedIn, window);
    const auto host = Ax::GetHost(window);
    ASSERT_TRUE(host);
    CComPtr<IUnknown> control;
    ASSERT_EQ(host->GetControl(control.Put()), S_OK);
    EXPECT_EQ(control.Get(), static_cast<IUnknown*>(static_cast<IOleObject*>(&m_control)));

    // The site is the in-place site and frame, in the host window.
    ASSERT_TRUE(m_control.site);
    auto inPlace = QueryInterfaceOf<IOleInPlaceSite>(m_control.site.Get(), IID_IOleInPlaceSite);
    ASSERT_TRUE(inPlace);
    HWND siteWindow = nullptr;
    EXPECT_EQ(inPlace->GetWindow(&siteWindow), S_OK);
    EXPECT_EQ(siteWindow, window);
    CComPtr<IOleInPlaceFrame> frame;
    CComPtr<IOleInPlaceUIWindow> document;
    RECT position{};
    RECT clip{};
    OLEINPLACEFRAMEINFO info{sizeof(info)};
    ASSERT_EQ(inPlace->GetWindowContext(frame.Put(), document.Put(), &position, &clip, &info), S_OK);
    EXPECT_TRUE(frame);
    EXPECT_EQ(position.right, 200);
    EXPECT_EQ(position.bottom, 100);

    // Resizing the window resizes the control.
    ::SetWindowPos(window, nullptr, 0, 0, 300, 120, SWP_NOZORDER | SWP_NOMOVE);
    EXPECT_EQ(m_control.rects.right, 300);
    EXPECT_EQ(m_control.rects.bottom, 120);

    control.Reset();
    m_window = nullptr;
    ::DestroyWindow(window);
    EXPECT_EQ(m_control.calls, (std::vector<std::string>{"SetClientSite", "DoVerb(inplace)", "InPlaceDeactivate",
                                                         "Close", "SetClientSite(null)"}));
    EXPECT_EQ(m_control.references, 0u);
}

TEST_F(AxHost, ServesTheExternalObjectAndAmbientProperties)
{
    ASSERT_NE(Create(kStandInText), nullptr);
    const auto host = Ax::GetHost(m_window);
    auto handler = QueryInterfaceOf<IDocHostUIHandler>(m_control.site.Get(), IID_IDocHostUIHandler);
    ASSERT_TRUE(handler);
    CComPtr<IDispatch> external;
    EXPECT_EQ(handler->GetExternal(external.Put()), S_FALSE);
    EXPECT_FALSE(external);

    // Any dispatch serves as the external object here: the site's own ambient dispatch.
    auto ambient = QueryInterfaceOf<IDispatch>(m_control.site.Get(), IID_IDispatch);
    ASSERT_TRUE(ambient);
    ASSERT_EQ(host->SetExternalDispatch(ambient.Get()), S_OK);
    EXPECT_EQ(handler->GetExternal(external.Put()), S_OK);
    EXPECT_EQ(external.Get(), ambient.Get());
    DOCHOSTUIINFO info{sizeof(info)};
    ASSERT_EQ(handler->GetHostInfo(&info), S_OK);
    EXPECT_EQ(info.dwFlags, static_cast<DWORD>(DOCHOSTUIFLAG_NO3DBORDER));

    DISPPARAMS none{};
    Cxx::GUI::CVariant value;
    ASSERT_EQ(ambient->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, value.Put(),
                              nullptr, nullptr),
              S_OK);
    EXPECT_EQ(value.Get().vt, VT_BOOL);
    EXPECT_EQ(value.Get().boolVal, VARIANT_TRUE);
    EXPECT_EQ(ambient->Invoke(DISPID_AMBIENT_DLCONTROL, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, value.Put(),
                              nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    host->SetExternalDispatch(nullptr);
}

TEST_F(AxHost, OpensAnyOtherTextInAWebBrowserAndFailsWithoutAControl)
{
    ASSERT_NE(Create(L"C:\\nowhere\\index.html"), nullptr);
    CComPtr<IUnknown> control;
    ASSERT_EQ(Ax::GetHost(m_window)->GetControl(control.Put()), S_OK);
    EXPECT_TRUE(QueryInterfaceOf<IWebBrowser2>(control.Get(), IID_IWebBrowser2));
    ::DestroyWindow(std::exchange(m_window, nullptr));

    EXPECT_EQ(Create(L"{00000000-0000-0000-0000-0000000000AA}"), nullptr);
    EXPECT_EQ(Create(L""), nullptr);

    // A host that cannot be made fails the creation.
    HWND withoutMemory = nullptr;
    {
        const KvTest::CFailingAllocations noMemory;
        withoutMemory = Create(kStandInText);
    }
    EXPECT_EQ(withoutMemory, nullptr);
    EXPECT_TRUE(m_control.calls.empty());
}
