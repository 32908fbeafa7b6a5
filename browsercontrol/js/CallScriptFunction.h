#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

struct IWebBrowser2;

namespace BrowserControl {

// Calls a global function of the page shown by the browser, with no arguments.
// Answers the HRESULT of the first step that fails, else that of the call; a page
// without such a function answers the script engine's unknown-name error.
HRESULT CallScriptFunction(IWebBrowser2* browser, const std::wstring& name);

// The same from the page's document object (the browser's Document).
HRESULT CallScriptFunctionOfDocument(IDispatch* document, const std::wstring& name);

// The same on the page's window object, whose members are the page's globals.
HRESULT CallGlobalFunction(IDispatch* window, const std::wstring& name);

// Calls a method of a page object by name with the arguments (last first, none named), asking
// no result. S_FALSE, and nothing is called, when the object has no method of that name (the
// name is unknown, or it is the object's default member).
HRESULT CallMethodByName(IDispatch* object, const std::wstring& name, DISPPARAMS* arguments);

} // namespace BrowserControl
