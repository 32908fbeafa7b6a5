#include "browsercontrol/js/ChildWindowCreator.h"

#include "browsercontrol/WebDialog.h"

#include <memory>

namespace BrowserControl::JS {

bool CChildCreator::CreateChildWindow(const std::wstring& page, bool tray)
{
    return CWebBaseModelessDlg::Create(std::make_unique<CWebBaseModelessDlg>(page, std::wstring(), tray ? 1 : 0,
                                                                             PageTimeoutMs));
}

} // namespace BrowserControl::JS
