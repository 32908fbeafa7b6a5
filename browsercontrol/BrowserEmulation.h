#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace BrowserControl {

// Which hive holds the Internet Explorer emulation values.
enum EEmulationHive {
    EH_CurrentUser = 0,
    EH_LocalMachine = 1,
};

// Writes the document-mode emulation value (REG_DWORD, for example 11000) named after an
// executable's file name, creating the key when needed; view32 selects the 32-bit registry
// view. When previous is given it receives the value that stood there before, or nothing
// when there was none (the browser reads only REG_DWORD values, so another type counts as none).
// True when the key opened and the value was written.
bool SetBrowserEmulation(const std::wstring& valueName, DWORD value, EEmulationHive hive, bool view32,
                         std::optional<DWORD>* previous = nullptr);

// Deletes the value, or writes restore back when given (the value that stood there before
// SetBrowserEmulation). True when the key opened and the value was deleted or written.
bool ResetBrowserEmulation(const std::wstring& valueName, EEmulationHive hive, bool view32,
                           std::optional<DWORD> restore = std::nullopt);

} // namespace BrowserControl
