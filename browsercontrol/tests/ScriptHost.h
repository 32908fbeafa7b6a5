#pragma once

#include "cxx/core/Handle.h"
#include "cxx/gui/Com.h"

#include <windows.h>
#include <activscp.h>

#include <memory>
#include <string>

namespace BrowserControl::JS {
class CJSObjects;
}

namespace BrowserControl::Tests {

// Runs real JScript (the system's script engine) against the program's IDispatch objects, as
// a page does: arguments arrive last first, numbers with a fraction as VT_R8, and a call
// written as a statement passes no result VARIANT while "var r = o.f()" passes one.
// Use on a thread in a single-threaded apartment.
class CScriptHost {
public:
    CScriptHost();
    ~CScriptHost();
    CScriptHost(const CScriptHost&) = delete;
    CScriptHost& operator=(const CScriptHost&) = delete;

    // False when the engine is not there.
    bool Ready() const { return static_cast<bool>(m_parse); }
    // The object becomes a global of the scripts under the name (for a page: "external").
    bool AddNamedItem(const std::wstring& name, IDispatch* object);
    // The scripts get window.external over the objects, as a page does.
    bool AddExternal(const std::shared_ptr<JS::CJSObjects>& objects);
    // S_OK, or the code of the script error it raised (also in ErrorCode).
    HRESULT Run(const std::wstring& script);
    // The code and description of the last script error; S_OK and empty after a clean run.
    HRESULT ErrorCode() const;
    std::wstring ErrorText() const;
    // The value of a global variable of the scripts; empty when there is none.
    Cxx::GUI::CVariant Global(const std::wstring& name);

private:
    class CSite;

    Cxx::Core::CComPtr<CSite> m_site;
    Cxx::Core::CComPtr<IActiveScript> m_engine;
    Cxx::Core::CComPtr<IActiveScriptParse> m_parse;
};

// A value as a test compares it: undefined, true, false, a number, or a text in quotes.
std::wstring Describe(const VARIANT& value);

// A text as a JScript string literal.
std::wstring ScriptText(const std::wstring& text);

} // namespace BrowserControl::Tests
