#include "browsercontrol/js/ChildWindowCreator.h"

#include "browsercontrol/WebDialog.h"

#include <memory>

namespace BrowserControl::JS {

bool CChildCreator::CreateChildWindow(const std::wstring& page, bool tray)
{
    // A script that outlives its window (an unload handler) would open a child nothing closes.
    if (m_closed || !m_openerScope.Contains(page.c_str())) {
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
    m_closed = true;
    for (const std::uint64_t serial : std::exchange(m_children, {})) {
        CWebBaseModelessDlg::EndIfOpen(serial);
    }
}

} // namespace BrowserControl::JS
