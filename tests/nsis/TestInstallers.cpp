#include "tests/nsis/TestInstallers.h"

#include "cxx/core/Handle.h"
#include "tests/nsis/TestInstallerPaths.h"
#include "tests/signing/TestSigning.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace KvTest {

bool ReadTestProductValue(const std::wstring& valueName, std::wstring& value)
{
    Cxx::Core::CRegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, TestProductUninstallKey, 0, KEY_READ | TestInstallerRegistryView, key.Put()) !=
        ERROR_SUCCESS) {
        return false;
    }
    wchar_t buffer[1024] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return false;
    }
    value = buffer;
    return true;
}

std::wstring TestInstallerPath(const std::wstring& variant)
{
    return std::wstring(TestInstallerDirectory) + L"\\VellixPDFProSetup-" + variant + L".exe";
}

std::wstring TestProductPath()
{
    return std::wstring(TestInstallerDirectory) + L"\\VellixPDF.exe";
}

std::string ReadFileBytes(const std::wstring& path)
{
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

bool ReadUtf16File(const std::wstring& path, std::wstring& text)
{
    const std::string bytes = ReadFileBytes(path);
    if (bytes.size() < 2 || bytes.size() % 2 != 0 || bytes.compare(0, 2, "\xFF\xFE") != 0) {
        return false;
    }
    text.resize((bytes.size() - 2) / 2);
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                       static_cast<unsigned char>(bytes[3 + 2 * i]) << 8);
    }
    return true;
}

CTestProductLock::CTestProductLock()
    : m_mutex(::CreateMutexW(nullptr, FALSE, L"KvTest.VellixPDFPro.Install"))
{
    if (m_mutex) {
        const DWORD state = ::WaitForSingleObject(m_mutex.Get(), 5 * 60 * 1000);
        // An abandoned mutex is ours as well: its last holder crashed.
        m_held = state == WAIT_OBJECT_0 || state == WAIT_ABANDONED;
    }
}

CTestProductLock::~CTestProductLock()
{
    if (m_held) {
        ::ReleaseMutex(m_mutex.Get());
    }
}

bool RemoveTestProduct()
{
    std::wstring folder;
    if (ReadTestProductValue(L"InstallLocation", folder) && !folder.empty()) {
        // "_?=" makes the uninstaller run in place and return when it is done.
        std::wstring commandLine = L"\"" + folder + L"\\uninstall.exe\" /S _?=" + folder;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &process)) {
            const Cxx::Core::CHandle processHandle(process.hProcess);
            const Cxx::Core::CHandle threadHandle(process.hThread);
            ::WaitForSingleObject(processHandle.Get(), 60000);
        }
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(folder), ignored);
    }
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, TestProductUninstallKey, TestInstallerRegistryView, 0);
    std::wstring leftover;
    return !ReadTestProductValue(L"DisplayName", leftover) &&
           (folder.empty() || !std::filesystem::exists(std::filesystem::path(folder)));
}

bool CInstallerTestScope::Prepare(const std::string& prefix, const std::string& name)
{
    if (!m_productLock.IsHeld() || !TrustTestCertificateAuthority() || !RemoveTestProduct()) {
        return false;
    }
    std::error_code error;
    m_folder = std::filesystem::temp_directory_path(error) / (prefix + name);
    std::filesystem::remove_all(m_folder, error);
    if (!std::filesystem::create_directories(m_folder, error)) {
        return false;
    }
    m_commandLineFile = (m_folder / "cmdline.txt").wstring();
    return ::SetEnvironmentVariableW(L"KV_NSIS_COMMAND_LINE_FILE", m_commandLineFile.c_str()) != FALSE;
}

bool CInstallerTestScope::Finish()
{
    ::SetEnvironmentVariableW(L"KV_NSIS_COMMAND_LINE_FILE", nullptr);
    ::SetEnvironmentVariableW(L"KV_NSIS_HOLD_FILE", nullptr);
    const bool removed = RemoveTestProduct();
    if (!m_folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }
    return removed;
}

} // namespace KvTest
