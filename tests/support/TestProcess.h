#pragma once

// Starts a program from a test running under Wine and waits for it.

#include "cxx/core/Handle.h"
#include "cxx/core/TextUtils.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>

namespace KvTest {

// The build names its programs by their host paths; under Wine that is drive Z:.
inline std::wstring BuiltProgramPath(const std::string& hostPath)
{
    std::wstring path = L"Z:" + Cxx::Core::Utils::Utf8ToWideString(hostPath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

// The process inherits this process's environment; an invalid handle (and a
// failure of the test) when it cannot be started.
inline Cxx::Core::CHandle StartProgram(const std::wstring& path, const std::wstring& arguments)
{
    std::wstring commandLine = L"\"" + path + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info)) {
        ADD_FAILURE() << "cannot start the program, error " << ::GetLastError();
        return Cxx::Core::CHandle();
    }
    const Cxx::Core::CHandle thread(info.hThread);
    return Cxx::Core::CHandle(info.hProcess);
}

// The exit code; -1 (and a failure of the test) when the process did not end
// in time, and it is then ended so that it cannot outlive the test.
inline int WaitForExit(const Cxx::Core::CHandle& process, DWORD timeoutMs)
{
    if (!process) {
        return -1;
    }
    if (::WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.Get(), 99);
        ADD_FAILURE() << "the program did not end within " << timeoutMs << " ms";
        return -1;
    }
    DWORD code = 0;
    if (!::GetExitCodeProcess(process.Get(), &code)) {
        ADD_FAILURE() << "no exit code, error " << ::GetLastError();
        return -1;
    }
    return static_cast<int>(code);
}

} // namespace KvTest
