#pragma once

#include "browsercontrol/js/JSObjects.h"

#include <windows.h>
#include <oaidl.h>

#include <memory>

namespace BrowserControl {

// The page's window.external: each object of the container is a property, its DISPID the
// object's index. Reading a property yields the object; names are case-sensitive. The
// reference count starts at 0; the last Release deletes the object.
class CExternalDispatch final : public IDispatch {
public:
    explicit CExternalDispatch(std::shared_ptr<JS::CJSObjects> objects) : m_objects(std::move(objects)) {}
    CExternalDispatch(const CExternalDispatch&) = delete;
    CExternalDispatch& operator=(const CExternalDispatch&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override;

private:
    ~CExternalDispatch() = default;

    LONG m_references = 0;
    const std::shared_ptr<JS::CJSObjects> m_objects;
};

} // namespace BrowserControl
