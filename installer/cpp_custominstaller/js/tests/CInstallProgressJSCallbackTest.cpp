#include "installer/cpp_custominstaller/js/CInstallProgressJSCallback.h"

#include "browsercontrol/tests/RecordingDispatch.h"
#include "browsercontrol/tests/StaThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

using BrowserControl::JS::CArgumentList;
using BrowserControl::Tests::CApartment;
using BrowserControl::Tests::CRecordingDispatch;
using BrowserControl::Tests::CWorkerThread;
using BrowserControl::Tests::PumpUntil;
using Cxx::Core::CComPtr;
using CustomInstaller::Core::JS::CInstallProgressJSCallback;
using CustomInstaller::Core::JS::IInstallProgressJSCallback;

namespace {

constexpr DWORD kGenerous = 30000;

const std::vector<std::wstring> kPageMethods = {L"onStarted", L"onProgress", L"onError", L"onCancel", L"onFinish"};

struct CTimingRecord {
    std::vector<AppMetrics::CTimingData> created;
    int sent = 0;
};

class CFakeTiming : public AppMetrics::ITiming {
public:
    explicit CFakeTiming(std::shared_ptr<CTimingRecord> record) : m_record(std::move(record)) {}
    void SendElapsedSeconds() override {}
    void SendElapsed() override { ++m_record->sent; }

private:
    std::shared_ptr<CTimingRecord> m_record;
};

// Waits without taking messages, as a UI thread does while it joins its workers.
bool WaitWithoutPumping(const CWorkerThread& worker)
{
    const ULONGLONG deadline = ::GetTickCount64() + kGenerous;
    while (!worker.Done()) {
        if (::GetTickCount64() > deadline) {
            return false;
        }
        ::Sleep(1);
    }
    return true;
}

class InstallProgressJSCallback : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_apartment.Entered()); }

    std::shared_ptr<CInstallProgressJSCallback> Make(std::vector<std::wstring> methods = kPageMethods,
                                                     CInstallProgressJSCallback::CTimingFactory timing = {},
                                                     DWORD timeoutMs = CInstallProgressJSCallback::kDefaultCallTimeoutMs)
    {
        m_page = CComPtr<CRecordingDispatch>::Attach(CRecordingDispatch::Create(std::move(methods)));
        return CInstallProgressJSCallback::Create(m_page.Get(), false, std::move(timing), timeoutMs);
    }

    CApartment m_apartment;
    CComPtr<CRecordingDispatch> m_page;
    const DWORD m_uiThread = ::GetCurrentThreadId();
};

// Without analytics (no timing factory) the page still hears of the start and the finish.
TEST_F(InstallProgressJSCallback, CallOnTheUiThreadRunsBeforeItReturns)
{
    auto callback = Make();
    ASSERT_NE(callback, nullptr);
    callback->OnStarted();
    EXPECT_EQ(m_page->CallCount(), 1u);
    callback->OnProgress(51.41f);
    EXPECT_EQ(m_page->CallCount(), 2u);
    callback->OnFinish();
    const auto calls = m_page->Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].name, L"onStarted");
    EXPECT_EQ(calls[1].name, L"onProgress");
    EXPECT_EQ(calls[1].flags, DISPATCH_METHOD);
    ASSERT_EQ(calls[1].arguments.size(), 1u);
    EXPECT_EQ(calls[1].arguments[0].type, VT_R4);
    EXPECT_FLOAT_EQ(static_cast<float>(calls[1].arguments[0].number), 51.41f);
    EXPECT_EQ(calls[2].name, L"onFinish");
    for (const auto& call : calls) {
        EXPECT_EQ(call.threadId, m_uiThread);
    }
}

// A worker's calls run on the UI thread, in order, and each returns only once the page saw it.
// The progress call waits as long as this thread pumps, so a loaded machine cannot drop it.
TEST_F(InstallProgressJSCallback, WorkerCallsRunOnTheUiThreadInOrder)
{
    auto callback = Make(kPageMethods, {}, kGenerous);
    ASSERT_NE(callback, nullptr);
    EXPECT_EQ(::GetWindowThreadProcessId(callback->Handle(), nullptr), m_uiThread);
    std::shared_ptr<IInstallProgressJSCallback> shared = callback;
    std::vector<std::size_t> seenAfterEachCall;
    CWorkerThread worker([&] {
        shared->OnStarted();
        seenAfterEachCall.push_back(m_page->CallCount());
        shared->OnProgress(10.5f);
        seenAfterEachCall.push_back(m_page->CallCount());
        for (int code : {0, 1, 3}) {
            shared->OnError(code);
            seenAfterEachCall.push_back(m_page->CallCount());
        }
        shared->OnFinish();
        seenAfterEachCall.push_back(m_page->CallCount());
    });
    ASSERT_TRUE(worker.PumpUntilDone(kGenerous));
    EXPECT_EQ(seenAfterEachCall, (std::vector<std::size_t>{1, 2, 3, 4, 5, 6}));

    const auto calls = m_page->Calls();
    ASSERT_EQ(calls.size(), 6u);
    const std::vector<std::wstring> names = {L"onStarted", L"onProgress", L"onError",
                                             L"onError",   L"onError",    L"onFinish"};
    for (std::size_t index = 0; index < calls.size(); ++index) {
        SCOPED_TRACE(index);
        EXPECT_EQ(calls[index].name, names[index]);
        EXPECT_EQ(calls[index].threadId, m_uiThread);
    }
    EXPECT_TRUE(calls[0].arguments.empty());
    ASSERT_EQ(calls[1].arguments.size(), 1u);
    EXPECT_EQ(calls[1].arguments[0].type, VT_R4);
    EXPECT_DOUBLE_EQ(calls[1].arguments[0].number, 10.5);
    for (std::size_t index = 2; index < 5; ++index) {
        ASSERT_EQ(calls[index].arguments.size(), 1u);
        EXPECT_EQ(calls[index].arguments[0].type, VT_INT);
    }
    EXPECT_EQ(calls[2].arguments[0].number, 0.0);
    EXPECT_EQ(calls[3].arguments[0].number, 1.0);
    EXPECT_EQ(calls[4].arguments[0].number, 3.0);
    EXPECT_TRUE(calls[5].arguments.empty());
}

// The page's object has no "onCancel": that call does nothing, and the next still works.
TEST_F(InstallProgressJSCallback, MissingPageMethodFailsQuietly)
{
    auto callback = Make({L"onStarted", L"onProgress", L"onError", L"onFinish"});
    ASSERT_NE(callback, nullptr);
    bool cancelAnswer = true;
    CWorkerThread worker([&] {
        callback->OnCancel();
        cancelAnswer = callback->SendCallRequest(L"onCancel", CArgumentList(), CInstallProgressJSCallback::CD_Always);
        callback->OnFinish();
    });
    ASSERT_TRUE(worker.PumpUntilDone(kGenerous));
    EXPECT_FALSE(cancelAnswer);
    const auto calls = m_page->Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].name, L"onFinish");
    EXPECT_EQ(m_page->LookupCount(), 3u);
}

TEST_F(InstallProgressJSCallback, TimingRunsFromStartedToEachFinish)
{
    auto record = std::make_shared<CTimingRecord>();
    auto callback = Make(kPageMethods, [record](const AppMetrics::CTimingData& data) {
        record->created.push_back(data);
        return std::make_unique<CFakeTiming>(record);
    });
    ASSERT_NE(callback, nullptr);
    callback->OnFinish();
    EXPECT_EQ(record->sent, 0);
    callback->OnStarted();
    ASSERT_EQ(record->created.size(), 1u);
    EXPECT_EQ(record->created[0].variable, "InstallDuration");
    EXPECT_EQ(record->created[0].category, "Install");
    EXPECT_EQ(record->created[0].time, 0);
    EXPECT_FALSE(record->created[0].start.has_value());
    callback->OnFinish();
    callback->OnFinish();
    EXPECT_EQ(record->sent, 2);
    EXPECT_EQ(m_page->CallCount(), 4u);
}

// After the page is gone a worker's call returns at once, though the UI thread takes no messages.
TEST_F(InstallProgressJSCallback, AfterDetachWorkerCallsReturnWithoutTheUiThread)
{
    auto callback = Make();
    ASSERT_NE(callback, nullptr);
    callback->Detach();
    bool answer = true;
    CWorkerThread worker([&] {
        callback->OnProgress(60.0f);
        answer = callback->SendCallRequest(L"onFinish", CArgumentList(), CInstallProgressJSCallback::CD_Always);
    });
    ASSERT_TRUE(WaitWithoutPumping(worker));
    EXPECT_FALSE(answer);
    callback->OnFinish();
    EXPECT_EQ(m_page->CallCount(), 0u);
}

// A worker already waiting on its outcome when the page goes is answered by Detach itself.
TEST_F(InstallProgressJSCallback, DetachAnswersAWaitingWorker)
{
    auto callback = Make();
    ASSERT_NE(callback, nullptr);
    bool answer = true;
    CWorkerThread worker([&] {
        answer = callback->SendCallRequest(L"onFinish", CArgumentList(), CInstallProgressJSCallback::CD_Always);
    });
    const ULONGLONG deadline = ::GetTickCount64() + kGenerous;
    while (!(HIWORD(::GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) && ::GetTickCount64() < deadline) {
        ::Sleep(1);
    }
    ASSERT_TRUE(HIWORD(::GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE);
    callback->Detach();
    ASSERT_TRUE(WaitWithoutPumping(worker));
    EXPECT_FALSE(answer);
    EXPECT_EQ(m_page->CallCount(), 0u);
}

// Nobody said the page is gone and the UI thread stopped taking messages: the worker gives
// up after its time-out, and its late message calls nothing once the UI thread pumps again.
TEST_F(InstallProgressJSCallback, UnservedCallTimesOutAndIsNotRunLater)
{
    auto callback = Make(kPageMethods, {}, 200);
    ASSERT_NE(callback, nullptr);
    bool answer = true;
    CWorkerThread worker([&] {
        answer = callback->SendCallRequest(L"onProgress", CArgumentList(), CInstallProgressJSCallback::CD_MayDrop);
    });
    ASSERT_TRUE(WaitWithoutPumping(worker));
    EXPECT_FALSE(answer);
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(m_page->CallCount(), 0u);
    callback->OnFinish();
    EXPECT_EQ(m_page->CallCount(), 1u);
}

// A UI thread busy for longer than the call time-out misses the progress sent meanwhile,
// never the outcome, which would leave the page on its progress screen.
TEST_F(InstallProgressJSCallback, ABusyUiThreadMayMissProgressButNeverTheOutcome)
{
    constexpr DWORD kTimeoutMs = 100;
    const std::pair<std::wstring, void (*)(IInstallProgressJSCallback&)> outcomes[] = {
        {L"onFinish", [](IInstallProgressJSCallback& page) { page.OnFinish(); }},
        {L"onError", [](IInstallProgressJSCallback& page) { page.OnError(3); }},
        {L"onCancel", [](IInstallProgressJSCallback& page) { page.OnCancel(); }},
    };
    for (const auto& [name, report] : outcomes) {
        SCOPED_TRACE(testing::Message() << std::string(name.begin(), name.end()));
        auto callback = Make(kPageMethods, {}, kTimeoutMs);
        ASSERT_NE(callback, nullptr);
        std::atomic<bool> reporting{false};
        CWorkerThread worker([&, report = report] {
            callback->OnProgress(60.0f);
            reporting = true;
            report(*callback);
        });
        const ULONGLONG deadline = ::GetTickCount64() + kGenerous;
        while (!reporting && ::GetTickCount64() < deadline) {
            ::Sleep(1);
        }
        ASSERT_TRUE(reporting);
        // Still busy for well past the time-out after the outcome was sent.
        ::Sleep(3 * kTimeoutMs);
        ASSERT_TRUE(worker.PumpUntilDone(kGenerous));
        const auto calls = m_page->Calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].name, name);
    }
}

// A worker that drops the last reference leaves the page object to the UI thread. Its last
// call is the outcome, which is never dropped: progress is, when this thread serves it only
// after the call time-out, as it may on a loaded machine.
TEST_F(InstallProgressJSCallback, LastReferenceOnAWorkerIsReleasedOnTheUiThread)
{
    auto callback = Make();
    ASSERT_NE(callback, nullptr);
    const HWND window = callback->Handle();
    const ULONG withCallback = m_page->References();
    std::shared_ptr<IInstallProgressJSCallback> last = std::move(callback);
    CWorkerThread worker([&] {
        last->OnFinish();
        last.reset();
    });
    ASSERT_TRUE(worker.PumpUntilDone(kGenerous));
    EXPECT_EQ(m_page->CallCount(), 1u);
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(window); }, kGenerous));
    EXPECT_LT(m_page->References(), withCallback);
    EXPECT_EQ(m_page->LastReleaseThread(), m_uiThread);
}

} // namespace

// The install manager keeps the callback until after the window's thread has left its
// apartment: the page's object must be gone by then, let go on that thread by Detach.
TEST(InstallProgressJSCallbackApartment, DetachLetsThePageGoOnTheUiThreadBeforeTheApartmentEnds)
{
    const auto page = CComPtr<CRecordingDispatch>::Attach(CRecordingDispatch::Create(kPageMethods));
    std::shared_ptr<IInstallProgressJSCallback> keptByTheManager;
    ULONG referencesAfterDetach = 0;
    DWORD releasedOn = 0;
    CWorkerThread ui([&] {
        auto callback = CInstallProgressJSCallback::Create(page.Get(), false);
        if (!callback) {
            return;
        }
        keptByTheManager = callback;
        callback->OnStarted();
        callback->Detach();
        referencesAfterDetach = page->References();
        releasedOn = page->LastReleaseThread();
    });
    ASSERT_TRUE(ui.PumpUntilDone(kGenerous));
    ASSERT_NE(keptByTheManager, nullptr);
    EXPECT_EQ(page->CallCount(), 1u);
    EXPECT_EQ(referencesAfterDetach, 1u);
    EXPECT_EQ(releasedOn, ui.ThreadId());

    keptByTheManager.reset();
    EXPECT_EQ(page->References(), 1u);
    EXPECT_EQ(page->LastReleaseThread(), ui.ThreadId());
}
