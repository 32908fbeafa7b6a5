#pragma once

namespace CustomInstaller {

// The installer window's title and the file description of the product's NSIS setup: a second
// copy of the program finds the running one by it.
inline constexpr const wchar_t* SetupWindowTitle = L"Vellix PDF Pro Setup";

} // namespace CustomInstaller
