// Runs Korvane.exe itself: its instance check, its early exits and its image.
#include "cxx/core/Handle.h"
#include "cxx/core/SystemUtils.h"
#include "cxx/core/TextUtils.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string>

using Cxx::Core::CHandle;

namespace {

const wchar_t* const ProductMutex = L"Global\\d98c16c8-cd12-45e9-b22f-54a39b5b1fe0QXPDF";

// The build tree as Wine sees it.
std::wstring KorvanePath()
{
    const std::string unixPath = KV_KORVANE_EXE;
    std::wstring path = L"Z:" + std::wstring(unixPath.begin(), unixPath.end());
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

CHandle StartKorvane(const std::wstring& arguments)
{
    std::wstring commandLine = L"\"" + KorvanePath() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &info)) {
        ADD_FAILURE() << "cannot start Korvane.exe, error " << ::GetLastError();
        return CHandle();
    }
    const CHandle thread(info.hThread);
    return CHandle(info.hProcess);
}

int WaitForExit(const CHandle& process)
{
    if (!process || ::WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "Korvane.exe did not end";
        return -1;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(process.Get(), &code);
    return static_cast<int>(code);
}

int RunKorvane(const std::wstring& arguments)
{
    return WaitForExit(StartKorvane(arguments));
}

bool ProductMutexExists()
{
    return CHandle(::OpenMutexW(SYNCHRONIZE, FALSE, ProductMutex)).IsValid();
}

// The windowless road ends with the installer source's failure, or with "no
// internet" where the machine reports none.
int WindowlessRoadCode()
{
    return Cxx::Core::Utils::IsInternetConnected() ? 12 : 17;
}

} // namespace

TEST(Korvane, SecondCopyEndsWith11WhileTheFirstHoldsTheMutex)
{
    ASSERT_FALSE(ProductMutexExists());
    const CHandle first = StartKorvane(L"/S /DELAY=3");
    ASSERT_TRUE(first);
    // The first copy takes the mutex before its delay.
    const ULONGLONG deadline = ::GetTickCount64() + 30000;
    while (!ProductMutexExists()) {
        ASSERT_EQ(::WaitForSingleObject(first.Get(), 10), static_cast<DWORD>(WAIT_TIMEOUT))
            << "the first copy ended before taking the mutex";
        ASSERT_LT(::GetTickCount64(), deadline) << "the first copy never took the mutex";
    }

    EXPECT_EQ(RunKorvane(L"/S"), 11);
    EXPECT_EQ(RunKorvane(L""), 11);

    // The job ends the run before any instance check.
    wchar_t temp[MAX_PATH + 1] = {};
    ASSERT_NE(::GetTempPathW(MAX_PATH + 1, temp), 0u);
    const std::filesystem::path uidFile =
        std::filesystem::path(temp) / (L"kv-e2e-uid-" + std::to_wstring(::GetCurrentProcessId()) + L".txt");
    EXPECT_EQ(RunKorvane(L"/S -extractTrackingUID=\"" + uidFile.wstring() + L"\""), 99);
    EXPECT_FALSE(std::filesystem::exists(uidFile));

    EXPECT_EQ(RunKorvane(L"/CANCEL_ONE_INSTANCE_CHECK /S"), WindowlessRoadCode());

    EXPECT_EQ(::WaitForSingleObject(first.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT))
        << "the first copy did not outlive the second ones";
    EXPECT_EQ(WaitForExit(first), WindowlessRoadCode());
    EXPECT_FALSE(ProductMutexExists());
}

TEST(Korvane, EachRoadEndsAndGivesTheMutexBack)
{
    EXPECT_EQ(RunKorvane(L"/S"), WindowlessRoadCode());
    EXPECT_EQ(RunKorvane(L"/VS /GA_TRACKING_UID=0123"), WindowlessRoadCode());
    EXPECT_EQ(RunKorvane(L"/NO_UI /DELAY=-3"), WindowlessRoadCode());
    EXPECT_EQ(RunKorvane(L""), 99);
    EXPECT_EQ(RunKorvane(L"-extractTrackingUID"), 99);
    EXPECT_FALSE(ProductMutexExists());
}

TEST(Korvane, CarriesItsManifestIconAndVersion)
{
    const std::wstring path = KorvanePath();
    EXPECT_EQ(Cxx::Core::Utils::GetFileVersionString(L"ProductName", path), L"Vellix PDF Pro");
    EXPECT_EQ(Cxx::Core::Utils::GetFileVersionString(L"ProductVersion", path), L"7.0.0.1125");
    EXPECT_EQ(Cxx::Core::Utils::GetFileVersionString(L"FileVersion", path), L"7.0.0.1125");

    struct ModuleTraits {
        static HMODULE Invalid() { return nullptr; }
        static void Close(HMODULE module) { ::FreeLibrary(module); }
    };
    const Cxx::Core::CUniqueHandle<ModuleTraits> image(
        ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(image) << ::GetLastError();
    EXPECT_NE(::FindResourceW(image.Get(), MAKEINTRESOURCEW(101), RT_GROUP_ICON), nullptr);

    HRSRC manifestInfo = ::FindResourceW(image.Get(), MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_NE(manifestInfo, nullptr);
    HGLOBAL manifestData = ::LoadResource(image.Get(), manifestInfo);
    ASSERT_NE(manifestData, nullptr);
    const std::string manifest(static_cast<const char*>(::LockResource(manifestData)),
                               ::SizeofResource(image.Get(), manifestInfo));
    EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
}
