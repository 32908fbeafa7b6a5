#include "cxx/core/SystemUtils.h"

#include "cxx/core/Handle.h"
#include "cxx/core/tests/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace Utils = Cxx::Core::Utils;
using Cxx::Core::CHandle;

TEST(Execute, ReturnsTheExitCodeOfTheProgram)
{
    DWORD code = 0;
    ASSERT_TRUE(Utils::ExecuteAndGetExitCode(KvTest::ChildPath(), L"exit 7", code, true));
    EXPECT_EQ(code, 7u);

    // Without a path the arguments are the whole command line.
    code = 0;
    ASSERT_TRUE(Utils::ExecuteAndGetExitCode(L"", L"\"" + KvTest::ChildPath() + L"\" exit 5", code, true));
    EXPECT_EQ(code, 5u);

    EXPECT_TRUE(Utils::Execute(KvTest::ChildPath(), L"exit 3", true));
}

TEST(Execute, WithoutWaitingLeavesTheExitCodeAlone)
{
    DWORD code = 12345;
    ASSERT_TRUE(Utils::ExecuteAndGetExitCode(KvTest::ChildPath(), L"sleep 200", code, false));
    EXPECT_EQ(code, 12345u);
}

TEST(Execute, FailsWhenThereIsNothingToRun)
{
    DWORD code = 12345;
    EXPECT_FALSE(Utils::ExecuteAndGetExitCode(L"", L"", code, true));
    EXPECT_FALSE(Utils::ExecuteAndGetExitCode(L"", L"   ", code, true));
    EXPECT_FALSE(Utils::ExecuteAndGetExitCode(KvTest::ChildPath() + L".missing.exe", L"exit 1", code, true));
    EXPECT_FALSE(Utils::Execute(L"", L"", true));
    EXPECT_EQ(code, 12345u);
}

TEST(Execute, PathWithBlanksRunsThatProgramNotTheDecoy)
{
    const KvTest::CBlankPathProgram child(KvTest::ChildPath());
    // The decoy is real: the system itself runs it for the unquoted line.
    ASSERT_EQ(KvTest::RunAndWait(child.Path() + L" exit 7"), 99);

    DWORD code = 0;
    ASSERT_TRUE(Utils::ExecuteAndGetExitCode(child.Path(), L"exit 7", code, true));
    EXPECT_EQ(code, 7u);
    code = 0;
    ASSERT_TRUE(Utils::ExecuteAndGetExitCode(L"\"" + child.Path() + L"\"", L"exit 8", code, true));
    EXPECT_EQ(code, 8u);
}

TEST(FindProcessesByName, FindsARunningChildWhateverTheCase)
{
    std::wstring commandLine = L"\"" + KvTest::ChildPath() + L"\" sleep 30000";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &info));
    CHandle process(info.hProcess);
    CHandle thread(info.hThread);

    std::vector<DWORD> found{4242};
    EXPECT_TRUE(Utils::FindProcessesByName(L"KV_TEST_CHILD.EXE", found, false));
    EXPECT_EQ(found.front(), 4242u) << "ids are appended";
    EXPECT_NE(std::find(found.begin(), found.end(), info.dwProcessId), found.end());

    std::vector<DWORD> sameSession;
    EXPECT_TRUE(Utils::FindProcessesByName(L"kv_test_child.exe", sameSession, true));
    EXPECT_NE(std::find(sameSession.begin(), sameSession.end(), info.dwProcessId), sameSession.end());

    std::vector<DWORD> none;
    EXPECT_TRUE(Utils::FindProcessesByName(L"kv_test_child", none, false));
    EXPECT_TRUE(none.empty());

    ::TerminateProcess(process.Get(), 0);
    ::WaitForSingleObject(process.Get(), INFINITE);
}
