#include "cxx/core/OneInstance.h"

#include "cxx/core/Handle.h"
#include "cxx/core/tests/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

using Cxx::Core::CHandle;
using Cxx::Core::COneInstance;

namespace {

const std::wstring GlobalBase = L"Global\\d98c16c8-cd12-45e9-b22f-54a39b5b1fe0";
const std::wstring LocalBase = L"Local\\68c82283-9090-4178-bfa5-a89db1c54543";

class CSuffix : public COneInstance::IMNSuffixGenerator {
public:
    CSuffix(std::wstring suffix, int* calls = nullptr, bool* destroyed = nullptr)
        : m_suffix(std::move(suffix)), m_calls(calls), m_destroyed(destroyed)
    {
    }
    ~CSuffix() override
    {
        if (m_destroyed) {
            *m_destroyed = true;
        }
    }
    std::wstring GetSuffix() override
    {
        if (m_calls) {
            ++*m_calls;
        }
        return m_suffix;
    }

private:
    std::wstring m_suffix;
    int* m_calls;
    bool* m_destroyed;
};

std::unique_ptr<COneInstance::IMNSuffixGenerator> Suffix(const std::wstring& suffix)
{
    return std::make_unique<CSuffix>(suffix);
}

bool MutexExists(const std::wstring& name)
{
    return CHandle(::OpenMutexW(SYNCHRONIZE, FALSE, name.c_str())).IsValid();
}

// The child's answer: 1 when it took the mutex, plus 2 when a second try in it also held it.
long ChildTries(const std::wstring& scope, const std::wstring& suffix = L"")
{
    std::wstring commandLine = L"\"" + KvTest::ChildPath() + L"\" mutex " + scope;
    if (!suffix.empty()) {
        commandLine += L" " + suffix;
    }
    return KvTest::RunAndWait(commandLine);
}

class OneInstance : public ::testing::Test {
protected:
    void TearDown() override { COneInstance::Release(); }
};

} // namespace

TEST_F(OneInstance, SecondProcessIsRefusedUntilRelease)
{
    ASSERT_TRUE(COneInstance::IsFirstInstance(false));
    EXPECT_TRUE(MutexExists(GlobalBase));
    // Asked again, this process still holds it.
    EXPECT_TRUE(COneInstance::IsFirstInstance(false));
    EXPECT_EQ(ChildTries(L"global"), 0);

    COneInstance::Release();
    EXPECT_FALSE(MutexExists(GlobalBase));
    EXPECT_EQ(ChildTries(L"global"), 3);
    EXPECT_TRUE(COneInstance::IsFirstInstance(false));
}

TEST_F(OneInstance, SuffixNamesTheMutexOfTheChosenScopeOnly)
{
    int calls = 0;
    bool destroyed = false;
    ASSERT_TRUE(COneInstance::IsFirstInstance(true, std::make_unique<CSuffix>(L"ABC", &calls, &destroyed)));
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(destroyed);
    EXPECT_TRUE(MutexExists(LocalBase + L"ABC"));
    EXPECT_FALSE(MutexExists(GlobalBase + L"ABC"));
    EXPECT_EQ(ChildTries(L"local", L"ABC"), 0);

    COneInstance::Release();
    EXPECT_FALSE(MutexExists(LocalBase + L"ABC"));
}

TEST_F(OneInstance, DifferentSuffixesAndScopesDoNotExcludeEachOther)
{
    const std::wstring mine = L"-kvmine-" + KvTest::ProcessTag();
    const std::wstring theirs = L"-kvtheirs-" + KvTest::ProcessTag();
    ASSERT_TRUE(COneInstance::IsFirstInstance(false, Suffix(mine)));
    EXPECT_EQ(ChildTries(L"global", theirs), 3);
    EXPECT_EQ(ChildTries(L"local", mine), 3);
    EXPECT_EQ(ChildTries(L"global", mine), 0);

    // Both scopes at once; Release gives up both.
    ASSERT_TRUE(COneInstance::IsFirstInstance(true, Suffix(mine)));
    EXPECT_EQ(ChildTries(L"local", mine), 0);
    COneInstance::Release();
    EXPECT_FALSE(MutexExists(GlobalBase + mine));
    EXPECT_FALSE(MutexExists(LocalBase + mine));
    EXPECT_EQ(ChildTries(L"global", mine), 3);
}

TEST_F(OneInstance, MutexThatCannotBeCreatedIsNotAFirstInstance)
{
    // An event of the same name makes CreateMutexW fail without a handle.
    const std::wstring suffix = L"-kvevent-" + KvTest::ProcessTag();
    CHandle squatter(::CreateEventW(nullptr, TRUE, FALSE, (LocalBase + suffix).c_str()));
    ASSERT_TRUE(squatter);
    EXPECT_FALSE(COneInstance::IsFirstInstance(true, Suffix(suffix)));
    EXPECT_FALSE(COneInstance::IsFirstInstance(true, Suffix(suffix)));
    EXPECT_EQ(ChildTries(L"local", suffix), 0);
}
