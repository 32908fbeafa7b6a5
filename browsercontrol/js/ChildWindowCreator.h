#pragma once

#include <string>

namespace BrowserControl::JS {

// Opens a further web window for a page.
class IChildWindowCreator {
public:
    virtual ~IChildWindowCreator() = default;
    // True when the window exists afterwards; tray puts it beside the taskbar, else centred.
    virtual bool CreateChildWindow(const std::wstring& page, bool tray) = 0;
};

// A modeless web dialog without an owner and with the usual time-out, which lives until its
// page closes it (or the time-out ends it).
class CChildCreator final : public IChildWindowCreator {
public:
    static constexpr unsigned PageTimeoutMs = 10000;

    bool CreateChildWindow(const std::wstring& page, bool tray) override;
};

} // namespace BrowserControl::JS
