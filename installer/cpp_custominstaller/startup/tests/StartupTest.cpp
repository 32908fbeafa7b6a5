#include "installer/cpp_custominstaller/gui/WebUiFiles.h"
#include "installer/cpp_custominstaller/startup/CBasicInstaller.h"
#include "installer/cpp_custominstaller/startup/CWebInstaller.h"
#include "installer/cpp_custominstaller/startup/ExitCodes.h"
#include "installer/cpp_custominstaller/startup/Startup.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <functional>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

using namespace CustomInstaller;
using Core::CommandLine::CInstallationDetails;
using Core::CommandLine::CInstallerOptions;
namespace fs = std::filesystem;

namespace {

using Log = std::vector<std::string>;

class FakeInstallManager : public Core::IInstallManager {
public:
    // onWait runs inside Wait, on the thread that waits.
    FakeInstallManager(std::string name, int finalState, Log& log, std::function<void()> onWait = {})
        : m_name(std::move(name)), m_finalState(finalState), m_log(log), m_onWait(std::move(onWait))
    {
    }
    ~FakeInstallManager() override { m_log.push_back(m_name + ".destroyed"); }

    int GetState() override { return m_state; }
    bool Start(std::shared_ptr<Core::JS::IInstallProgressJSCallback> callback) override
    {
        m_log.push_back(m_name + (callback ? ".Start(callback)" : ".Start(none)"));
        m_started = true;
        return true;
    }
    bool HasStarted() override { return m_started; }
    bool Cancel() override { return false; }
    void Wait() override
    {
        m_log.push_back(m_name + ".Wait");
        if (m_onWait) {
            m_onWait();
        }
        m_state = m_finalState;
    }

private:
    std::string m_name;
    int m_finalState;
    int m_state = Core::IS_NotFinished;
    bool m_started = false;
    Log& m_log;
    std::function<void()> m_onWait;
};

class FakeSessionHandler : public IGASessionHandler {
public:
    // onShutdown runs inside Shutdown, after it is logged.
    FakeSessionHandler(Log& log, std::function<void()> onShutdown) : m_log(log), m_onShutdown(std::move(onShutdown)) {}
    ~FakeSessionHandler() override { m_log.push_back("session.destroyed"); }
    void OnInstallSucceeded() override {}
    void OnInstallFailed() override {}
    void OnInstallCancelled() override {}
    void Shutdown() override
    {
        m_log.push_back("session.Shutdown");
        m_onShutdown();
    }

private:
    Log& m_log;
    std::function<void()> m_onShutdown;
};

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

class FakeServices : public IStartupServices {
public:
    // Answers.
    bool extractResult = true;
    bool firstInstance = true;
    bool setupRunning = false;
    bool internet = true;
    bool makeSessionHandler = true;
    std::optional<int> webState;
    std::optional<int> basicState;
    std::optional<int> silentState;
    bool unpackSucceeds = true;
    // The dialog result, and whether the page started the installation before it.
    int windowResult = 1;
    bool pageStarts = true;
    std::function<void()> webWait;
    // The steps that throw, by the names they log, and what.
    std::vector<std::string> throwAt;
    std::exception_ptr thrown;

    // Records.
    Log log;
    std::vector<CStartupEvent> events;
    std::vector<CStartupException> exceptions;
    std::vector<CInstallationDetails> sessionDetails;
    // The unpacked page's folder, and whether it was there while the window ran.
    fs::path pageFolder;
    bool pageThereDuringWindow = false;

    bool ExtractTrackingUid(const std::wstring& fileName) override
    {
        log.push_back("ExtractTrackingUid(" + Narrow(fileName) + ")");
        return extractResult;
    }
    bool IsFirstInstance() override
    {
        log.push_back("IsFirstInstance");
        return firstInstance;
    }
    void BringRunningCopyToFront() override { log.push_back("BringRunningCopyToFront"); }
    bool IsSetupAlreadyRunning() override
    {
        log.push_back("IsSetupAlreadyRunning");
        ThrowAt("IsSetupAlreadyRunning");
        return setupRunning;
    }
    void ReleaseInstance() override
    {
        log.push_back("ReleaseInstance");
        ThrowAt("ReleaseInstance");
    }
    SessionHandlerPtr CreateSessionHandler(const CInstallationDetails& details) override
    {
        log.push_back("CreateSessionHandler");
        sessionDetails.push_back(details);
        return makeSessionHandler ? std::make_shared<FakeSessionHandler>(log, [this] { ThrowAt("session.Shutdown"); })
                                  : nullptr;
    }
    void EnableBrowserEmulation() override { log.push_back("EnableBrowserEmulation"); }
    void DisableBrowserEmulation() override
    {
        log.push_back("DisableBrowserEmulation");
        ThrowAt("DisableBrowserEmulation");
    }
    void SendEvent(const CStartupEvent& event) override
    {
        log.push_back("SendEvent(" + event.action + ")");
        events.push_back(event);
        ThrowAt("SendEvent(" + event.action + ")");
    }
    void SendException(const CStartupException& exception) override
    {
        log.push_back("SendException(" + exception.description + ")");
        exceptions.push_back(exception);
    }
    void SetAutomaticSessionManagement(bool enabled) override
    {
        log.push_back(std::string("SetAutomaticSessionManagement(") + (enabled ? "true" : "false") + ")");
    }
    void Sleep(std::chrono::seconds duration) override
    {
        log.push_back("Sleep(" + std::to_string(duration.count()) + ")");
    }
    bool IsInternetConnected() override
    {
        log.push_back("IsInternetConnected");
        return internet;
    }
    ManagerPtr CreateWebInstallManager(const SessionHandlerPtr& handler, const CInstallationDetails&,
                                       const CInstallerOptions&) override
    {
        return Make("web", webState, handler, webWait);
    }
    ManagerPtr CreateBasicInstallManager(const SessionHandlerPtr& handler, const CInstallationDetails&,
                                         const CInstallerOptions&) override
    {
        return Make("basic", basicState, handler);
    }
    ManagerPtr CreateSilentInstallManager(const SessionHandlerPtr& handler, const CInstallationDetails&,
                                          const CInstallerOptions&) override
    {
        return Make("silent", silentState, handler);
    }
    std::unique_ptr<Gui::CWebUiFiles> UnpackWebUi() override
    {
        log.push_back("UnpackWebUi");
        if (!unpackSucceeds) {
            return nullptr;
        }
        pageFolder = fs::temp_directory_path() / ("kv-startup-page-" + std::to_string(::GetCurrentProcessId()));
        fs::create_directories(pageFolder);
        return std::make_unique<Gui::CWebUiFiles>(pageFolder.wstring());
    }
    int RunInstallerWindow(const Gui::CWebUiFiles& page, const ManagerPtr& manager,
                           const CInstallerOptions& options) override
    {
        log.push_back("RunInstallerWindow(" + Narrow(options.GetLanguage()) + ")");
        pageThereDuringWindow = fs::exists(fs::path(page.Folder()));
        if (pageStarts) {
            manager->Start(nullptr);
        }
        ThrowAt("RunInstallerWindow");
        return windowResult;
    }

private:
    void ThrowAt(const std::string& step) const
    {
        if (std::find(throwAt.begin(), throwAt.end(), step) != throwAt.end()) {
            std::rethrow_exception(thrown);
        }
    }

    ManagerPtr Make(const std::string& name, const std::optional<int>& state, const SessionHandlerPtr& handler,
                    std::function<void()> onWait = {})
    {
        log.push_back(std::string("Create:") + name + (handler ? "(session)" : "(no session)"));
        ThrowAt("Create:" + name);
        return state ? std::make_shared<FakeInstallManager>(name, *state, log, std::move(onWait)) : nullptr;
    }
};

const Log FinishSteps = {"ReleaseInstance", "DisableBrowserEmulation", "SendEvent(InstallerFinishW)",
                         "session.Shutdown", "session.destroyed"};

Log Concat(Log head, const Log& tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

} // namespace

TEST(ExitCodes, InstallStatesMapToTheProcessExitCodes)
{
    const std::pair<int, int> table[] = {{0, 0},   {1, 12}, {2, 14}, {3, 13},  {4, 13},
                                         {5, 15},  {6, 11}, {7, 99}, {8, 99}, {-1, 99}};
    for (const auto& [state, code] : table) {
        EXPECT_EQ(MapInstallStateToExitCode(state), code) << "state " << state;
    }
}

TEST(Startup, ExtractTrackingUidRunsOnlyTheJob)
{
    for (const bool succeeds : {true, false}) {
        FakeServices services;
        services.extractResult = succeeds;
        services.firstInstance = false;
        const int code = RunSetup(L"/S -extractTrackingUID=\"C:\\x y\\trackingUID.txt\" /DELAY=3", services);
        EXPECT_EQ(code, succeeds ? 0 : 99);
        EXPECT_EQ(services.log, Log{"ExtractTrackingUid(C:\\x y\\trackingUID.txt)"});
    }
}

TEST(Startup, AnotherCopyOrRunningSetupEndsWith11BeforeAnyAnalytics)
{
    FakeServices secondCopy;
    secondCopy.firstInstance = false;
    EXPECT_EQ(RunSetup(L"/S", secondCopy), 11);
    EXPECT_EQ(secondCopy.log, (Log{"IsFirstInstance", "BringRunningCopyToFront"}));

    FakeServices setupRunning;
    setupRunning.setupRunning = true;
    EXPECT_EQ(RunSetup(L"", setupRunning), 11);
    EXPECT_EQ(setupRunning.log, (Log{"IsFirstInstance", "IsSetupAlreadyRunning"}));
}

TEST(Startup, CancelOneInstanceCheckSkipsBothChecks)
{
    FakeServices services;
    services.firstInstance = false;
    services.setupRunning = true;
    services.silentState = Core::IS_Succeeded;
    EXPECT_EQ(RunSetup(L"/CANCEL_ONE_INSTANCE_CHECK /NO_UI", services), 0);
    EXPECT_EQ(services.log, Concat({"CreateSessionHandler", "EnableBrowserEmulation", "SendEvent(InstallerStartW)",
                                    "IsInternetConnected", "Create:silent(session)", "silent.Start(none)",
                                    "silent.Wait", "silent.destroyed"},
                                   FinishSteps));
}

TEST(Startup, WindowlessRoadRunsInOrderAndReleasesTheManagerBeforeTheEnd)
{
    FakeServices services;
    services.silentState = Core::IS_SourceFailed;
    EXPECT_EQ(RunSetup(L"/S /DELAY=5 /LANG=fr", services), 12);
    EXPECT_EQ(services.log,
              Concat({"IsFirstInstance", "IsSetupAlreadyRunning", "CreateSessionHandler", "EnableBrowserEmulation",
                      "SendEvent(InstallerStartW)", "Sleep(5)", "IsInternetConnected", "Create:silent(session)",
                      "silent.Start(none)", "silent.Wait", "silent.destroyed"},
                     FinishSteps));
    ASSERT_EQ(services.sessionDetails.size(), 1u);
    EXPECT_EQ(services.sessionDetails[0].language, L"fr");
    EXPECT_TRUE(services.sessionDetails[0].silent);

    ASSERT_EQ(services.events.size(), 2u);
    EXPECT_EQ(services.events[0].action, "InstallerStartW");
    EXPECT_EQ(services.events[0].category, "Install");
    EXPECT_EQ(services.events[0].screenName, "");
    EXPECT_EQ(services.events[0].value, 0);
    EXPECT_EQ(services.events[1].action, "InstallerFinishW");
    EXPECT_EQ(services.events[1].category, "Install");
    EXPECT_EQ(services.events[1].screenName, "");
    EXPECT_EQ(services.events[1].value, -1);
}

TEST(Startup, StartEventValueAndRoadFollowTheSwitches)
{
    struct Case {
        const wchar_t* commandLine;
        std::int64_t startValue;
        bool windowless;
    };
    for (const Case& c : {Case{L"/S", 0, true}, Case{L"/VS", 0, true}, Case{L"/NO_UI", 1, true},
                          Case{L"", 1, false}, Case{L"/s /UPDATE", 1, false}}) {
        FakeServices services;
        services.silentState = Core::IS_Succeeded;
        services.webState = Core::IS_Succeeded;
        EXPECT_EQ(RunSetup(c.commandLine, services), 0) << c.commandLine;
        ASSERT_FALSE(services.events.empty());
        EXPECT_EQ(services.events[0].value, c.startValue) << c.commandLine;
        const std::string factory = c.windowless ? "Create:silent(session)" : "Create:web(session)";
        EXPECT_NE(std::find(services.log.begin(), services.log.end(), factory), services.log.end())
            << c.commandLine;
    }
}

TEST(Startup, VerySilentHandsTheGivenClientIdToAutomaticSessions)
{
    FakeServices noUid;
    noUid.silentState = Core::IS_Succeeded;
    RunSetup(L"/VS", noUid);
    EXPECT_NE(std::find(noUid.log.begin(), noUid.log.end(), "SetAutomaticSessionManagement(true)"), noUid.log.end());

    FakeServices givenUid;
    givenUid.silentState = Core::IS_Succeeded;
    RunSetup(L"/VS /GA_TRACKING_UID=0123", givenUid);
    EXPECT_NE(std::find(givenUid.log.begin(), givenUid.log.end(), "SetAutomaticSessionManagement(false)"),
              givenUid.log.end());

    FakeServices silent;
    silent.silentState = Core::IS_Succeeded;
    RunSetup(L"/S", silent);
    for (const std::string& entry : silent.log) {
        EXPECT_EQ(entry.find("SetAutomaticSessionManagement"), std::string::npos);
    }
}

TEST(Startup, OnlyAPositiveWholeDelaySleeps)
{
    for (const wchar_t* commandLine : {L"/S /DELAY=-3", L"/S /DELAY=\"-3\"", L"/S /DELAY=abc", L"/S /DELAY=0"}) {
        FakeServices services;
        services.silentState = Core::IS_Succeeded;
        RunSetup(commandLine, services);
        for (const std::string& entry : services.log) {
            EXPECT_EQ(entry.find("Sleep"), std::string::npos) << "command line: " << Narrow(commandLine);
        }
    }
}

TEST(Startup, WithoutInternetTheWindowlessRoadEndsWith17AndStillFinishes)
{
    FakeServices services;
    services.internet = false;
    services.silentState = Core::IS_Succeeded;
    EXPECT_EQ(RunSetup(L"/VS", services), 17);
    EXPECT_EQ(services.log, Concat({"IsFirstInstance", "IsSetupAlreadyRunning", "CreateSessionHandler",
                                    "EnableBrowserEmulation", "SendEvent(InstallerStartW)", "IsInternetConnected"},
                                   FinishSteps));
}

// The page's files are there while the window runs and gone before the installation is waited for.
TEST(Startup, WebRoadWaitsForTheInstallationThePageStartedAndAnswersItsState)
{
    FakeServices services;
    services.webState = Core::IS_InstallerExitCode5;
    EXPECT_EQ(RunSetup(L"/LANG=de", services), 11);
    EXPECT_EQ(services.log,
              Concat({"IsFirstInstance", "IsSetupAlreadyRunning", "CreateSessionHandler", "EnableBrowserEmulation",
                      "SendEvent(InstallerStartW)", "Create:web(session)", "UnpackWebUi", "RunInstallerWindow(de)",
                      "web.Start(none)", "web.Wait", "web.destroyed"},
                     FinishSteps));
    EXPECT_TRUE(services.exceptions.empty());
    EXPECT_TRUE(services.pageThereDuringWindow);
    EXPECT_FALSE(fs::exists(services.pageFolder));
}

// A worker's last call into the page reaches the UI thread's window while the run waits for it.
TEST(Startup, TheWaitForTheInstallationServesCallsIntoThePage)
{
    const HWND window = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    FakeServices services;
    services.webState = Core::IS_Succeeded;
    bool served = false;
    services.webWait = [&] {
        std::thread worker([&] {
            DWORD_PTR answer = 0;
            served = ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &answer) != 0;
        });
        worker.join();
    };
    EXPECT_EQ(RunSetup(L"", services), 0);
    EXPECT_TRUE(served);
    ::DestroyWindow(window);
}

// A page that cannot be written counts as one that never showed. An installation that the
// page started is waited for, whatever the window answered, and no second manager is made.
TEST(Startup, TheWebRoadFallsBackOnlyWhenThePageNeverStartedTheManager)
{
    for (const bool unpackSucceeds : {false, true}) {
        SCOPED_TRACE(unpackSucceeds);
        FakeServices services;
        services.unpackSucceeds = unpackSucceeds;
        services.windowResult = CWebInstaller::PageTimeoutResult;
        services.webState = Core::IS_InstallerExitCode5;
        services.basicState = Core::IS_InstallerCancelled;
        EXPECT_EQ(RunSetup(L"", services), unpackSucceeds ? 11 : 13);
        EXPECT_EQ(services.pageThereDuringWindow, unpackSucceeds);
        ASSERT_EQ(services.exceptions.size(), 1u);
        EXPECT_EQ(services.exceptions[0].errorId, "IJ");
        const auto has = [&](const char* entry) {
            return std::find(services.log.begin(), services.log.end(), entry) != services.log.end();
        };
        EXPECT_EQ(has("web.Wait"), unpackSucceeds);
        EXPECT_EQ(has("Create:basic(session)"), !unpackSucceeds);
    }
}

TEST(Startup, PageClosedBeforeAnyOutcomeGives99WithTheFinishEvent)
{
    FakeServices services;
    services.webState = Core::IS_NotFinished;
    services.pageStarts = false;
    EXPECT_EQ(RunSetup(L"", services), 99);
    ASSERT_EQ(services.events.size(), 2u);
    EXPECT_EQ(services.events[1].action, "InstallerFinishW");
}

TEST(Startup, PageTimeoutSendsIJAndFallsBackToTheBasicFrontEnd)
{
    FakeServices services;
    services.windowResult = CWebInstaller::PageTimeoutResult;
    services.pageStarts = false;
    services.webState = Core::IS_NotFinished;
    services.basicState = Core::IS_InstallerCancelled;
    EXPECT_EQ(RunSetup(L"", services), 13);
    EXPECT_EQ(services.log,
              Concat({"IsFirstInstance", "IsSetupAlreadyRunning", "CreateSessionHandler", "EnableBrowserEmulation",
                      "SendEvent(InstallerStartW)", "Create:web(session)", "UnpackWebUi", "RunInstallerWindow(" +
                          Narrow(CInstallerOptions(CInstallationDetails{}).GetLanguage()) + ")",
                      "SendException(timeout)", "IsInternetConnected", "Create:basic(session)", "basic.Start(none)",
                      "basic.Wait", "basic.destroyed", "web.destroyed"},
                     FinishSteps));
    ASSERT_EQ(services.exceptions.size(), 1u);
    EXPECT_EQ(services.exceptions[0].description, "timeout");
    EXPECT_EQ(services.exceptions[0].errorId, "IJ");
    EXPECT_EQ(services.exceptions[0].code, 1);
    EXPECT_EQ(services.exceptions[0].kind, 2);
}

TEST(Startup, PageTimeoutWithoutInternetGives17AndNeverMakesAFallback)
{
    FakeServices services;
    services.windowResult = CWebInstaller::PageTimeoutResult;
    services.pageStarts = false;
    services.internet = false;
    services.webState = Core::IS_NotFinished;
    services.basicState = Core::IS_Succeeded;
    EXPECT_EQ(RunSetup(L"", services), 17);
    for (const std::string& entry : services.log) {
        EXPECT_EQ(entry.find("basic"), std::string::npos);
    }
}

TEST(Startup, MissingManagersGive99AndEveryRoadStillFinishes)
{
    FakeServices web;
    EXPECT_EQ(RunSetup(L"", web), 99);
    EXPECT_EQ(web.log, Concat({"IsFirstInstance", "IsSetupAlreadyRunning", "CreateSessionHandler",
                               "EnableBrowserEmulation", "SendEvent(InstallerStartW)", "Create:web(session)"},
                              FinishSteps));

    FakeServices fallback;
    fallback.windowResult = CWebInstaller::PageTimeoutResult;
    fallback.pageStarts = false;
    fallback.webState = Core::IS_NotFinished;
    EXPECT_EQ(RunSetup(L"", fallback), 99);

    FakeServices windowless;
    windowless.makeSessionHandler = false;
    EXPECT_EQ(RunSetup(L"/NO_UI", windowless), 99);
    EXPECT_EQ(windowless.log,
              (Log{"IsFirstInstance", "IsSetupAlreadyRunning", "CreateSessionHandler", "EnableBrowserEmulation",
                   "SendEvent(InstallerStartW)", "IsInternetConnected", "Create:silent(no session)",
                   "ReleaseInstance", "DisableBrowserEmulation", "SendEvent(InstallerFinishW)"}));
}

// From the checks on, whatever the run throws ends it with 99; once past them it first takes the
// common end, after its manager (the page's files too) has gone. Steps of that end that throw
// skip none of the others and leave the code as it was.
TEST(Startup, ARunThatThrowsEndsWith99AndFinishesOncePastTheChecksWhateverAFinishStepThrows)
{
    const Log start = {"IsFirstInstance", "IsSetupAlreadyRunning", "CreateSessionHandler", "EnableBrowserEmulation",
                       "SendEvent(InstallerStartW)"};
    const Log silentRun = Concat(Concat(start, {"IsInternetConnected", "Create:silent(session)", "silent.Start(none)",
                                                "silent.Wait", "silent.destroyed"}),
                                 FinishSteps);
    const struct {
        const wchar_t* commandLine;
        std::vector<std::string> throwAt;
        std::exception_ptr thrown;
        Log log;
        int code = 99;
    } cases[] = {
        {L"/S", {"Create:silent"}, std::make_exception_ptr(std::system_error(std::make_error_code(
                                     std::errc::resource_unavailable_try_again))),
         Concat(Concat(start, {"IsInternetConnected", "Create:silent(session)"}), FinishSteps)},
        {L"/LANG=de", {"RunInstallerWindow"}, std::make_exception_ptr(std::bad_alloc()),
         Concat(Concat(start, {"Create:web(session)", "UnpackWebUi", "RunInstallerWindow(de)", "web.Start(none)",
                               "web.destroyed"}),
                FinishSteps)},
        {L"/S", {"IsSetupAlreadyRunning"}, std::make_exception_ptr(std::runtime_error("no snapshot")),
         {"IsFirstInstance", "IsSetupAlreadyRunning"}},
        {L"/S", {"ReleaseInstance", "DisableBrowserEmulation"}, std::make_exception_ptr(std::runtime_error("registry")),
         silentRun, 0},
        {L"/S", {"SendEvent(InstallerFinishW)", "session.Shutdown"}, std::make_exception_ptr(std::bad_alloc()),
         silentRun, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.throwAt.front());
        FakeServices services;
        services.silentState = Core::IS_Succeeded;
        services.webState = Core::IS_Succeeded;
        services.throwAt = c.throwAt;
        services.thrown = c.thrown;
        EXPECT_EQ(RunSetup(c.commandLine, services), c.code);
        EXPECT_EQ(services.log, c.log);
        EXPECT_TRUE(services.pageFolder.empty() || !fs::exists(services.pageFolder));
    }
}

TEST(FrontEnds, AManagerThatIsGoneGives99)
{
    Log log;
    FakeServices services;
    auto manager = std::make_shared<FakeInstallManager>("m", Core::IS_Succeeded, log);
    CBasicInstaller basic(manager);
    CWebInstaller web(manager, CInstallerOptions(CInstallationDetails{}), services);
    manager.reset();
    EXPECT_EQ(basic.Run(), 99);
    EXPECT_EQ(web.Run(), 99);
    EXPECT_TRUE(services.log.empty());
}
