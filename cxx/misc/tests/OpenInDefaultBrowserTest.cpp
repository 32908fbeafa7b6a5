#include "cxx/misc/OpenInDefaultBrowser.h"

#include "cxx/core/Handle.h"
#include "cxx/core/SystemUtils.h"
#include "cxx/core/TextUtils.h"
#include "cxx/core/tests/TestSupport.h"
#include "tests/support/TestProcess.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

namespace Utils = Cxx::Core::Utils;
using Cxx::Core::CRegKey;
using Cxx::Misc::CBrowserLaunchSystem;
using Cxx::Misc::COpenInDefaultBrowser;
using Cxx::Misc::CPresetParams;

namespace {

using P = CPresetParams;

TEST(FillUrlTemplate, FillsEscapesAndDropsUnfilledQueryPieces)
{
    const struct {
        std::wstring url;
        std::vector<std::pair<void (P::*)(const std::wstring&), std::wstring>> values;
        std::wstring expected;
    } cases[] = {
        {L"a?x={{buildid}}&y={{missing}}&z=1", {{&P::SetBuildId, L"7 a"}}, L"a?x=7%20a&z=1"},
        {L"https://h/p?x={{missing}}&y={{uid}}", {}, L"https://h/p"},
        {L"https://h/{{product}}/{{missing}}", {{&P::SetProduct, L"QXPDF"}}, L"https://h/QXPDF/{{missing}}"},
        {L"h?l={{langid}}&t={{trackid}}&v={{version}}&o={{osource}}&d={{dsi}}&b={{buildid}}",
         {{&P::SetLangId, L"de"}, {&P::SetTrackId, L"T"}, {&P::SetVersion, L"7"}, {&P::SetOSource, L"w"},
          {&P::SetDsi, L"52560000"}},
         L"h?l=de&t=T&v=7&o=w&d=52560000"},
        // An empty value is put in.
        {L"a?u={{uid}}&z=1", {{&P::SetUid, L""}}, L"a?u=&z=1"},
        {L"a?x={{product}}&y={{product}}", {{&P::SetProduct, L"P Q"}}, L"a?x=P%20Q&y=P%20Q"},
        {L"a?x={{buildid}}", {{&P::SetBuildId, L"1"}, {&P::SetBuildId, L"2"}}, L"a?x=2"},
        // Escaped longer than twice the value: the buffer grows.
        {L"a?x={{buildid}}", {{&P::SetBuildId, L"   "}}, L"a?x=%20%20%20"},
        // A value can neither add parameters nor placeholders of its own.
        {L"a?x={{buildid}}&d={{dsi}}", {{&P::SetBuildId, L"1&uid=u+v=w#f?{{dsi}}%;s=1"}, {&P::SetDsi, L"5"}},
         L"a?x=1%26uid%3Du%2Bv%3Dw%23f%3F%7B%7Bdsi%7D%7D%25%3Bs%3D1&d=5"},
        {L"a?x={{buildid}&y=}}&z=1", {{&P::SetBuildId, L"1"}}, L"a?z=1"},
        {L"a?x={{missing}}#top", {}, L"a#top"},
    };
    for (const auto& c : cases) {
        P params;
        for (const auto& [setter, value] : c.values) {
            (params.*setter)(value);
        }
        EXPECT_EQ(Cxx::Misc::FillUrlTemplate(c.url, params), c.expected) << c.url;
    }
}

// Writes (or, given none, removes) one value while the test runs, then puts
// back what stood there: some of these keys belong to the whole prefix.
struct CScopedValue {
    CScopedValue(HKEY root, std::wstring keyPath, std::wstring valueName, const std::optional<std::wstring>& value,
                 Utils::ERegistryView view = Utils::RegistryView64)
        : root(root), path(std::move(keyPath)), name(std::move(valueName)), view(view)
    {
        if (std::wstring text; Utils::ReadRegistryString(root, path, name, text, view)) {
            old = text;
        }
        Write(value);
    }
    ~CScopedValue() { Write(old); }
    void Write(const std::optional<std::wstring>& value) const
    {
        const REGSAM access = KEY_SET_VALUE | (view == Utils::RegistryView64 ? KEY_WOW64_64KEY : 0);
        CRegKey key;
        LONG status = ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, access, nullptr, key.Put(), nullptr);
        if (status == ERROR_SUCCESS && value) {
            status = ::RegSetValueExW(key.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value->c_str()),
                                      static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t)));
        } else if (status == ERROR_SUCCESS) {
            ::RegDeleteValueW(key.Get(), name.c_str());
        }
        EXPECT_EQ(status, ERROR_SUCCESS) << "cannot write " << Utils::WideToUtf8String(path);
    }

    HKEY root;
    std::wstring path, name;
    Utils::ERegistryView view;
    std::optional<std::wstring> old;
};

void DeleteTree(HKEY root, const std::wstring& path)
{
    CRegKey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, key.Put()) == ERROR_SUCCESS) {
        ::RegDeleteTreeW(key.Get(), nullptr);
        key.Reset();
        ::RegDeleteKeyExW(root, path.c_str(), KEY_WOW64_64KEY, 0);
    }
}

// The shell refuses unless told otherwise; command lines are recorded and,
// when asked, run to their end.
class CRecordingSystem : public CBrowserLaunchSystem {
public:
    bool ShellOpen(const std::wstring& target) override
    {
        shellTargets.push_back(target);
        return shellAccepts;
    }
    std::wstring SessionUserSid() override { return sid; }
    bool StartProcess(const std::wstring& commandLine) override
    {
        commandLines.push_back(commandLine);
        return !run || KvTest::RunAndWait(commandLine) == 0;
    }

    bool shellAccepts = false;
    // Another account than this process's; nothing stands under it unless a test writes it.
    std::wstring sid = L"S-1-5-21-4242-4242-4242-" + KvTest::ProcessTag();
    bool run = false;
    std::vector<std::wstring> shellTargets;
    std::vector<std::wstring> commandLines;
};

const std::wstring kChoice = L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\http\\UserChoice";
const std::wstring kIExplore = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\IEXPLORE.EXE";

class DefaultBrowser : public ::testing::Test {
protected:
    ~DefaultBrowser() override
    {
        DeleteTree(HKEY_USERS, system->sid);
        DeleteTree(HKEY_CLASSES_ROOT, progId);
        DeleteTree(HKEY_CLASSES_ROOT, progId + L".Own");
    }
    // The test program writes its arguments after "--touch FILE", joined by "|", into FILE.
    std::wstring RecordingCommand(const std::wstring& urlArgument) const
    {
        return L"\"" + KvTest::BuiltProgramPath(KV_RECORDING_PROGRAM) + L"\" --touch \"" + recordFile + L"\"" +
               urlArgument;
    }
    std::wstring Recorded() const
    {
        std::ifstream file(std::filesystem::path(recordFile), std::ios::binary);
        std::ostringstream content;
        content << file.rdbuf();
        return Utils::Utf8ToWideString(content.str());
    }
    bool Open(const std::wstring& url, const CPresetParams& params = {}) { return opener.Open(url, params); }

    KvTest::CTempFolder folder{L"kv-browser"};
    const std::wstring recordFile = (folder.Path() / L"args.txt").wstring();
    const std::wstring progId = L"KvTest.Browser." + KvTest::ProcessTag();
    std::shared_ptr<CRecordingSystem> system = std::make_shared<CRecordingSystem>();
    COpenInDefaultBrowser opener{system};
};

TEST_F(DefaultBrowser, ShellOpensOnlyWebLinks)
{
    system->shellAccepts = true;
    CPresetParams params;
    params.SetBuildId(L"7");
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"https://h/p?b={{buildid}}&m={{missing}}", L"https://h/p?b=7"},
        {L"https://h/?u=file:///x", L"https://h/?u=file:///x"},
        {L" Http://h/a b\"c", L"Http://h/a%20b%22c"},
        {L"calc.exe", L"http://calc.exe"},
        {L"localhost:8080/x?a=1", L"http://localhost:8080/x?a=1"},
        {L"example.com:443", L"http://example.com:443"},
        {L"localhost:80x", L""},
        // A trailing backslash would make the closing quote of the command's "%1" part of the URL.
        {L"http://h/dir\\", L"http://h/dir%5C"},
        // The browser's limit, 2,083 characters once escaped.
        {L"http://h/" + std::wstring(2074, L'a'), L"http://h/" + std::wstring(2074, L'a')},
        {L"http://h/" + std::wstring(2072, L'a') + L" ", L""},
        // Neither local files nor programs, whatever the scheme's letter case.
        {L"FILE:///Z:/windows/system32/calc.exe", L""},
        {L"C:\\Windows\\System32\\calc.exe", L""},
        {L"ms-settings:display", L""},
        {L"javascript:alert(1)", L""},
        {L"", L""},
    };
    for (const auto& [url, shellTarget] : cases) {
        system->shellTargets.clear();
        EXPECT_EQ(Open(url, params), !shellTarget.empty()) << Utils::WideToUtf8String(url);
        EXPECT_EQ(system->shellTargets, shellTarget.empty() ? std::vector<std::wstring>{}
                                                            : std::vector<std::wstring>{shellTarget});
    }
    EXPECT_TRUE(system->commandLines.empty());
    EXPECT_FALSE(CBrowserLaunchSystem().ShellOpen((folder.Path() / L"missing.kvtest").wstring()));
}

TEST_F(DefaultBrowser, SessionUsersChoiceStartsItsBrowserWithTheUrlAsOneArgument)
{
    CScopedValue processAccount(HKEY_CURRENT_USER, kChoice, L"ProgId", progId + L".Own");
    CScopedValue ownCommand(HKEY_CLASSES_ROOT, progId + L".Own\\shell\\open\\command", L"", L"own.exe %1");
    CScopedValue choice(HKEY_USERS, system->sid + L"\\" + kChoice, L"ProgId", progId);
    CScopedValue command(HKEY_CLASSES_ROOT, progId + L"\\shell\\open\\command", L"",
                         L"  " + RecordingCommand(L" %1 %1"));
    system->run = true;

    const std::wstring url = L"  HTTP://Example.com/A b?Q=\"x\" --evil \"%1";
    ASSERT_TRUE(Open(url));
    const std::wstring sent = L"HTTP://Example.com/A%20b?Q=%22x%22%20--evil%20%22%1";
    EXPECT_EQ(system->commandLines, std::vector<std::wstring>{RecordingCommand(L" " + sent + L" " + sent)});
    EXPECT_EQ(Recorded(), sent + L"|" + sent) << "every \"%1\" one argument, case kept";
}

TEST_F(DefaultBrowser, SchemesOwnCommandWithoutAChoice)
{
    system->run = true;
    CScopedValue http(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", L"", RecordingCommand(L""));
    CScopedValue https(HKEY_CLASSES_ROOT, L"https\\shell\\open\\command", L"", RecordingCommand(L" \"%1\""));
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"http://h/p", L"http://h/p"},
        {L"example.com/Page", L"http://example.com/Page"},
        {L"httpbin.org", L"http://httpbin.org"},
        {L"https://h/?a=\"b\"", L"https://h/?a=%22b%22"},
        // Backslashes at the end are escaped, so the closing quote stays a quote.
        {L"http://h/dir\\", L"http://h/dir%5C"},
        {L"https://h/a\\b\\\\", L"https://h/a\\b%5C%5C"},
    };
    for (const auto& [url, sent] : cases) {
        EXPECT_TRUE(Open(url)) << url;
        EXPECT_EQ(Recorded(), sent);
    }
    EXPECT_EQ(system->commandLines.front(), RecordingCommand(L" \"http://h/p\"")) << "appended in quotes";
}

TEST_F(DefaultBrowser, InternetExplorerWhenTheSchemeHasNoCommand)
{
    CScopedValue http(HKEY_CLASSES_ROOT, L"http\\shell\\open\\command", L"", std::nullopt);
    {
        CScopedValue iexplore(HKEY_LOCAL_MACHINE, kIExplore, L"", L"%SystemRoot%\\Program Files\\ie.exe",
                              Utils::RegistryViewDefault);
        EXPECT_TRUE(Open(L"http://h/"));
        const std::wstring expanded = Utils::ExpandEnvironment(L"%SystemRoot%");
        EXPECT_EQ(system->commandLines,
                  std::vector<std::wstring>{L"\"" + expanded + L"\\Program Files\\ie.exe\" \"http://h/\""});
    }
    system->commandLines.clear();
    CScopedValue noIExplore(HKEY_LOCAL_MACHINE, kIExplore, L"", std::nullopt, Utils::RegistryViewDefault);
    EXPECT_FALSE(Open(L"http://h/")) << "no browser at all";
    EXPECT_TRUE(system->commandLines.empty());
}

} // namespace
