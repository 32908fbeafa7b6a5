#include "browsercontrol/js/ChildWindow.h"
#include "browsercontrol/js/Downloader.h"
#include "browsercontrol/js/Engine.h"
#include "browsercontrol/js/JSObjects.h"
#include "browsercontrol/js/Launcher.h"
#include "browsercontrol/js/System.h"
#include "browsercontrol/tests/ScriptHost.h"
#include "browsercontrol/tests/StaThread.h"
#include "cxx/core/tests/TestSupport.h"
#include "tests/support/Loopback.h"
#include "tests/support/TestProcess.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace BrowserControl;
using BrowserControl::Tests::ScriptText;

namespace {

using ProductList::ProductInfo;

class CCatalogue final : public ProductList::IProductList {
public:
    std::map<std::string, ProductInfo> products;

    bool GetProductInfo(const std::string& code, ProductInfo& info) override
    {
        const auto found = products.find(code);
        if (found != products.end()) {
            info = found->second;
        }
        return found != products.end();
    }
    bool IsProductInstalled(std::string) override { return false; }
    void GetProducts(std::vector<ProductInfo>&, bool) override {}
    void CollectProducts(std::map<std::string, ProductInfo>&) override {}
    bool LaunchProduct(const std::string&, const std::wstring&) override { return false; }
    bool IsSupportedVersion(const std::string&) override { return false; }
    std::wstring GetInstallSource(const std::string&) override { return {}; }
};

// Stands in for the opener and the window creator, writing what it was asked into a log.
class CStandIn final : public Cxx::Misc::IOpenInDefaultBrowser, public JS::IChildWindowCreator {
public:
    CStandIn(std::wstring& log, bool answer) : m_log(log), m_answer(answer) {}
    bool Open(const std::wstring& url, const Cxx::Misc::CPresetParams&) override
    {
        m_log += L"open " + url;
        return m_answer;
    }
    bool CreateChildWindow(const std::wstring& page, bool tray) override
    {
        m_log += L"window " + page + (tray ? L" tray" : L" centred");
        return m_answer;
    }

private:
    std::wstring& m_log;
    const bool m_answer;
};

// The shell of the real opener: it writes what reached it into a log.
class CRecordingShell final : public Cxx::Misc::CBrowserLaunchSystem {
public:
    explicit CRecordingShell(std::wstring& log) : m_log(log) {}
    bool ShellOpen(const std::wstring& target) override
    {
        m_log += L"open " + target;
        return true;
    }

private:
    std::wstring& m_log;
};

// One script call, with the value of r afterwards (the script sets it when the call answers)
// and what the call did, as the test's effect reader tells it.
struct CCase {
    std::wstring script;
    HRESULT hr;
    std::wstring r = L"'untouched'";
    std::wstring effects;
};

class StandardObjects : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_apartment.Entered());
        ASSERT_TRUE(m_host.AddExternal(m_objects));
    }

    void Run(const std::vector<CCase>& cases, const std::function<std::wstring()>& effects)
    {
        for (const CCase& c : cases) {
            ASSERT_EQ(m_host.Run(L"var r = 'untouched';"), S_OK);
            EXPECT_EQ(m_host.Run(c.script), c.hr) << c.script;
            EXPECT_EQ(Tests::Describe(m_host.Global(L"r").Get()), c.r) << c.script;
            EXPECT_EQ(effects(), c.effects) << c.script;
        }
    }
    std::function<std::wstring()> TakeLog()
    {
        return [this] { return std::exchange(m_log, std::wstring()); };
    }

    Tests::CApartment m_apartment;
    const std::shared_ptr<JS::CJSObjectsSimpleContainer> m_objects = std::make_shared<JS::CJSObjectsSimpleContainer>();
    Tests::CScriptHost m_host;
    std::wstring m_log;
};

// The test program writes the arguments after "--touch FILE", joined by "|", into FILE.
class Process : public StandardObjects {
protected:
    void SetUp() override
    {
        StandardObjects::SetUp();
        JS::AddScriptObject(m_objects, new JS::CLauncher());
    }
    // What the program recorded since the last call; "none" when it did not run.
    std::wstring TakeRecord()
    {
        const std::wstring text = Loopback::Exists(m_record)
                                      ? Cxx::Core::Utils::Utf8ToWideString(Loopback::ReadBytes(m_record))
                                      : L"none";
        std::filesystem::remove(std::filesystem::path(m_record));
        return text;
    }
    // A call of process that has the program record the words.
    std::wstring Call(const wchar_t* method, const std::wstring& program, const std::wstring& words) const
    {
        return std::wstring(L"external.process.") + method + L"(" + ScriptText(program) + L", " +
               ScriptText(L"--touch \"" + m_record + L"\" " + words) + L");";
    }

    const std::wstring m_program = KvTest::BuiltProgramPath(KV_RECORDING_PROGRAM);
    KvTest::CTempFolder m_folder{L"kv-process"};
    const std::wstring m_record = (m_folder.Path() / L"args.txt").wstring();
};

} // namespace

TEST_F(StandardObjects, SystemAnswersFromTheCatalogueAndOpensOnlyWebLinks)
{
    auto catalogue = std::make_shared<CCatalogue>();
    catalogue->products = {
        {"QXPDF", {.installDir = L"C:\\Vellix/", .mainExecutable = "Vellix Pro.exe", .version = "7.1.2.3"}},
        {"KT", {.installDir = L"C:\\KT", .mainExecutable = "kt\xc3\xbc.exe"}},
        {"ZLM", {.mainExecutable = "zlm.exe", .version = "1.0"}},
    };
    JS::AddScriptObject(m_objects, new JS::CSystem(catalogue, std::make_shared<Cxx::Misc::COpenInDefaultBrowser>(
                                                                  std::make_shared<CRecordingShell>(m_log))));
    m_objects->Add(L"bare", new JS::CSystem(nullptr, nullptr));
    Run({{L"var r = external.system.isInstalled('QXPDF');", S_OK, L"'7.1.2.3'"},
         {L"var r = external.system.isInstalled('NONE');", S_OK, L"''"},
         {L"var r = external.system.getInstallationPath('QXPDF');", S_OK, L"'C:\\Vellix/'"},
         {L"var r = external.system.getInstallationPath('KT');", S_OK, L"'C:\\KT\\'"},
         {L"var r = external.system.getInstallationPath('ZLM');", S_OK, L"''"},
         {L"var r = external.system.getMainExecutablePath('QXPDF');", S_OK, L"'C:\\Vellix/Vellix Pro.exe'"},
         {L"var r = external.system.getMainExecutablePath('KT');", S_OK, L"'C:\\KT\\kt\u00fc.exe'"},
         {L"var r = external.system.getMainExecutablePath('ZLM');", S_OK, L"''"},
         {L"var r = external.system.isInstalled(5);", E_INVALIDARG},
         {L"external.system.isInstalled('QXPDF');", E_INVALIDARG},
         {L"var r = external.bare.isInstalled(5);", E_FAIL},
         {L"external.system.openInDefaultBrowser('https://vellix.example/help?b={{buildid}}');", S_OK,
          L"'untouched'", L"open https://vellix.example/help"},
         {L"var r = external.system.openInDefaultBrowser('HTTP://vellix.example:8080/');", S_OK, L"undefined",
          L"open HTTP://vellix.example:8080/"},
         // A page may not open local files or programs, nor add arguments to the browser's.
         {L"external.system.openInDefaultBrowser('file:///C:/windows/notepad.exe');", S_OK},
         {L"external.system.openInDefaultBrowser('C:\\\\windows\\\\notepad.exe');", S_OK},
         {L"external.system.openInDefaultBrowser('javascript:alert(1)');", S_OK},
         {L"external.system.openInDefaultBrowser('http://vellix.example/\" --flag');", S_OK, L"'untouched'",
          L"open http://vellix.example/%22%20--flag"},
         {L"external.system.openInDefaultBrowser('');", S_OK},
         {L"external.system.openInDefaultBrowser();", E_INVALIDARG},
         {L"external.bare.openInDefaultBrowser();", E_FAIL}},
        TakeLog());
}

TEST_F(StandardObjects, ChildWindowTakesAPageAndAPlacement)
{
    JS::AddScriptObject(m_objects, new JS::CChildWindow(std::make_shared<CStandIn>(m_log, true)));
    m_objects->Add(L"refusing", new JS::CChildWindow(std::make_shared<CStandIn>(m_log, false)));
    m_objects->Add(L"bare", new JS::CChildWindow(nullptr));
    Run({{L"var r = external.childWindow.createWindow('a.html', '', 'Center');", S_OK, L"true",
          L"window a.html centred"},
         {L"var r = external.childWindow.createWindow('a.html', 'b.html', 'tray');", S_OK, L"true",
          L"window a.html tray"},
         {L"var r = external.refusing.createWindow('a.html', '', 'cEnTeR');", S_OK, L"false",
          L"window a.html centred"},
         {L"var r = external.childWindow.createWindow('a.html', '', 'Centre');", E_INVALIDARG},
         {L"var r = external.childWindow.createWindow('', '', 'Tray');", E_INVALIDARG},
         {L"var r = external.childWindow.createWindow('a.html', 2, 'Tray');", E_INVALIDARG},
         {L"var r = external.childWindow.createWindow('a.html', 'Tray');", E_INVALIDARG},
         {L"external.childWindow.createWindow('a.html', '', 'Tray');", E_INVALIDARG},
         {L"var r = external.bare.createWindow(1);", E_FAIL}},
        TakeLog());
}

TEST_F(StandardObjects, EngineTellsItsVersionAndDownloadRefusesWhatItCannotStart)
{
    JS::AddScriptObject(m_objects, new JS::CEngine(JS::EngineVersion));
    m_objects->Add(L"bare", new JS::CEngine(L""));
    JS::AddScriptObject(m_objects, new JS::CDownloader(false));
    const std::wstring url = L"'http://127.0.0.1:9/x.bin'";
    Run({{L"var r = external.engine.version();", S_OK, L"'3.2.0'"},
         {L"var r = external.engine.version(1);", E_INVALIDARG},
         {L"external.engine.version();", E_INVALIDARG},
         {L"var r = external.bare.version();", E_FAIL},
         {L"var r = external.download.start();", E_INVALIDARG},
         {L"var r = external.download.start('');", E_INVALIDARG},
         {L"var r = external.download.start(5);", E_INVALIDARG},
         {L"var r = external.download.start(" + url + L", 'page');", E_INVALIDARG},
         {L"var r = external.download.start(" + url + L", {}, 1);", E_INVALIDARG},
         {L"external.download.start(" + url + L");", E_INVALIDARG},
         {L"external.download.cancel('unknown.tmp');", S_OK},
         {L"var r = external.download.cancel('unknown.tmp');", E_INVALIDARG},
         {L"external.download.cancel('');", E_INVALIDARG},
         {L"external.download.cancel(5);", E_INVALIDARG}},
        TakeLog());

    // Without a temporary file to fetch into, nothing starts.
    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(::GetEnvironmentVariableW(L"TMP", temp, MAX_PATH), 0u);
    ::SetEnvironmentVariableW(L"TMP", L"C:\\kv-no-such-folder");
    EXPECT_EQ(m_host.Run(L"var r = external.download.start(" + url + L");"), E_FAIL);
    ::SetEnvironmentVariableW(L"TMP", temp);
}

TEST_F(Process, StartsTheProgramAndAnswersWhetherItStarted)
{
    const std::wstring program = ScriptText(m_program);
    Run({{L"var r = " + Call(L"executeAndWait", m_program, L"a b"), S_OK, L"true", L"a|b"},
         {Call(L"executeAndWait", m_program, L""), S_OK, L"'untouched'", L""},
         {L"var r = " + Call(L"executeAndWait", L"", L"a"), S_OK, L"false", L"none"},
         {L"var r = " + Call(L"execute", m_program + L".missing.exe", L"a"), S_OK, L"false", L"none"},
         {L"var r = external.process.execute(" + program + L");", E_INVALIDARG, L"'untouched'", L"none"},
         {L"var r = external.process.execute(" + program + L", '', '');", E_INVALIDARG, L"'untouched'", L"none"},
         {L"var r = external.process.execute(5, '');", E_INVALIDARG, L"'untouched'", L"none"},
         {L"var r = external.process.execute(null, '');", E_INVALIDARG, L"'untouched'", L"none"},
         {L"var r = external.process.execute(" + program + L", 5);", E_INVALIDARG, L"'untouched'", L"none"}},
        [this] { return TakeRecord(); });
}

TEST_F(Process, APathWithABlankRunsThatProgramNotTheDecoy)
{
    const KvTest::CBlankPathProgram program(m_program);
    // The decoy is real: the system itself runs it for the unquoted line, and it records nothing.
    ASSERT_EQ(KvTest::RunAndWait(program.Path() + L" --touch \"" + m_record + L"\" a"), 2);
    ASSERT_EQ(TakeRecord(), L"none");

    ASSERT_EQ(m_host.Run(Call(L"executeAndWait", program.Path(), L"waited")), S_OK);
    EXPECT_EQ(TakeRecord(), L"waited");
    ASSERT_EQ(m_host.Run(Call(L"execute", program.Path(), L"started")), S_OK);
    EXPECT_TRUE(Tests::PumpUntil([this] { return Loopback::ReadBytes(m_record) == "started"; }, 30000));
}

TEST_F(Process, WaitingServesTheThreadsMessagesAndKeepsItsQuit)
{
    constexpr UINT kPing = WM_APP + 7;
    ASSERT_TRUE(::PostThreadMessageW(::GetCurrentThreadId(), kPing, 0, 0));
    ::PostQuitMessage(4);
    ASSERT_EQ(m_host.Run(Call(L"executeAndWait", m_program, L"x")), S_OK);
    EXPECT_EQ(TakeRecord(), L"x");
    // The wait took the ping; the quit is there again.
    std::vector<std::pair<UINT, WPARAM>> left;
    for (MSG message; ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) {
        left.emplace_back(message.message, message.wParam);
    }
    EXPECT_EQ(left, (std::vector<std::pair<UINT, WPARAM>>{{WM_QUIT, 4}}));
}
