#include "installer/cpp_custominstaller/startup/InstanceChecks.h"

#include "cxx/core/Handle.h"
#include "cxx/core/OneInstance.h"
#include "cxx/core/TextUtils.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

using namespace CustomInstaller;
using Cxx::Core::CHandle;

namespace {

bool MutexExists(const std::wstring& name)
{
    return CHandle(::OpenMutexW(SYNCHRONIZE, FALSE, name.c_str())).IsValid();
}

std::wstring UniqueName(const wchar_t* stem)
{
    static int counter = 0;
    return stem + std::to_wstring(::GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
}

// A stand-in NSIS setup started from a copy in a work folder of its own.
class RunningSetup : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH + 1] = {};
        ASSERT_NE(::GetTempPathW(MAX_PATH + 1, temp), 0u);
        m_folder = std::filesystem::path(temp) / UniqueName(L"kv-nsu-");
        ASSERT_TRUE(std::filesystem::create_directories(m_folder));
        m_marker = UniqueName(L"kv-setup-marker-");
    }

    void TearDown() override
    {
        StopSetup();
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

    // Copies the stand-in into the work folder under a unique name and starts it.
    void StartSetup(bool withWindow)
    {
        const std::filesystem::path source =
            std::filesystem::path(Cxx::Core::Utils::GetModuleDirectory()) / L"kv_fake_setup.exe";
        const std::filesystem::path copy = m_folder / (UniqueName(L"kvsetup") + L".exe");
        ASSERT_TRUE(std::filesystem::copy_file(source, copy));

        const std::wstring readyName = UniqueName(L"kv-setup-ready-");
        const std::wstring quitName = UniqueName(L"kv-setup-quit-");
        const CHandle ready(::CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
        m_quit.Reset(::CreateEventW(nullptr, TRUE, FALSE, quitName.c_str()));
        ASSERT_TRUE(ready && m_quit);

        std::wstring commandLine = L"\"" + copy.wstring() + L"\" " + m_marker + L" " + readyName + L" " + quitName +
                                   (withWindow ? L" window" : L" nowindow");
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                     &startup, &info));
        m_process.Reset(info.hProcess);
        m_processId = info.dwProcessId;
        const CHandle thread(info.hThread);
        const HANDLE waitFor[] = {ready.Get(), m_process.Get()};
        ASSERT_EQ(::WaitForMultipleObjects(2, waitFor, FALSE, 30000), WAIT_OBJECT_0) << "the stand-in did not start";
    }

    void StopSetup()
    {
        if (m_process) {
            ::SetEvent(m_quit.Get());
            EXPECT_EQ(::WaitForSingleObject(m_process.Get(), 30000), WAIT_OBJECT_0);
            m_process.Reset();
        }
    }

    HWND SetupWindow() const
    {
        for (HWND window = ::FindWindowExW(nullptr, nullptr, L"KvFakeSetupWindow", nullptr); window;
             window = ::FindWindowExW(nullptr, window, L"KvFakeSetupWindow", nullptr)) {
            DWORD processId = 0;
            ::GetWindowThreadProcessId(window, &processId);
            if (processId == m_processId) {
                return window;
            }
        }
        return nullptr;
    }

    std::filesystem::path m_folder;
    std::wstring m_marker;
    CHandle m_quit;
    CHandle m_process;
    DWORD m_processId = 0;
};

} // namespace

TEST(ProductInstance, HoldsTheProductSpecificMachineWideMutexUntilReleased)
{
    const std::wstring name = L"Global\\d98c16c8-cd12-45e9-b22f-54a39b5b1fe0QXPDF";
    EXPECT_EQ(CProductNameSpecificGenerator().GetSuffix(), L"QXPDF");
    ASSERT_FALSE(MutexExists(name));
    ASSERT_TRUE(IsFirstInstance());
    EXPECT_TRUE(MutexExists(name));
    Cxx::Core::COneInstance::Release();
    EXPECT_FALSE(MutexExists(name));
}

TEST(ProductInstance, BringsTheSetupWindowToTheFront)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KvInstanceTestWindow";
    ::RegisterClassW(&windowClass);
    HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, SetupWindowTitle, WS_OVERLAPPEDWINDOW, 0, 0, 200,
                                    100, nullptr, nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    ASSERT_FALSE(::IsWindowVisible(window));
    BringRunningCopyToFront();
    EXPECT_TRUE(::IsWindowVisible(window));
    ::DestroyWindow(window);
}

TEST_F(RunningSetup, FoundWhenMarkerFileAndWindowMatchAndTheMarkerIsNotKept)
{
    ASSERT_NO_FATAL_FAILURE(StartSetup(true));
    const HWND window = SetupWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_FALSE(::IsWindowVisible(window));

    EXPECT_TRUE(IsSetupAlreadyRunning(m_marker, m_folder.wstring()));
    EXPECT_TRUE(::IsWindowVisible(window));

    StopSetup();
    EXPECT_FALSE(MutexExists(m_marker));
}

TEST_F(RunningSetup, NotFoundWithoutATopLevelWindow)
{
    ASSERT_NO_FATAL_FAILURE(StartSetup(false));
    EXPECT_TRUE(MutexExists(m_marker));
    EXPECT_FALSE(IsSetupAlreadyRunning(m_marker, m_folder.wstring()));
}

TEST_F(RunningSetup, WithoutTheMarkerNothingIsFoundAndNoMarkerIsLeftBehind)
{
    ASSERT_NO_FATAL_FAILURE(StartSetup(true));
    const HWND window = SetupWindow();
    ASSERT_NE(window, nullptr);
    const std::wstring absent = UniqueName(L"kv-setup-absent-");
    EXPECT_FALSE(IsSetupAlreadyRunning(absent, m_folder.wstring()));
    EXPECT_FALSE(::IsWindowVisible(window));

    // A setup starting now must still find itself first.
    const CHandle created(::CreateMutexW(nullptr, TRUE, absent.c_str()));
    EXPECT_TRUE(created);
    EXPECT_NE(::GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
}

TEST_F(RunningSetup, MissingFolderOrFilesThatDoNotMatchGiveFalse)
{
    ASSERT_NO_FATAL_FAILURE(StartSetup(true));
    const HWND window = SetupWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(IsSetupAlreadyRunning(m_marker, (m_folder / L"missing").wstring()));

    // A second work folder with a copy of the setup that does not run, and a
    // file without version information.
    const std::filesystem::path other = m_folder / L"other";
    ASSERT_TRUE(std::filesystem::create_directory(other));
    std::filesystem::copy_file(std::filesystem::path(Cxx::Core::Utils::GetModuleDirectory()) / L"kv_fake_setup.exe",
                               other / L"kvsetup-not-running.exe");
    std::filesystem::copy_file(Cxx::Core::Utils::GetModuleFilePath(), other / L"unrelated.exe");
    EXPECT_FALSE(IsSetupAlreadyRunning(m_marker, other.wstring()));
    EXPECT_FALSE(::IsWindowVisible(window));
}
