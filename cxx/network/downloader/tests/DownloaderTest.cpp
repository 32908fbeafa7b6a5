#include "cxx/network/downloader/Downloader.h"

#include "cxx/core/Handle.h"
#include "cxx/core/thread/Interruption.h"
#include "cxx/network/downloader/Md5.h"
#include "cxx/network/tests/HttpTestSupport.h"
#include "tests/support/Loopback.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <future>
#include <sstream>

using namespace Cxx::Network::Downloader;

namespace {

// Records what a download reports; can cancel it at its first progress.
class CRecorder : public TDownloadObserver {
public:
    IDownloader* cancelOnProgress = nullptr;

    void OnStart() override
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        ++starts;
    }
    void OnProgress(double percent) override
    {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            progress.push_back(percent);
        }
        if (cancelOnProgress) {
            cancelOnProgress->Cancel();
        }
    }
    void OnStatus(EDownloadStatus status) override
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        statuses.push_back(status);
    }

    int starts = 0;
    std::vector<double> progress;
    std::vector<EDownloadStatus> statuses;

private:
    std::mutex m_mutex;
};

struct Download {
    std::shared_ptr<CRecorder> recorder = std::make_shared<CRecorder>();
    CDownloader downloader;

    template <typename... Args>
    explicit Download(Args&&... args) : downloader(std::forward<Args>(args)...)
    {
        downloader.AddObserver(recorder);
    }
};

std::wstring Target(const wchar_t* name)
{
    return Loopback::Folder("files") + L"\\" + name;
}

std::wstring Served(const char* name, const std::string& data)
{
    Loopback::WriteBytes(Loopback::Folder("files") + L"\\" + Cxx::Core::Utils::Utf8ToWideString(name), data);
    return Loopback::Url("files", std::string("/") + name);
}

} // namespace

TEST(Downloader, DownloadsSeveralMegabytesWithProgressAndDigest)
{
    const std::string data = Loopback::Pattern(Loopback::PatternSize);
    const std::wstring url = Served("big.bin", data);
    std::wstring upper = Loopback::PatternMd5;
    for (wchar_t& c : upper) {
        c = static_cast<wchar_t>(std::towupper(c));
    }
    for (const std::wstring& md5 : {std::wstring(Loopback::PatternMd5), upper}) {
        Download download(url, md5);
        const std::wstring target = Target(L"big-copy.bin");
        ASSERT_TRUE(download.downloader.DownloadToFile(target));
        download.downloader.Wait();
        const CRecorder& seen = *download.recorder;
        EXPECT_EQ(seen.starts, 1);
        ASSERT_EQ(seen.statuses, std::vector<EDownloadStatus>{Success});
        ASSERT_GT(seen.progress.size(), 40u) << "one report per chunk of 128 KiB";
        EXPECT_TRUE(std::is_sorted(seen.progress.begin(), seen.progress.end()));
        EXPECT_EQ(seen.progress.back(), 100.0);
        EXPECT_TRUE(Loopback::ReadBytes(target) == data);
        EXPECT_FALSE(Loopback::Exists(CDownloader::TemporaryPath(target)));
        DWORD size = 0;
        EXPECT_FALSE(::GetUrlCacheEntryInfoW(url.c_str(), nullptr, &size));
        EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND)) << "no copy in the WinInet cache";
    }
}

namespace {

// A row of the failure tables: what a download of this path ends with.
struct FailureRow {
    const char* path;
    bool ownMd5;
    EDownloadStatus status;
    std::size_t requests;
    int pauses;
};

// data.bin holds 300000 bytes, small.bin its first 12000. The limits pass a
// hundred times faster than the steady clock: silence in 0.3 s, a stall or
// headers in 0.6 s.
void ExpectFailureRows(std::initializer_list<FailureRow> rows)
{
    const std::string data = Loopback::Pattern(300000);
    Served("data.bin", data);
    const std::string small = data.substr(0, 12000);
    Served("small.bin", small);
    std::wstring own;
    Loopback::WriteBytes(Target(L"probe.bin"), data);
    ASSERT_EQ(FileMd5(Target(L"probe.bin"), own), DR_Ok);
    std::wstring ownSmall;
    Loopback::WriteBytes(Target(L"probe.bin"), small);
    ASSERT_EQ(FileMd5(Target(L"probe.bin"), ownSmall), DR_Ok);
    const std::wstring target = Target(L"data-copy.bin");
    for (const FailureRow& row : rows) {
        Loopback::WriteBytes(target, "an older file");
        const std::size_t before = Loopback::Requests("files").size();
        const bool isSmall = std::string(row.path).rfind("/small.bin", 0) == 0;
        Download download(Loopback::Url("files", row.path),
                          row.ownMd5 ? (isSmall ? ownSmall : own) : L"00000000000000000000000000000000");
        int pauses = 0;
        CTransferOptions options;
        // A download that would go on for ever is stopped at its 50th pause.
        options.sleeper = [&pauses](std::chrono::milliseconds) { return ++pauses < 50; };
        options.limits.clock = KvTest::FasterClock(100);
        download.downloader.SetTransferOptions(options);
        ASSERT_TRUE(download.downloader.DownloadToFile(target));
        download.downloader.Wait();
        EXPECT_EQ(download.recorder->statuses, std::vector<EDownloadStatus>{row.status}) << row.path;
        EXPECT_EQ(Loopback::Requests("files").size() - before, row.requests) << row.path;
        EXPECT_EQ(pauses, row.pauses) << row.path;
        EXPECT_EQ(Loopback::Exists(target), row.status == Success) << row.path;
        EXPECT_FALSE(Loopback::Exists(CDownloader::TemporaryPath(target))) << row.path;
    }
}

} // namespace

TEST(Downloader, FailingAttemptsAreThreeAndBoundedAndLeaveNoFile)
{
    ExpectFailureRows({
        {"/data.bin", false, Md5Mismatch, 3, 0},
        {"/data.bin?corrupt=1", true, Md5Mismatch, 3, 0},
        // Whole answers that end short: ten re-sends that bring no new byte end an attempt.
        {"/data.bin?more=100&norange=1", true, ReceiveFailed, 33, 30},
        {"/data.bin?part=50,25&norange=1", true, ReceiveFailed, 33, 30},
        // A re-send refused, or answered with nothing, ends its attempt at once.
        {"/data.bin?more=100", true, ReceiveFailed, 6, 3},
        {"/data.bin?part=50,0", true, ReceiveFailed, 6, 3},
        // One new byte per re-send is no progress.
        {"/data.bin?inch=100000", true, ReceiveFailed, 33, 30},
        // Status line and headers that trickle fail the send.
        {"/data.bin?slowhead=50", true, TimedOut, 3, 0},
        // A slow line is no stall.
        {"/small.bin?throttle=8192", true, Success, 1, 0},
    });
}

// Rows that wait out silence or a stall on every request (the slow half of the table).
TEST(Downloader, SilenceAndStallsEndAttemptsOrResume)
{
    ExpectFailureRows({
        // One new byte per re-send is no progress when the server then goes silent either.
        {"/data.bin?inch=100000&hang=1", true, TimedOut, 33, 30},
        // A connection gone silent meets the time-out and resumes where it stopped.
        {"/data.bin?dead=150000", true, Success, 2, 1},
        // A trickle stalls every re-send: each uses up the budget although it brings bytes.
        {"/data.bin?trickle=5", true, TimedOut, 33, 30},
        // A line that slows down after a fast phase stalls as well, on the first
        // request or on a re-send.
        {"/data.bin?fast=150000&trickle=5&trickled=1", true, Success, 2, 1},
        {"/data.bin?drop=100000&fast=200000&trickle=5&trickled=2", true, Success, 3, 2},
        // A slow request that breaks 45 s into its window leaves the re-send a
        // window of its own, in which the last ten bytes come (30 s).
        {"/small.bin?fast=11975&drop=11990&trickle=30", true, Success, 2, 1},
    });
}

TEST(Downloader, ThrottledDownloadIsCancelledCleanlyAndTheNextSucceeds)
{
    const std::string data = Loopback::Pattern(2 * 1024 * 1024);
    Served("slow.bin", data);
    Download download(Loopback::Url("files", "/slow.bin?throttle=4000000"));
    const std::wstring target = Target(L"slow-copy.bin");

    download.recorder->cancelOnProgress = &download.downloader;
    ASSERT_TRUE(download.downloader.DownloadToFile(target));
    download.downloader.Wait();
    EXPECT_EQ(download.recorder->statuses, std::vector<EDownloadStatus>{Cancelled});
    EXPECT_EQ(download.recorder->progress.size(), 1u) << "the transfer must stop at the next chunk";
    EXPECT_EQ(Loopback::Requests("files").size(), 1u) << "a cancel makes no further attempt";
    EXPECT_FALSE(Loopback::Exists(target));
    EXPECT_FALSE(Loopback::Exists(CDownloader::TemporaryPath(target)));

    download.recorder->cancelOnProgress = nullptr;
    ASSERT_TRUE(download.downloader.DownloadToFile(target));
    download.downloader.Wait();
    EXPECT_EQ(download.recorder->statuses, (std::vector<EDownloadStatus>{Cancelled, Success}));
    EXPECT_TRUE(Loopback::ReadBytes(target) == data);
}

TEST(Downloader, CancelWhileIdleDoesNotCancelTheNextDownload)
{
    Download download(Served("idle.bin", "some bytes"));
    EXPECT_TRUE(download.downloader.Cancel());
    EXPECT_FALSE(download.downloader.Cancel());
    ASSERT_TRUE(download.downloader.DownloadToFile(Target(L"idle-copy.bin")));
    download.downloader.Wait();
    EXPECT_EQ(download.recorder->statuses, std::vector<EDownloadStatus>{Success});
}

TEST(Downloader, SecondDownloadWhileOneRunsIsRefused)
{
    Served("busy.bin", Loopback::Pattern(600000));
    Download download(Loopback::Url("files", "/busy.bin?throttle=2000000"));
    ASSERT_TRUE(download.downloader.DownloadToStream(std::make_shared<std::stringstream>()));
    auto second = std::make_shared<std::stringstream>();
    EXPECT_FALSE(download.downloader.DownloadToStream(second));
    EXPECT_FALSE(download.downloader.DownloadToFile(Target(L"busy-copy.bin")));
    download.downloader.Wait();
    EXPECT_EQ(download.recorder->starts, 1);
    EXPECT_EQ(download.recorder->statuses, std::vector<EDownloadStatus>{Success});
    EXPECT_TRUE(second->str().empty());
}

TEST(Downloader, TargetFolder)
{
    Download download(Served("folder.bin", "in a new folder"));
    EXPECT_FALSE(download.downloader.DownloadToFile(L"no-folder.bin"));
    EXPECT_FALSE(download.downloader.DownloadToFile(Target(L"absent\\parent\\x.bin")));
    download.downloader.Wait();
    EXPECT_EQ(download.recorder->starts, 0) << "a refused download is not reported";

    const std::wstring target = Target(L"New\\folder.bin");
    ASSERT_TRUE(download.downloader.DownloadToFile(target));
    download.downloader.Wait();
    EXPECT_EQ(download.recorder->statuses, std::vector<EDownloadStatus>{Success});
    EXPECT_EQ(Loopback::ReadBytes(target), "in a new folder");
}

TEST(Downloader, StreamGetsNothingWhenEveryAttemptFails)
{
    Served("stream.bin", "streamed");
    Download failing(Loopback::Url("files", "/stream.bin?status=404"));
    auto stream = std::make_shared<std::stringstream>();
    ASSERT_TRUE(failing.downloader.DownloadToStream(stream));
    failing.downloader.Wait();
    EXPECT_EQ(failing.recorder->statuses, std::vector<EDownloadStatus>{ClientError});
    EXPECT_TRUE(stream->str().empty());
    EXPECT_EQ(Loopback::Requests("files").size(), 3u);

    std::wstring md5;
    std::stringstream probe("streamed");
    ASSERT_EQ(StreamMd5(probe, md5), DR_Ok);
    Download verified(Loopback::Url("files", "/stream.bin"), md5);
    ASSERT_TRUE(verified.downloader.DownloadToStream(stream));
    verified.downloader.Wait();
    EXPECT_EQ(verified.recorder->statuses, std::vector<EDownloadStatus>{Success});
    EXPECT_EQ(stream->str(), "streamed");
    EXPECT_FALSE(verified.downloader.DownloadToStream(nullptr));
}

TEST(Downloader, StreamGetsTheDownloadAfterWhatItHeldAndWritesGoOnAfterIt)
{
    const std::string data = Loopback::Pattern(300000);
    const std::wstring url = Served("handed.bin", data);
    const std::wstring file = Target(L"handed-copy.bin");
    struct Case {
        const char* name;
        std::shared_ptr<std::ostream> stream;
        std::string before;
        std::function<std::string()> content;
    };
    auto empty = std::make_shared<std::stringstream>();
    auto holding = std::make_shared<std::stringstream>();
    auto output = std::make_shared<std::ostringstream>();
    auto onDisk = std::make_shared<std::ofstream>(std::filesystem::path(file), std::ios::binary);
    const Case cases[] = {
        {"empty string stream", empty, "", [&] { return empty->str(); }},
        {"string stream holding bytes", holding, "older ", [&] { return holding->str(); }},
        {"output string stream", output, "", [&] { return output->str(); }},
        {"file", onDisk, "older ", [&] {
             onDisk->close();
             return Loopback::ReadBytes(file);
         }},
    };
    for (const Case& c : cases) {
        *c.stream << c.before;
        Download download(url);
        ASSERT_TRUE(download.downloader.DownloadToStream(c.stream)) << c.name;
        download.downloader.Wait();
        EXPECT_EQ(download.recorder->statuses, std::vector<EDownloadStatus>{Success}) << c.name;
        *c.stream << "!";
        EXPECT_TRUE(c.content() == c.before + data + "!") << c.name;
    }
}

TEST(Downloader, CancelEndsThePauseBeforeAResend)
{
    Served("broken.bin", Loopback::Pattern(800000));
    Download download(Loopback::Url("files", "/broken.bin?drop=300000"));
    std::promise<void> pausing;
    CTransferOptions options;
    options.sleeper = [&pausing](std::chrono::milliseconds pause) {
        pausing.set_value();
        return Cxx::Core::Utils::InterruptibleSleep(pause);
    };
    download.downloader.SetTransferOptions(options);
    ASSERT_TRUE(download.downloader.DownloadToStream(std::make_shared<std::stringstream>()));
    pausing.get_future().wait();
    download.downloader.Cancel();
    download.downloader.Wait();
    EXPECT_EQ(download.recorder->statuses, std::vector<EDownloadStatus>{Cancelled});
    EXPECT_EQ(Loopback::Requests("files").size(), 1u) << "no re-send and no further attempt after a cancel";
}

TEST(Downloader, CancelEndsEveryWaitForTheNetwork)
{
    Served("waited.bin", Loopback::Pattern(300000));
    struct Case {
        const char* path;
        // Cancelled once progress reaches this far; below 0: once the server has the request.
        double percent;
        std::size_t requests;
    };
    const Case cases[] = {
        {"/waited.bin?trickle=200", 0.0, 1},
        {"/waited.bin?fast=150000&trickle=200", 50.0, 1},
        {"/waited.bin?drop=100000&fast=200000&trickle=200&trickled=2", 66.0, 2},
        {"/waited.bin?dead=150000", 50.0, 1},
        {"/waited.bin?inch=100000&hang=1", 33.0, 1},
        {"/waited.bin?slowhead=200", -1.0, 1},
    };
    struct CWatch : TDownloadObserver {
        double percent = 0.0;
        std::promise<void> reached;
        bool told = false;
        void OnProgress(double done) override
        {
            if (done >= percent && !std::exchange(told, true)) {
                reached.set_value();
            }
        }
    };
    for (const Case& c : cases) {
        const std::size_t before = Loopback::Requests("files").size();
        Download download(Loopback::Url("files", c.path));
        CTransferOptions options;
        // No pause before a re-send: the waits cancelled here are for the network.
        options.sleeper = [](std::chrono::milliseconds) { return true; };
        download.downloader.SetTransferOptions(options);
        auto watch = std::make_shared<CWatch>();
        watch->percent = c.percent;
        download.downloader.AddObserver(watch);
        ASSERT_TRUE(download.downloader.DownloadToStream(std::make_shared<std::stringstream>()));
        if (c.percent >= 0) {
            ASSERT_EQ(watch->reached.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready)
                << c.path << ": the bytes that have arrived come as progress";
        } else {
            while (Loopback::Requests("files").size() == before) {
                ::Sleep(20);
            }
        }
        download.downloader.Cancel();
        auto waited = std::async(std::launch::async, [&download] { return download.downloader.Wait(); });
        ASSERT_EQ(waited.wait_for(std::chrono::seconds(20)), std::future_status::ready)
            << c.path << ": a wait for the network must see the cancel when it comes";
        EXPECT_EQ(download.recorder->statuses, std::vector<EDownloadStatus>{Cancelled}) << c.path;
        EXPECT_EQ(Loopback::Requests("files").size() - before, c.requests) << c.path;
    }
}

TEST(Downloader, OnlyLiveObserversAreCalled)
{
    Download download(Served("observed.bin", "observed"));
    auto removed = std::make_shared<CRecorder>();
    auto dropped = std::make_shared<CRecorder>();
    download.downloader.AddObserver(removed);
    download.downloader.AddObserver(dropped);
    download.downloader.AddObserver(download.recorder);
    download.downloader.RemoveObserver(removed);
    std::weak_ptr<CRecorder> gone = dropped;
    dropped.reset();
    ASSERT_TRUE(gone.expired());

    ASSERT_TRUE(download.downloader.DownloadToFile(Target(L"observed-copy.bin")));
    download.downloader.Wait();
    EXPECT_EQ(download.recorder->starts, 1) << "an observer added twice is held once";
    EXPECT_EQ(download.recorder->statuses, std::vector<EDownloadStatus>{Success});
    EXPECT_EQ(removed->starts, 0);
    EXPECT_TRUE(removed->statuses.empty());
}

TEST(Downloader, ObserverMayDestroyTheDownloaderFromAnyNotification)
{
    enum EWhen { AtStart, AtProgress, AtStatus };
    struct CDropper : TDownloadObserver {
        EWhen when = AtStart;
        std::unique_ptr<CDownloader> owned;
        std::promise<EDownloadStatus> ended;
        Cxx::Core::CHandle worker;
        void Drop(EWhen now)
        {
            if (now == when && owned) {
                worker.Reset(::OpenThread(SYNCHRONIZE, FALSE, ::GetCurrentThreadId()));
                owned.reset();
            }
        }
        void OnStart() override { Drop(AtStart); }
        void OnProgress(double) override { Drop(AtProgress); }
        void OnStatus(EDownloadStatus status) override
        {
            Drop(AtStatus);
            ended.set_value(status);
        }
    };
    const std::wstring url = Served("dropped.bin", Loopback::Pattern(1000000));
    for (const auto& [when, expected] : {std::pair{AtStart, Cancelled}, std::pair{AtProgress, Cancelled},
                                        std::pair{AtStatus, Success}}) {
        auto dropper = std::make_shared<CDropper>();
        dropper->when = when;
        dropper->owned = std::make_unique<CDownloader>(url);
        dropper->owned->AddObserver(dropper);
        auto ended = dropper->ended.get_future();
        ASSERT_TRUE(dropper->owned->DownloadToFile(Target(L"dropped-copy.bin")));
        EXPECT_EQ(ended.get(), expected) << "destroyed at " << when;
        EXPECT_EQ(dropper->owned, nullptr);
        // Nobody joins the worker any more; it must still end on its own (and
        // before this process exits, which it could otherwise race).
        ASSERT_TRUE(dropper->worker.IsValid());
        EXPECT_EQ(::WaitForSingleObject(dropper->worker.Get(), 10000), static_cast<DWORD>(WAIT_OBJECT_0));
        EXPECT_FALSE(Loopback::Exists(CDownloader::TemporaryPath(Target(L"dropped-copy.bin"))));
    }
}
