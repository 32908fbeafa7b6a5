#pragma once

#include "browsercontrol/SecurityManager.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace BrowserControl::JS {

// Opens a further web window for a page.
class IChildWindowCreator {
public:
    virtual ~IChildWindowCreator() = default;
    // True when the window exists afterwards; tray puts it beside the taskbar, else centred.
    virtual bool CreateChildWindow(const std::wstring& page, bool tray) = 0;
};

// A modeless web dialog without an owner and with the usual time-out, which lives until its
// page closes it, the time-out ends it or its opener closes. Only pages of the opener's folder
// are opened, each by the FileUrl of its file, and the child trusts the opener's folder as the
// opener holds it. Use on the opener's thread.
class CChildCreator final : public IChildWindowCreator {
public:
    static constexpr unsigned PageTimeoutMs = 10000;

    explicit CChildCreator(CLocalPageScope openerScope) : m_openerScope(std::move(openerScope)) {}

    // False, opening nothing, for a page outside the opener's folder, and once CloseAll ran.
    bool CreateChildWindow(const std::wstring& page, bool tray) override;
    // Ends every child still open, and opens no more; the opener calls it when its window goes.
    void CloseAll();

private:
    const CLocalPageScope m_openerScope;
    std::vector<std::uint64_t> m_children;
    bool m_closed = false;
};

} // namespace BrowserControl::JS
