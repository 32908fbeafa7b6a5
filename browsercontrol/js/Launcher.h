#pragma once

#include "browsercontrol/js/CustomObject.h"

#include <string>

namespace BrowserControl::JS {

// The script object process: starts programs for the page. Both methods take (path, arguments)
// and answer, when asked, whether the process was created.
class CLauncher final : public custom_object<CLauncher> {
public:
    CLauncher();

    std::wstring GetName() const override { return L"process"; }

    HRESULT execute(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);
    // Waits for the process to end, serving the thread's windows and page calls meanwhile.
    HRESULT executeAndWait(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);

private:
    HRESULT Launch(DISPPARAMS* params, VARIANT* result, bool wait);
};

} // namespace BrowserControl::JS
