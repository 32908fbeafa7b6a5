#pragma once

#include "browsercontrol/SecurityManager.h"

#include <string>
#include <utility>

namespace BrowserControl::JS {

// Opens a further web window for a page.
class IChildWindowCreator {
public:
    virtual ~IChildWindowCreator() = default;
    // True when the window exists afterwards; tray puts it beside the taskbar, else centred.
    virtual bool CreateChildWindow(const std::wstring& page, bool tray) = 0;
};

// A modeless web dialog without an owner and with the usual time-out, which lives until its
// page closes it (or the time-out ends it). The child trusts the folder of its own page, so
// only pages of the opener's own folder are opened.
class CChildCreator final : public IChildWindowCreator {
public:
    static constexpr unsigned PageTimeoutMs = 10000;

    explicit CChildCreator(CLocalPageScope openerScope) : m_openerScope(std::move(openerScope)) {}

    // False, opening nothing, for a page that is no file: URL inside the opener's folder.
    bool CreateChildWindow(const std::wstring& page, bool tray) override;

private:
    const CLocalPageScope m_openerScope;
};

} // namespace BrowserControl::JS
