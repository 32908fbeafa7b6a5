// A test program for the test runner's own check: its one case passes, and
// KV_STAND_IN makes the process fail around it the ways a real one can.
//   crash-at-exit       a static object writes through a null pointer as it is destroyed
//   terminate-once=PATH std::terminate while statics are built, when PATH does not exist yet (it is created)
#include <gtest/gtest.h>
#include <windows.h>

#include <exception>
#include <string>

namespace {

std::wstring Setting()
{
    wchar_t value[1024] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"KV_STAND_IN", value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

struct CFailure {
    CFailure()
    {
        const std::wstring setting = Setting();
        const std::wstring once = L"terminate-once=";
        if (setting.rfind(once, 0) == 0) {
            const HANDLE marker = ::CreateFileW(setting.substr(once.size()).c_str(), GENERIC_WRITE, 0, nullptr,
                                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (marker != INVALID_HANDLE_VALUE) {
                ::CloseHandle(marker);
                std::terminate();
            }
        }
        crashAtExit = setting == L"crash-at-exit";
    }

    ~CFailure()
    {
        if (crashAtExit) {
            volatile int* nowhere = nullptr;
            *nowhere = 1;
        }
    }

    bool crashAtExit = false;
};

const CFailure failure;

} // namespace

TEST(StandIn, Passes)
{
}
