#include "browsercontrol/BrowserEmulation.h"

#include "cxx/core/Handle.h"

namespace BrowserControl {

namespace {

constexpr wchar_t kEmulationKey[] =
    L"SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";

HKEY HiveRoot(EEmulationHive hive)
{
    return hive == EH_LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

REGSAM Access(REGSAM access, bool view32)
{
    return view32 ? (access | KEY_WOW64_32KEY) : access;
}

std::optional<DWORD> ReadDword(HKEY key, const std::wstring& valueName)
{
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (::RegQueryValueExW(key, valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(data)) {
        return std::nullopt;
    }
    return data;
}

bool WriteDword(HKEY key, const std::wstring& valueName, DWORD value)
{
    return ::RegSetValueExW(key, valueName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                            sizeof(value)) == ERROR_SUCCESS;
}

} // namespace

bool SetBrowserEmulation(const std::wstring& valueName, DWORD value, EEmulationHive hive, bool view32,
                         std::optional<DWORD>* previous)
{
    const REGSAM access = Access(previous ? (KEY_WRITE | KEY_QUERY_VALUE) : KEY_WRITE, view32);
    Cxx::Core::CRegKey key;
    if (::RegCreateKeyExW(HiveRoot(hive), kEmulationKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                          key.Put(), nullptr) != ERROR_SUCCESS) {
        return false;
    }
    if (previous) {
        *previous = ReadDword(key.Get(), valueName);
    }
    return WriteDword(key.Get(), valueName, value);
}

bool ResetBrowserEmulation(const std::wstring& valueName, EEmulationHive hive, bool view32,
                           std::optional<DWORD> restore)
{
    Cxx::Core::CRegKey key;
    if (::RegOpenKeyExW(HiveRoot(hive), kEmulationKey, 0, Access(KEY_WRITE, view32), key.Put()) != ERROR_SUCCESS) {
        return false;
    }
    if (restore) {
        return WriteDword(key.Get(), valueName, *restore);
    }
    return ::RegDeleteValueW(key.Get(), valueName.c_str()) == ERROR_SUCCESS;
}

} // namespace BrowserControl
