#pragma once

#include "browsercontrol/js/CustomObject.h"

#include <string>

namespace BrowserControl::JS {

// The version of the script bridge that the standard set reports.
inline constexpr const wchar_t* EngineVersion = L"3.2.0";

// The script object engine: tells the page the bridge's version.
class CEngine final : public custom_object<CEngine> {
public:
    explicit CEngine(std::wstring version);

    std::wstring GetName() const override { return L"engine"; }

    // No arguments; the version text (E_FAIL when it is empty).
    HRESULT version(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);

private:
    const std::wstring m_version;
};

} // namespace BrowserControl::JS
