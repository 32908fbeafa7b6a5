#pragma once

#include <cstdint>
#include <string>

namespace CustomInstaller::GA {

// The analytics of the installer page: its screen views and events.
class IGASender {
public:
    virtual ~IGASender() = default;
    // False, sending nothing, when the name is empty.
    virtual bool SendScreen(const std::wstring& screenName) = 0;
    // value -1: the event carries none. False, sending nothing, when a text is empty.
    virtual bool SendEvent(const std::wstring& action, const std::wstring& category, const std::wstring& screenName,
                           std::int64_t value) = 0;
};

// Through the process-wide analytics client, which takes its texts as UTF-8.
class CGASender final : public IGASender {
public:
    bool SendScreen(const std::wstring& screenName) override;
    bool SendEvent(const std::wstring& action, const std::wstring& category, const std::wstring& screenName,
                   std::int64_t value) override;
};

} // namespace CustomInstaller::GA
