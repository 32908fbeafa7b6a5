#pragma once

#include <string>

namespace CustomInstaller::Core::CommandLine {

// The installer language of the user's Windows interface language.
std::wstring GetDefaultInstallerLanguage();

// The same for a given language id: traditional Chinese gives "zh-tw", the
// other languages go by their primary language; unknown ones give "en".
std::wstring GetInstallerLanguageFor(unsigned short languageId);

} // namespace CustomInstaller::Core::CommandLine
