#pragma once

#include "cxx/gui/Com.h"

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <utility>
#include <vector>

namespace BrowserControl::JS {

// True while a page's call into that script object runs on this thread, nested message loops
// (process.executeAndWait, the download teardown) included.
bool IsScriptCallRunning(const IDispatch* object);

// The IDispatch of a script object, without type information: methods are found by exact,
// case-sensitive name and get DISPIDs 1, 2, 3 ... in the order they were added. DISPID 0
// with a result yields the object itself. Dispatch flags are ignored, so reading a method as
// a property runs it. The reference count starts at 0; the last Release deletes the object.
class CScriptObject : public Cxx::GUI::CDispatchObject {
public:
    // The object's name under window.external.
    virtual std::wstring GetName() const = 0;

    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                        UINT* argumentError) override;

protected:
    CScriptObject() = default;

    // The DISPID of a new method name.
    DISPID AddName(const wchar_t* name);
    // Runs method number id (from 1) of the object.
    virtual HRESULT CallMethod(DISPID id, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                               UINT* argumentError) = 0;

private:
    std::vector<std::pair<std::wstring, DISPID>> m_names;
};

// The base of every script object T: T's constructor adds its methods, each of the form
//   HRESULT Method(DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception, UINT* argumentError);
// where params holds the script's arguments last first (params may be null, result too).
template <class T>
class custom_object : public CScriptObject {
public:
    using CMethod = HRESULT (T::*)(DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*);

protected:
    void AddMethod(const wchar_t* name, CMethod method)
    {
        m_methods.push_back(method);
        AddName(name);
    }

private:
    HRESULT CallMethod(DISPID id, DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                       UINT* argumentError) override
    {
        return (static_cast<T*>(this)->*m_methods[static_cast<std::size_t>(id - 1)])(params, result, exception,
                                                                                     argumentError);
    }

    std::vector<CMethod> m_methods;
};

// The number of arguments of a call; absent DISPPARAMS hold none.
inline UINT ArgumentCount(const DISPPARAMS* params)
{
    return params ? params->cArgs : 0;
}

} // namespace BrowserControl::JS
