// Stands in for the installed product: a small valid program the test
// installer puts in place. When KV_VELLIX_COMMAND_LINE_FILE names a file, it
// writes its command line there (UTF-16LE), so a test can see that it ran.
#include "cxx/core/Handle.h"

#include <windows.h>

#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    wchar_t target[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"KV_VELLIX_COMMAND_LINE_FILE", target, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return 0;
    }
    const Cxx::Core::CFileHandle file(
        CreateFileW(target, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return 1;
    }
    const wchar_t* commandLine = GetCommandLineW();
    DWORD written = 0;
    const BOOL ok = WriteFile(file.Get(), commandLine,
                              static_cast<DWORD>(std::wcslen(commandLine) * sizeof(wchar_t)), &written, nullptr);
    return ok ? 0 : 1;
}
