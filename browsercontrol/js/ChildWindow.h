#pragma once

#include "browsercontrol/js/ChildWindowCreator.h"
#include "browsercontrol/js/CustomObject.h"

#include <memory>
#include <string>

namespace BrowserControl::JS {

// The script object childWindow: opens a further, modeless web window through its creator
// (which may be null: E_FAIL).
class CChildWindow final : public custom_object<CChildWindow> {
public:
    explicit CChildWindow(std::shared_ptr<IChildWindowCreator> creator);

    std::wstring GetName() const override { return L"childWindow"; }

    // (page, second page (unused), placement "Center" or "Tray" in any case); answers whether
    // the window exists.
    HRESULT createWindow(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);

private:
    const std::shared_ptr<IChildWindowCreator> m_creator;
};

} // namespace BrowserControl::JS
