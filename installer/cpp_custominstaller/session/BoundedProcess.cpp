#include "installer/cpp_custominstaller/session/BoundedProcess.h"

#include "cxx/core/Handle.h"

namespace CustomInstaller {

namespace {

// A terminated process is gone almost at once; this only bounds a stuck end.
constexpr DWORD TerminationWaitMs = 5000;

DWORD ToWaitMs(std::chrono::milliseconds limit)
{
    if (limit.count() <= 0) {
        return 0;
    }
    return limit.count() >= static_cast<long long>(INFINITE) ? INFINITE - 1 : static_cast<DWORD>(limit.count());
}

} // namespace

EBoundedRunResult RunWithTimeLimit(const std::wstring& program, const std::wstring& arguments,
                                   std::chrono::milliseconds limit, DWORD& exitCode)
{
    if (program.empty()) {
        return BR_NotStarted;
    }
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!arguments.empty()) {
        commandLine += L" " + arguments;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info)) {
        return BR_NotStarted;
    }
    const Cxx::Core::CHandle process(info.hProcess);
    const Cxx::Core::CHandle thread(info.hThread);
    if (::WaitForSingleObject(process.Get(), ToWaitMs(limit)) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.Get(), ERROR_TIMEOUT);
        ::WaitForSingleObject(process.Get(), TerminationWaitMs);
        return BR_TimedOut;
    }
    DWORD code = 0;
    if (::GetExitCodeProcess(process.Get(), &code)) {
        exitCode = code;
    }
    return BR_Exited;
}

} // namespace CustomInstaller
