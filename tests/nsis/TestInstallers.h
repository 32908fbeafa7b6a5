#pragma once

#include "cxx/core/Handle.h"

#include <windows.h>

#include <filesystem>
#include <string>

namespace KvTest {

// What the test installer installs, and where.
inline constexpr const wchar_t* TestProductUninstallKey =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vellix PDF Pro";
inline constexpr const wchar_t* RunningSetupMutex = L"{86C0077D-48A5-4E6C-A2B1-FC4CD5CA77B9}";
// The installer is built for the architecture of the test program: its key lies
// in the registry view of that architecture.
// Its default folder is in the program-files folder of that architecture.
#ifdef _WIN64
inline constexpr REGSAM TestInstallerRegistryView = KEY_WOW64_64KEY;
inline constexpr const wchar_t* TestProductDefaultFolder = L"C:\\Program Files\\Vellix\\Vellix PDF Pro";
#else
inline constexpr REGSAM TestInstallerRegistryView = KEY_WOW64_32KEY;
inline constexpr const wchar_t* TestProductDefaultFolder = L"C:\\Program Files (x86)\\Vellix\\Vellix PDF Pro";
#endif
bool ReadTestProductValue(const std::wstring& valueName, std::wstring& value);

// L"exit0", L"exit1", L"exit5", L"exit2", L"unsigned", L"tampered",
// L"foreign", L"expired" or L"lowercase".
std::wstring TestInstallerPath(const std::wstring& variant);
// The product program the installer puts in place.
std::wstring TestProductPath();

std::string ReadFileBytes(const std::wstring& path);
// A UTF-16LE text with byte order mark, as the test installer writes its
// command line; false when the file is missing or not such a text.
bool ReadUtf16File(const std::wstring& path, std::wstring& text);

// Held by a test while the product is installed: every test process that
// installs it in this prefix takes it, so they take turns. Waits up to 5 min.
class CTestProductLock {
public:
    CTestProductLock();
    ~CTestProductLock();
    CTestProductLock(const CTestProductLock&) = delete;
    CTestProductLock& operator=(const CTestProductLock&) = delete;
    bool IsHeld() const { return m_held; }

private:
    Cxx::Core::CHandle m_mutex;
    bool m_held = false;
};

// Runs the product's uninstaller when the product is installed, then removes
// whatever it left. True when neither the key nor the folder remains.
bool RemoveTestProduct();

// What a test that runs a test installer sets up: the product lock, the
// trusted test CA, no installed product, an empty folder of its own in the
// temporary folder, and the file the installer writes its command line to
// (KV_NSIS_COMMAND_LINE_FILE, inherited by every process the test starts).
class CInstallerTestScope {
public:
    // Takes the product lock; Prepare does the rest.
    CInstallerTestScope() = default;
    CInstallerTestScope(const CInstallerTestScope&) = delete;
    CInstallerTestScope& operator=(const CInstallerTestScope&) = delete;

    // The folder is "<temp>\<prefix><name>". False when a step failed.
    bool Prepare(const std::string& prefix, const std::string& name);
    // Clears the installer's environment variables, removes the product and
    // the folder. True when the product is gone.
    bool Finish();

    const std::filesystem::path& Folder() const { return m_folder; }
    const std::wstring& CommandLineFile() const { return m_commandLineFile; }
    // The command line the installer received; false when it wrote none.
    bool ReadReceivedCommandLine(std::wstring& text) const { return ReadUtf16File(m_commandLineFile, text); }

private:
    CTestProductLock m_productLock;
    std::filesystem::path m_folder;
    std::wstring m_commandLineFile;
};

} // namespace KvTest
