#include "cxx/core/SystemUtils.h"

#include "cxx/core/Handle.h"
#include "cxx/core/tests/TestSupport.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace Utils = Cxx::Core::Utils;
using Cxx::Core::CHandle;
using Cxx::Core::CLocalMemory;
using Cxx::Core::CRegKey;

namespace {

OSVERSIONINFOEXW TrueVersion()
{
    // ntdll answers without the compatibility shims that VerifyVersionInfoW goes through.
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (rtlGetVersion) {
        rtlGetVersion(&info);
    }
    return info;
}

// A key of its own under HKCU\Software, removed at the end.
class CTestKey {
public:
    explicit CTestKey(REGSAM view = 0, HKEY root = HKEY_CURRENT_USER)
        : m_root(root), m_path(L"Software\\KvSystemUtilsTest\\" + KvTest::ProcessTag()), m_view(view)
    {
        ::RegCreateKeyExW(m_root, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | m_view, nullptr, m_key.Put(),
                          nullptr);
    }
    ~CTestKey()
    {
        m_key.Reset();
        ::RegDeleteKeyExW(m_root, m_path.c_str(), m_view, 0);
    }
    bool Set(const wchar_t* name, DWORD type, const void* data, DWORD bytes)
    {
        return ::RegSetValueExW(m_key.Get(), name, 0, type, static_cast<const BYTE*>(data), bytes) == ERROR_SUCCESS;
    }
    bool SetText(const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ)
    {
        return Set(name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }
    const std::wstring& Path() const { return m_path; }
    bool IsOpen() const { return m_key.IsValid(); }

private:
    HKEY m_root;
    std::wstring m_path;
    REGSAM m_view;
    CRegKey m_key;
};

std::wstring OwnUserSid()
{
    HANDLE rawToken = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &rawToken)) {
        return {};
    }
    CHandle token(rawToken);
    std::vector<BYTE> buffer(256);
    DWORD size = 0;
    if (!::GetTokenInformation(token.Get(), TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()), &size)) {
        return {};
    }
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
        return {};
    }
    CLocalMemory owned(text);
    return text;
}

std::wstring Upper(std::wstring text)
{
    ::CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

} // namespace

TEST(WindowsVersion, MatchesTheSystemsOwnAnswer)
{
    DWORD major = 0, minor = 0, productType = 0, suiteMask = 0;
    ASSERT_TRUE(Utils::GetWindowsVersion(major, minor, productType, suiteMask));
    const OSVERSIONINFOEXW truth = TrueVersion();
    ASSERT_NE(truth.dwMajorVersion, 0u);
    EXPECT_EQ(major, truth.dwMajorVersion);
    EXPECT_EQ(minor, truth.dwMinorVersion);
    EXPECT_EQ(productType, truth.wProductType);
    // Every suite bit is probed but 0x10.
    EXPECT_EQ(suiteMask, static_cast<DWORD>(truth.wSuiteMask & ~0x10));
    EXPECT_EQ(Utils::IsVistaOrLater(), truth.dwMajorVersion > 5);
}

TEST(Kernel32Version, EveryThreadGetsTheSameCachedNumbers)
{
    struct Numbers {
        bool ok = false;
        DWORD v[4] = {};
    };
    std::vector<Numbers> results(16);
    {
        std::vector<std::jthread> threads;
        for (Numbers& result : results) {
            threads.emplace_back([&result] {
                result.ok = Utils::GetKernel32Version(result.v[0], result.v[1], result.v[2], result.v[3]);
            });
        }
    }
    ASSERT_TRUE(results[0].ok);
    EXPECT_GE(results[0].v[0], 5u);
    for (const Numbers& result : results) {
        EXPECT_TRUE(result.ok);
        EXPECT_TRUE(std::equal(std::begin(result.v), std::end(result.v), std::begin(results[0].v)));
    }
}

TEST(ReadRegistryString, ReadsStringValuesOnly)
{
    CTestKey key;
    ASSERT_TRUE(key.IsOpen());
    ASSERT_TRUE(key.SetText(L"Plain", L"hello"));
    ASSERT_TRUE(key.SetText(L"Expandable", L"%SystemRoot%\\x", REG_EXPAND_SZ));
    ASSERT_TRUE(key.SetText(L"", L"default value"));
    const DWORD number = 42;
    ASSERT_TRUE(key.Set(L"Number", REG_DWORD, &number, sizeof(number)));
    const BYTE binary[] = {'a', 0, 'b', 0, 0, 0};
    ASSERT_TRUE(key.Set(L"Binary", REG_BINARY, binary, sizeof(binary)));

    std::wstring text = L"stale";
    EXPECT_TRUE(Utils::ReadRegistryString(HKEY_CURRENT_USER, key.Path(), L"Plain", text));
    EXPECT_EQ(text, L"hello");
    EXPECT_TRUE(Utils::ReadRegistryString(HKEY_CURRENT_USER, key.Path(), L"Expandable", text));
    EXPECT_EQ(text, L"%SystemRoot%\\x");
    EXPECT_TRUE(Utils::ReadRegistryString(HKEY_CURRENT_USER, key.Path(), L"", text));
    EXPECT_EQ(text, L"default value");

    text = L"stale";
    EXPECT_FALSE(Utils::ReadRegistryString(HKEY_CURRENT_USER, key.Path(), L"Number", text));
    EXPECT_TRUE(text.empty());
    EXPECT_FALSE(Utils::ReadRegistryString(HKEY_CURRENT_USER, key.Path(), L"Binary", text));
    EXPECT_FALSE(Utils::ReadRegistryString(HKEY_CURRENT_USER, key.Path(), L"Missing", text));
    EXPECT_FALSE(Utils::ReadRegistryString(HKEY_CURRENT_USER, key.Path() + L"\\Missing", L"Plain", text));
    EXPECT_TRUE(text.empty());
}

TEST(ReadRegistryString, ValueWithoutTerminatorEndsAtItsData)
{
    CTestKey key;
    ASSERT_TRUE(key.IsOpen());
    // The longest value of the key, stored without its terminator, sizes the read buffer exactly.
    const std::wstring longest = L"abcdefghijklmnop";
    ASSERT_TRUE(key.Set(L"Unterminated", REG_SZ, longest.data(), static_cast<DWORD>(longest.size() * sizeof(wchar_t))));
    const wchar_t odd[] = L"xyz";
    ASSERT_TRUE(key.Set(L"OddLength", REG_SZ, odd, 3 * sizeof(wchar_t) + 1));
    const wchar_t embedded[] = L"one\0two";
    ASSERT_TRUE(key.Set(L"Embedded", REG_SZ, embedded, sizeof(embedded)));

    std::wstring text;
    ASSERT_TRUE(Utils::ReadRegistryString(HKEY_CURRENT_USER, key.Path(), L"Unterminated", text));
    EXPECT_EQ(text, longest);
    ASSERT_TRUE(Utils::ReadRegistryString(HKEY_CURRENT_USER, key.Path(), L"OddLength", text));
    EXPECT_EQ(text, L"xyz");
    ASSERT_TRUE(Utils::ReadRegistryString(HKEY_CURRENT_USER, key.Path(), L"Embedded", text));
    EXPECT_EQ(text, L"one");
}

TEST(ReadRegistryString, ViewSelectsTheRedirectedMachineKey)
{
    if (!Utils::Is64BitWindows()) {
        GTEST_SKIP() << "a 32-bit system has one registry view only";
    }
    // Without a view a process reads its own.
    const std::wstring processView = sizeof(void*) == 8 ? L"64" : L"32";
    CTestKey native(KEY_WOW64_64KEY, HKEY_LOCAL_MACHINE);
    CTestKey redirected(KEY_WOW64_32KEY, HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(native.IsOpen() && redirected.IsOpen());
    ASSERT_TRUE(native.SetText(L"Where", L"64"));
    ASSERT_TRUE(redirected.SetText(L"Where", L"32"));

    std::wstring text;
    ASSERT_TRUE(Utils::ReadRegistryString(HKEY_LOCAL_MACHINE, native.Path(), L"Where", text, Utils::RegistryView64));
    EXPECT_EQ(text, L"64");
    ASSERT_TRUE(Utils::ReadRegistryString(HKEY_LOCAL_MACHINE, native.Path(), L"Where", text, Utils::RegistryView32));
    EXPECT_EQ(text, L"32");
    ASSERT_TRUE(Utils::ReadRegistryString(HKEY_LOCAL_MACHINE, native.Path(), L"Where", text));
    EXPECT_EQ(text, processView);
}

TEST(FileExists, RelativeLongAndMissingPaths)
{
    KvTest::CTempFolder folder(L"kv-file-exists");
    std::ofstream(folder.Path() / L"present.txt") << "x";
    std::filesystem::create_directory(folder.Path() / L"sub");

    EXPECT_TRUE(Utils::FileExists((folder.Path() / L"present.txt").wstring()));
    EXPECT_FALSE(Utils::FileExists((folder.Path() / L"absent.txt").wstring()));
    EXPECT_FALSE(Utils::FileExists((folder.Path() / L"sub").wstring()));
    EXPECT_FALSE(Utils::FileExists(L""));

    wchar_t previous[MAX_PATH] = {};
    ASSERT_NE(::GetCurrentDirectoryW(MAX_PATH, previous), 0u);
    ASSERT_TRUE(::SetCurrentDirectoryW((folder.Path() / L"sub").c_str()));
    EXPECT_TRUE(Utils::FileExists(L"..\\present.txt"));
    EXPECT_TRUE(Utils::FileExists(L".\\..\\sub\\..\\present.txt"));
    EXPECT_FALSE(Utils::FileExists(L"..\\sub"));
    EXPECT_FALSE(Utils::FileExists(L"present.txt"));
    ::SetCurrentDirectoryW(previous);

    // Deeper than MAX_PATH: only reachable through the long-path prefix.
    // The folder's own clean-up cannot reach so deep: a reused process id may
    // find the chain of an earlier run, and this test removes it itself.
    std::wstring deep = L"\\\\?\\" + folder.Path().wstring();
    std::vector<std::wstring> chain;
    while (deep.size() < MAX_PATH + 40) {
        deep += L"\\" + std::wstring(50, L'd');
        ASSERT_TRUE(::CreateDirectoryW(deep.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
        chain.push_back(deep);
    }
    const std::wstring deepFile = deep + L"\\deep.txt";
    CHandle created(::CreateFileW(deepFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_NE(created.Get(), INVALID_HANDLE_VALUE);
    created.Reset();
    EXPECT_TRUE(Utils::FileExists(deepFile.substr(4)));
    EXPECT_TRUE(Utils::FileExists(deepFile));
    EXPECT_FALSE(Utils::FileExists(deep.substr(4)));

    EXPECT_TRUE(::DeleteFileW(deepFile.c_str()));
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        EXPECT_TRUE(::RemoveDirectoryW(it->c_str()));
    }
}

TEST(CreateTempFileName, CreatesAnEmptyFileInTheTempFolder)
{
    wchar_t tempPath[MAX_PATH + 1] = {};
    ASSERT_NE(::GetTempPathW(MAX_PATH + 1, tempPath), 0u);
    std::wstring first;
    std::wstring second;
    ASSERT_TRUE(Utils::CreateTempFileName(L"kvt", first));
    ASSERT_TRUE(Utils::CreateTempFileName(L"kvt", second));
    EXPECT_NE(first, second);
    for (const std::wstring& path : {first, second}) {
        const std::filesystem::path file(path);
        EXPECT_TRUE(Utils::FileExists(path));
        EXPECT_EQ(std::filesystem::file_size(file), 0u);
        EXPECT_EQ(file.parent_path() / L"", std::filesystem::path(tempPath));
        EXPECT_EQ(file.filename().wstring().rfind(L"kvt", 0), 0u);
        std::filesystem::remove(file);
    }
}

TEST(ExpandEnvironment, ExpandsKnownAndKeepsUnknownVariables)
{
    const std::wstring longValue(5000, L'v');
    ASSERT_TRUE(::SetEnvironmentVariableW(L"KV_EXPAND_TEST", longValue.c_str()));
    EXPECT_EQ(Utils::ExpandEnvironment(L"[%KV_EXPAND_TEST%]"), L"[" + longValue + L"]");
    EXPECT_EQ(Utils::ExpandEnvironment(L"%KV_UNSET_VARIABLE_X%\\y"), L"%KV_UNSET_VARIABLE_X%\\y");
    EXPECT_EQ(Utils::ExpandEnvironment(L""), L"");
    ::SetEnvironmentVariableW(L"KV_EXPAND_TEST", nullptr);
}

TEST(LoggedOnUserSid, IsTheProcessUsersSidWhateverTheCaseOfTheNames)
{
    std::wstring domain;
    std::wstring user;
    ASSERT_TRUE(Utils::GetSessionUserAndDomain(domain, user));
    ASSERT_FALSE(user.empty());
    const std::wstring sid = OwnUserSid();
    ASSERT_FALSE(sid.empty());
    EXPECT_EQ(Utils::GetLoggedOnUserSid(), sid);
    EXPECT_EQ(Utils::FindProfileSidOfAccount(Upper(domain), Upper(user)), sid);
    EXPECT_EQ(Utils::FindProfileSidOfAccount(domain, user + L"x"), L"");
}
