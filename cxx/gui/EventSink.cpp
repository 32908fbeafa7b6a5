#include "cxx/gui/EventSink.h"

#include "cxx/gui/Com.h"

#include <utility>

namespace Cxx::GUI {

class CEventConnection::CSink final : public IDispatch {
public:
    CSink(REFIID events, CHandler handler) : m_events(events), m_handler(std::move(handler)) {}

    void Drop() { m_handler = nullptr; }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (!object) {
            return E_POINTER;
        }
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, m_events)) {
            return HandOut(object, this);
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return m_references.Increment(); }
    STDMETHODIMP_(ULONG) Release() override
    {
        return m_references.Decrement([this] { delete this; });
    }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override
    {
        if (count) {
            *count = 0;
        }
        return E_NOTIMPL;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return GuardComCall([&] {
            if (m_handler) {
                // The handler may end the connection: it runs on a copy.
                const CHandler handler = m_handler;
                handler(id, params);
            }
            return S_OK;
        });
    }

private:
    ~CSink() = default;

    CReferenceCount m_references;
    const IID m_events;
    CHandler m_handler;
};

CEventConnection::CEventConnection() = default;

CEventConnection::~CEventConnection()
{
    Disconnect();
}

HRESULT CEventConnection::Connect(IUnknown* source, REFIID events, CHandler handler)
{
    Disconnect();
    if (!source) {
        return E_POINTER;
    }
    auto container = QueryInterfaceOf<IConnectionPointContainer>(source, IID_IConnectionPointContainer);
    if (!container) {
        return E_NOINTERFACE;
    }
    Core::CComPtr<IConnectionPoint> point;
    HRESULT hr = container->FindConnectionPoint(events, point.Put());
    if (FAILED(hr)) {
        return hr;
    }
    Core::CComPtr<CSink> sink(new CSink(events, std::move(handler)));
    DWORD cookie = 0;
    hr = point->Advise(sink.Get(), &cookie);
    if (FAILED(hr)) {
        return hr;
    }
    m_point = std::move(point);
    m_sink = std::move(sink);
    m_cookie = cookie;
    return S_OK;
}

void CEventConnection::Disconnect()
{
    if (m_cookie != 0) {
        m_point->Unadvise(m_cookie);
        m_cookie = 0;
    }
    if (m_sink) {
        m_sink->Drop();
    }
    m_sink.Reset();
    m_point.Reset();
}

} // namespace Cxx::GUI
