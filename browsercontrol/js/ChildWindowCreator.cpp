#include "browsercontrol/js/ChildWindowCreator.h"

#include "browsercontrol/WebDialog.h"

#include <memory>

namespace BrowserControl::JS {

bool CChildCreator::CreateChildWindow(const std::wstring& page, bool tray)
{
    // A script that outlives its window (an unload handler) would open a child nothing closes.
    const std::wstring url = m_closed ? std::wstring() : m_openerScope.PageUrl(page.c_str());
    if (url.empty()) {
        return false;
    }
    auto child = std::make_unique<CWebBaseModelessDlg>(m_openerScope, url, tray ? 1 : 0, PageTimeoutMs);
    const std::uint64_t serial = child->Serial();
    if (!CWebBaseModelessDlg::Create(std::move(child))) {
        return false;
    }
    m_children.push_back(serial);
    return true;
}

void CChildCreator::CloseAll()
{
    m_closed = true;
    for (const std::uint64_t serial : std::exchange(m_children, {})) {
        CWebBaseModelessDlg::EndIfOpen(serial);
    }
}

} // namespace BrowserControl::JS
