#pragma once

#include "cxx/core/Handle.h"

#include <windows.h>
#include <oaidl.h>
#include <ocidl.h>

#include <functional>

namespace Cxx::GUI {

// One connection of a dispatch event interface (such as DWebBrowserEvents2) of a source to a
// handler, which gets each event's DISPID and arguments. Disconnected on destruction; events
// that the source still fires afterwards reach nobody.
class CEventConnection {
public:
    using CHandler = std::function<void(DISPID id, DISPPARAMS* params)>;

    CEventConnection();
    CEventConnection(const CEventConnection&) = delete;
    CEventConnection& operator=(const CEventConnection&) = delete;
    ~CEventConnection();

    // The HRESULT of the first step that fails: finding the source's connection point, or
    // advising it. An earlier connection is ended first.
    HRESULT Connect(IUnknown* source, REFIID events, CHandler handler);
    void Disconnect();
    bool IsConnected() const { return m_cookie != 0; }

private:
    class CSink;

    Core::CComPtr<IConnectionPoint> m_point;
    Core::CComPtr<CSink> m_sink;
    DWORD m_cookie = 0;
};

} // namespace Cxx::GUI
