#pragma once

#include <windows.h>

#include <mutex>
#include <optional>
#include <string>

namespace CustomInstaller {

// The running program's file name without its folder; empty when it cannot be read.
std::wstring GetModuleFileNameOnly();

// One Internet Explorer emulation value of the current user, set for the run
// and put back afterwards: a value that stood before is restored, a value the
// run created is deleted, and nothing is touched when the run wrote nothing.
class CBrowserEmulationValue {
public:
    static constexpr DWORD DocumentMode = 11000;

    explicit CBrowserEmulationValue(std::wstring valueName);
    CBrowserEmulationValue(const CBrowserEmulationValue&) = delete;
    CBrowserEmulationValue& operator=(const CBrowserEmulationValue&) = delete;

    // True when the value was written.
    bool Enable();
    // True when the value was put back; false also when Enable wrote nothing.
    bool Disable();

private:
    const std::wstring m_valueName;
    std::mutex m_lock;
    bool m_written = false;
    std::optional<DWORD> m_previous;
};

// The value named after the running program; failures are not reported.
void EnableBrowserEmulation();
void DisableBrowserEmulation();

} // namespace CustomInstaller
