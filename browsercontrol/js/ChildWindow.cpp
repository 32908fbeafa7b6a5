#include "browsercontrol/js/ChildWindow.h"

#include "browsercontrol/js/VariantArguments.h"

namespace BrowserControl::JS {

namespace {

bool EqualsIgnoringCase(const std::wstring& text, const wchar_t* word)
{
    return ::CompareStringOrdinal(text.c_str(), static_cast<int>(text.size()), word, -1, TRUE) == CSTR_EQUAL;
}

} // namespace

CChildWindow::CChildWindow(std::shared_ptr<IChildWindowCreator> creator) : m_creator(std::move(creator))
{
    AddMethod(L"createWindow", &CChildWindow::createWindow);
}

HRESULT CChildWindow::createWindow(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    if (!m_creator) {
        return E_FAIL;
    }
    if (ArgumentCount(params) != 3 || !result) {
        return E_INVALIDARG;
    }
    // Every argument must be a text: anything else would be read as one.
    std::wstring page;
    std::wstring second;
    std::wstring placement;
    if (!VariantToString(params->rgvarg[2], page) || !VariantToString(params->rgvarg[1], second) ||
        !VariantToString(params->rgvarg[0], placement) || page.empty() || placement.empty()) {
        return E_INVALIDARG;
    }
    bool tray = false;
    if (EqualsIgnoringCase(placement, L"Tray")) {
        tray = true;
    } else if (!EqualsIgnoringCase(placement, L"Center")) {
        return E_INVALIDARG;
    }
    return CVariant::Bool(m_creator->CreateChildWindow(page, tray)).CopyTo(result);
}

} // namespace BrowserControl::JS
