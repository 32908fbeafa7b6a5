#pragma once

// Starts the built Korvane.exe and waits for it.

#include "cxx/core/Handle.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>

namespace KvE2e {

// The build tree as Wine sees it.
inline std::wstring KorvanePath()
{
    const std::string unixPath = KV_KORVANE_EXE;
    std::wstring path = L"Z:" + std::wstring(unixPath.begin(), unixPath.end());
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

// The process inherits this process's environment.
inline Cxx::Core::CHandle StartKorvane(const std::wstring& arguments)
{
    std::wstring commandLine = L"\"" + KorvanePath() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info)) {
        ADD_FAILURE() << "cannot start Korvane.exe, error " << ::GetLastError();
        return Cxx::Core::CHandle();
    }
    const Cxx::Core::CHandle thread(info.hThread);
    return Cxx::Core::CHandle(info.hProcess);
}

// The exit code, or -1 when the process did not end in time.
inline int WaitForExit(const Cxx::Core::CHandle& process, DWORD timeoutMs = 60000)
{
    if (!process || ::WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "Korvane.exe did not end";
        return -1;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process.Get(), &code);
    return static_cast<int>(code);
}

inline int RunKorvane(const std::wstring& arguments, DWORD timeoutMs = 60000)
{
    return WaitForExit(StartKorvane(arguments), timeoutMs);
}

} // namespace KvE2e
