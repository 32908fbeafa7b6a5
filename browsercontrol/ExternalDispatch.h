#pragma once

#include "browsercontrol/js/JSObjects.h"
#include "cxx/gui/Com.h"

#include <windows.h>
#include <oaidl.h>

#include <memory>

namespace BrowserControl {

// The page's window.external: each object of the container is a property, its DISPID the
// object's index. Reading a property yields the object; names are case-sensitive. The
// reference count starts at 0; the last Release deletes the object.
class CExternalDispatch final : public Cxx::GUI::CDispatchObject {
public:
    explicit CExternalDispatch(std::shared_ptr<JS::CJSObjects> objects) : m_objects(std::move(objects)) {}

    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override;

private:
    ~CExternalDispatch() override = default;

    const std::shared_ptr<JS::CJSObjects> m_objects;
};

} // namespace BrowserControl
