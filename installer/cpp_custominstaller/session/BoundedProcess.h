#pragma once

#include <windows.h>

#include <chrono>
#include <string>

namespace CustomInstaller {

enum EBoundedRunResult : int {
    BR_Exited = 0,
    BR_NotStarted = 1,
    // The process outlived the limit and was ended.
    BR_TimedOut = 2,
};

// Runs "\"program\" arguments" (the program is quoted here) and waits at most
// limit for it; a process still running then is terminated. exitCode is set
// only for BR_Exited, and only when it can be read.
EBoundedRunResult RunWithTimeLimit(const std::wstring& program, const std::wstring& arguments,
                                   std::chrono::milliseconds limit, DWORD& exitCode);

} // namespace CustomInstaller
