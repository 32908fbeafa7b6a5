#pragma once

// Starts the built Korvane.exe and reads what it leaves in the registry.

#include "tests/support/TestProcess.h"

#include <optional>

namespace KvE2e {

inline const wchar_t* const EmulationKey =
    L"SOFTWARE\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";
inline const wchar_t* const EmulationValue = L"Korvane.exe";

inline std::wstring KorvanePath()
{
    return KvTest::BuiltProgramPath(KV_KORVANE_EXE);
}

inline Cxx::Core::CHandle StartKorvane(const std::wstring& arguments)
{
    return KvTest::StartProgram(KorvanePath(), arguments);
}

inline int WaitForExit(const Cxx::Core::CHandle& process, DWORD timeoutMs = 60000)
{
    return KvTest::WaitForExit(process, timeoutMs);
}

inline int RunKorvane(const std::wstring& arguments, DWORD timeoutMs = 60000)
{
    return WaitForExit(StartKorvane(arguments), timeoutMs);
}

// The page's browser emulation value of Korvane, when there is one.
inline std::optional<DWORD> ReadEmulationValue()
{
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (::RegGetValueW(HKEY_CURRENT_USER, EmulationKey, EmulationValue, RRF_RT_REG_DWORD, nullptr, &data, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return data;
}

} // namespace KvE2e
