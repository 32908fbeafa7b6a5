// Runs Korvane.exe itself: its instance check and its early exits; and the
// images of both programs.
#include "cxx/core/Handle.h"
#include "cxx/core/SystemUtils.h"
#include "cxx/core/TextUtils.h"
#include "tests/e2e/KorvaneProcess.h"
#include "tests/support/DataModule.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string>

using Cxx::Core::CHandle;
using namespace KvE2e;

namespace {

const wchar_t* const ProductMutex = L"Global\\d98c16c8-cd12-45e9-b22f-54a39b5b1fe0QXPDF";

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
    // Its delay outlasts the four copies below by far, even on a loaded machine (three seconds
    // did not always).
    const CHandle first = StartKorvane(L"/S /DELAY=10");
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
    // The page never shows here, so the web road falls back to the windowless front-end.
    EXPECT_EQ(RunKorvane(L""), WindowlessRoadCode());
    EXPECT_EQ(RunKorvane(L"-extractTrackingUID"), 99);
    EXPECT_FALSE(ProductMutexExists());
}

// Both programs carry the compatibility manifest and a version block; the
// setup program also its icon.
TEST(Korvane, CarriesItsManifestIconAndVersion)
{
    const struct {
        std::wstring path;
        const wchar_t* description;
        bool icon;
    } programs[] = {
        {KorvanePath(), L"Vellix PDF Pro Setup", true},
        {KvTest::BuiltProgramPath(KV_TALLIX_EXE), L"Vellix PDF Pro analytics event utility", false},
    };
    for (const auto& program : programs) {
        SCOPED_TRACE(Cxx::Core::Utils::WideToUtf8String(program.path));
        EXPECT_EQ(Cxx::Core::Utils::GetFileVersionString(L"FileDescription", program.path), program.description);
        EXPECT_EQ(Cxx::Core::Utils::GetFileVersionString(L"ProductName", program.path), L"Vellix PDF Pro");
        EXPECT_EQ(Cxx::Core::Utils::GetFileVersionString(L"ProductVersion", program.path), L"7.0.0.1125");
        EXPECT_EQ(Cxx::Core::Utils::GetFileVersionString(L"FileVersion", program.path), L"7.0.0.1125");

        const KvTest::CDataModule image = KvTest::LoadDataModule(program.path);
        ASSERT_TRUE(image) << ::GetLastError();
        EXPECT_EQ(::FindResourceW(image.Get(), MAKEINTRESOURCEW(101), RT_GROUP_ICON) != nullptr, program.icon);

        HRSRC manifestInfo = ::FindResourceW(image.Get(), MAKEINTRESOURCEW(1), RT_MANIFEST);
        ASSERT_NE(manifestInfo, nullptr);
        HGLOBAL manifestData = ::LoadResource(image.Get(), manifestInfo);
        ASSERT_NE(manifestData, nullptr);
        const std::string manifest(static_cast<const char*>(::LockResource(manifestData)),
                                   ::SizeofResource(image.Get(), manifestInfo));
        EXPECT_NE(manifest.find("<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>"), std::string::npos);
        EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
    }
}
