#include "browsercontrol/js/ChildWindowCreator.h"

#include "browsercontrol/WebDialog.h"

#include <iterator>
#include <memory>

namespace BrowserControl::JS {

namespace {

bool IsFileUrl(const std::wstring& page)
{
    constexpr wchar_t kScheme[] = L"file:";
    constexpr int kLength = static_cast<int>(std::size(kScheme)) - 1;
    return page.size() >= kLength &&
           ::CompareStringOrdinal(page.c_str(), kLength, kScheme, kLength, TRUE) == CSTR_EQUAL;
}

} // namespace

bool CChildCreator::CreateChildWindow(const std::wstring& page, bool tray)
{
    if (!IsFileUrl(page) || !m_openerScope.Contains(page.c_str())) {
        return false;
    }
    auto child = std::make_unique<CWebBaseModelessDlg>(page, std::wstring(), tray ? 1 : 0, PageTimeoutMs);
    const std::uint64_t serial = child->Serial();
    if (!CWebBaseModelessDlg::Create(std::move(child))) {
        return false;
    }
    m_children.push_back(serial);
    return true;
}

void CChildCreator::CloseAll()
{
    for (const std::uint64_t serial : std::exchange(m_children, {})) {
        CWebBaseModelessDlg::EndIfOpen(serial);
    }
}

} // namespace BrowserControl::JS
