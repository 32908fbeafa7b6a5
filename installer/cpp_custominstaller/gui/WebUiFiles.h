#pragma once

#include "cxx/core/SystemUtils.h"

#include <windows.h>

#include <memory>
#include <string>

namespace CustomInstaller::Gui {

// The unpacked installer page: a folder made for one run, removed with
// everything in it when the holder goes.
class CWebUiFiles {
public:
    explicit CWebUiFiles(std::wstring folder);
    ~CWebUiFiles();
    CWebUiFiles(const CWebUiFiles&) = delete;
    CWebUiFiles& operator=(const CWebUiFiles&) = delete;

    // Without a trailing backslash. The page's browser trusts no other folder:
    // nobody but this run has written into it.
    const std::wstring& Folder() const { return m_folder; }
    // The page the window loads.
    std::wstring IndexPath() const;

private:
    std::wstring m_folder;
};

// Writes every file of the installer page, from the module's resources, into a
// new folder of the user's temporary folder. Null when any step failed; nothing
// is left behind then.
std::unique_ptr<CWebUiFiles> UnpackWebUi(HMODULE module = Cxx::Core::Utils::GetCurrentModuleHandle());

// Writes one resource of the module into a file that must not exist yet; false
// when there is no such resource or not all of it was written.
bool WriteResourceToFile(WORD id, LPCWSTR type, const std::wstring& path, HMODULE module);

} // namespace CustomInstaller::Gui
