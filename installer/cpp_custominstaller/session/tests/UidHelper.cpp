// Plays the copy of the setup program that runs "-extractTrackingUID=<file>":
// KV_UID_HELPER_TEXT, when set, is written into the file; KV_UID_HELPER_EXIT is
// the exit code (default 0); KV_UID_HELPER_HANG makes it never end.
#include <windows.h>

#include <cwchar>
#include <fstream>
#include <string>

namespace {

std::wstring Environment(const wchar_t* name, bool& present)
{
    wchar_t buffer[512] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, buffer, 512);
    present = length > 0 && length < 512;
    return present ? std::wstring(buffer, length) : std::wstring();
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring prefix = L"-extractTrackingUID=";
    if (argc != 2 || std::wstring(argv[1]).rfind(prefix, 0) != 0) {
        return 98;
    }
    const std::wstring file = std::wstring(argv[1]).substr(prefix.size());
    bool present = false;
    Environment(L"KV_UID_HELPER_HANG", present);
    if (present) {
        ::Sleep(INFINITE);
    }
    const std::wstring text = Environment(L"KV_UID_HELPER_TEXT", present);
    if (present) {
        std::wofstream output(file.c_str(), std::ios::out | std::ios::trunc);
        output << text;
    }
    const std::wstring exitText = Environment(L"KV_UID_HELPER_EXIT", present);
    return present ? std::wcstol(exitText.c_str(), nullptr, 10) : 0;
}
