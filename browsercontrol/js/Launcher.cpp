#include "browsercontrol/js/Launcher.h"

#include "browsercontrol/js/VariantArguments.h"
#include "cxx/core/SystemUtils.h"
#include "cxx/gui/MessagePump.h"

namespace BrowserControl::JS {

CLauncher::CLauncher()
{
    AddMethod(L"execute", &CLauncher::execute);
    AddMethod(L"executeAndWait", &CLauncher::executeAndWait);
}

HRESULT CLauncher::execute(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    return Launch(params, result, false);
}

HRESULT CLauncher::executeAndWait(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    return Launch(params, result, true);
}

HRESULT CLauncher::Launch(DISPPARAMS* params, VARIANT* result, bool wait)
{
    if (ArgumentCount(params) != 2) {
        return E_INVALIDARG;
    }
    std::wstring path;
    std::wstring arguments;
    // A null arguments text counts as empty.
    if (!VariantToString(params->rgvarg[1], path) || params->rgvarg[0].vt != VT_BSTR) {
        return E_INVALIDARG;
    }
    VariantToString(params->rgvarg[0], arguments);
    // The path is quoted when it holds a blank, so that "C:\Program Files\..." cannot start
    // "C:\Program.exe"; empty arguments leave a trailing blank.
    Cxx::Core::CHandle process;
    if (!path.empty()) {
        process = Cxx::Core::Utils::StartProcess(path, arguments);
    }
    if (process && wait) {
        Cxx::GUI::CMessagePump().WaitFor(process.Get());
    }
    if (result) {
        CVariant::Bool(static_cast<bool>(process)).CopyTo(result);
    }
    return S_OK;
}

} // namespace BrowserControl::JS
