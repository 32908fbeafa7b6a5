#pragma once

#include "browsercontrol/js/CustomObject.h"
#include "installer/cpp_custominstaller/js/GASender.h"

#include <memory>
#include <string>

namespace CustomInstaller::Core::JS {

// The script object ga: the page's screen views and events. Both methods give no result, so
// the page calls them as statements; a refused call sends nothing.
class CGAJSObject final : public BrowserControl::JS::custom_object<CGAJSObject> {
public:
    // The sender may be null: every call then answers E_FAIL.
    explicit CGAJSObject(std::shared_ptr<GA::IGASender> sender);

    std::wstring GetName() const override { return L"ga"; }

    // (screen name), a non-empty text.
    HRESULT sendScreen(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);
    // (action, category, screen name [, value]): non-empty texts and an integer (numbers are
    // truncated toward zero); without a value the event carries none.
    HRESULT sendEvent(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);

private:
    const std::shared_ptr<GA::IGASender> m_sender;
};

} // namespace CustomInstaller::Core::JS
