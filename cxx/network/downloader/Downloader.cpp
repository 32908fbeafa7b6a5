#include "cxx/network/downloader/Downloader.h"

#include "cxx/core/thread/Interruption.h"
#include "cxx/network/Url.h"
#include "cxx/network/downloader/Md5.h"

#include <windows.h>
#include <shlwapi.h>

#include <atomic>
#include <locale>
#include <sstream>
#include <string_view>

namespace Cxx::Network::Downloader {

namespace {

// Makes the folder of the path (its last level only) when it is missing.
bool PrepareTargetFolder(const std::wstring& path)
{
    const auto slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) {
        return false;
    }
    std::wstring folder = path.substr(0, slash);
    const std::locale locale;
    for (wchar_t& c : folder) {
        c = std::tolower(c, locale);
    }
    if (folder.empty() || folder.back() != L'\\') {
        folder += L'\\';
    }
    if (::PathFileExistsW(folder.c_str())) {
        return true;
    }
    return ::CreateDirectoryW(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

CTransferOptions WithInterruptiblePause(CTransferOptions options)
{
    if (!options.sleeper) {
        options.sleeper = [](std::chrono::milliseconds pause) { return Core::Utils::InterruptibleSleep(pause); };
    }
    return options;
}

// Hands a verified download to the caller's stream. A string stream that holds
// nothing yet takes the buffer's string itself: a copy would hold the body
// twice, in two large blocks. Any other stream gets it in one write.
bool Deliver(std::stringstream& buffer, std::ostream& stream)
{
    auto* strings = dynamic_cast<std::stringbuf*>(stream.rdbuf());
    if (strings && strings->view().empty()) {
        strings->str(std::move(buffer).str());
        stream.seekp(0, std::ios::end);
    } else {
        const std::string_view data = buffer.view();
        stream.write(data.data(), static_cast<std::streamsize>(data.size()));
    }
    stream.flush();
    return !stream.fail();
}

} // namespace

struct CDownloader::CState {
    CState(std::wstring url, std::wstring expectedMd5, bool verifyMd5)
        : url(std::move(url)), expectedMd5(std::move(expectedMd5)), verifyMd5(verifyMd5)
    {
    }

    void FileWorker(const std::wstring& path, const CTransferOptions& options);
    void StreamWorker(const std::shared_ptr<std::ostream>& stream, const CTransferOptions& options);
    // OnStart and the check of the URL; false (after OnStatus) when it does not crack.
    bool BeginDownload(std::wstring& requestUrl, std::uint16_t& port);
    // Runs the attempts; transfer makes one and verify checks its data.
    EDownloadStatus RunAttempts(const std::function<EDownloadStatus()>& transfer,
                                const std::function<EDownloadStatus()>& verify);
    void EndDownload(EDownloadStatus status);
    bool Progress(double percent);
    TObserverSet Observers();

    TObserverSet observers;
    std::mutex observerLock;
    std::atomic<bool> keepGoing{true};
    const std::wstring url;
    const std::wstring expectedMd5;
    const bool verifyMd5;
    // Set from a start until OnStatus is sent.
    std::atomic<bool> busy{false};
    // Serialises the starts and guards the downloader's transferOptions.
    std::mutex startLock;
};

CDownloader::CDownloader(std::wstring url, std::wstring expectedMd5)
    : state(std::make_shared<CState>(std::move(url), std::move(expectedMd5), true))
{
}

CDownloader::CDownloader(std::wstring url) : state(std::make_shared<CState>(std::move(url), std::wstring(), false)) {}

CDownloader::~CDownloader()
{
    Cancel();
    Wait();
}

std::wstring CDownloader::TemporaryPath(const std::wstring& path)
{
    return path + L".part";
}

bool CDownloader::DownloadToFile(const std::wstring& path)
{
    if (!PrepareTargetFolder(path)) {
        return false;
    }
    CUrl cracked;
    if (!cracked.CrackUrl(state->url)) {
        return false;
    }
    return StartWorker(
        [path](CState& running, const CTransferOptions& options) { running.FileWorker(path, options); });
}

bool CDownloader::DownloadToStream(std::shared_ptr<std::ostream> stream)
{
    if (!stream) {
        return false;
    }
    CUrl cracked;
    if (!cracked.CrackUrl(state->url)) {
        return false;
    }
    return StartWorker(
        [stream](CState& running, const CTransferOptions& options) { running.StreamWorker(stream, options); });
}

bool CDownloader::StartWorker(std::function<void(CState&, const CTransferOptions&)> operation)
{
    // An observer may destroy this downloader from the worker's first
    // notification, before Start has returned here: from then on only the
    // shared state, and the lock inside it, may be touched.
    const std::shared_ptr<CState> owned = state;
    std::lock_guard<std::mutex> guard(owned->startLock);
    if (owned->busy) {
        return false;
    }
    // The last download has reported; its thread is only returning.
    worker.Wait(-1);
    owned->keepGoing = true;
    owned->busy = true;
    // The default pause before a re-send ends early on Cancel.
    const CTransferOptions options = WithInterruptiblePause(transferOptions);
    const bool started = worker.Start([running = owned, operation = std::move(operation), options] {
        // Idle again once the download has reported, or failed to.
        struct CBusyReset {
            std::atomic<bool>& busy;
            ~CBusyReset() { busy = false; }
        } reset{running->busy};
        operation(*running, options);
    });
    if (!started) {
        owned->busy = false;
    }
    return started;
}

bool CDownloader::Cancel()
{
    const bool former = state->keepGoing.exchange(false);
    if (state->busy) {
        // Ends a pause before a re-send at once.
        worker.Interrupt();
    }
    return former;
}

bool CDownloader::Wait()
{
    worker.Wait(-1);
    return true;
}

void CDownloader::AddObserver(std::weak_ptr<TDownloadObserver> observer)
{
    std::lock_guard<std::mutex> guard(state->observerLock);
    if (!observer.expired()) {
        state->observers.insert(std::move(observer));
    }
}

void CDownloader::RemoveObserver(std::weak_ptr<TDownloadObserver> observer)
{
    std::lock_guard<std::mutex> guard(state->observerLock);
    if (!observer.expired()) {
        state->observers.erase(observer);
    }
}

void CDownloader::SetTransferOptions(CTransferOptions options)
{
    std::lock_guard<std::mutex> guard(state->startLock);
    transferOptions = std::move(options);
}

CDownloader::TObserverSet CDownloader::CState::Observers()
{
    std::lock_guard<std::mutex> guard(observerLock);
    return observers;
}

bool CDownloader::CState::Progress(double percent)
{
    for (const auto& observer : Observers()) {
        if (auto live = observer.lock()) {
            live->OnProgress(percent);
        }
    }
    return keepGoing;
}

bool CDownloader::CState::BeginDownload(std::wstring& requestUrl, std::uint16_t& port)
{
    for (const auto& observer : Observers()) {
        if (auto live = observer.lock()) {
            live->OnStart();
        }
    }
    CUrl cracked;
    if (!cracked.CrackUrl(url)) {
        EndDownload(InvalidUrl);
        return false;
    }
    requestUrl = (cracked.GetScheme() == US_Https ? L"https://" : L"http://") + cracked.GetHostName() +
                 cracked.GetPathAndQuery();
    port = cracked.GetPortNumber();
    return true;
}

EDownloadStatus CDownloader::CState::RunAttempts(const std::function<EDownloadStatus()>& transfer,
                                                 const std::function<EDownloadStatus()>& verify)
{
    EDownloadStatus status = Unknown;
    for (int attempt = 0; attempt < Attempts; ++attempt) {
        status = transfer();
        if (!keepGoing) {
            return Cancelled;
        }
        if (status == Cancelled || status == InvalidUrl) {
            return status;
        }
        if (status != Success) {
            continue;
        }
        if (!verifyMd5) {
            return Success;
        }
        status = verify();
        if (status == Success) {
            return Success;
        }
    }
    return status;
}

void CDownloader::CState::EndDownload(EDownloadStatus status)
{
    const TObserverSet notified = Observers();
    // A download started from here on waits for this thread to return.
    busy = false;
    for (const auto& observer : notified) {
        if (auto live = observer.lock()) {
            live->OnStatus(status);
        }
    }
}

void CDownloader::CState::FileWorker(const std::wstring& path, const CTransferOptions& options)
{
    if (path.empty()) {
        return;
    }
    std::wstring requestUrl;
    std::uint16_t port = 0;
    if (!BeginDownload(requestUrl, port)) {
        return;
    }
    const std::wstring temporary = TemporaryPath(path);
    EDownloadStatus status = RunAttempts(
        [&] {
            return TransferUrlToFile(requestUrl, temporary, ChunkSize, [this](double percent) { return Progress(percent); },
                                     port, nullptr, options);
        },
        [&] {
            std::wstring digest;
            const EDigestResult result = FileMd5(temporary, digest);
            return DigestStatus(result, digest, expectedMd5);
        });
    if (status == Success &&
        !::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
        status = Unknown;
    }
    if (status != Success) {
        // Neither the partial data nor an older file may pass for this download.
        ::DeleteFileW(temporary.c_str());
        ::DeleteFileW(path.c_str());
    }
    EndDownload(status);
}

void CDownloader::CState::StreamWorker(const std::shared_ptr<std::ostream>& stream, const CTransferOptions& options)
{
    if (!stream || stream->fail()) {
        return;
    }
    std::wstring requestUrl;
    std::uint16_t port = 0;
    if (!BeginDownload(requestUrl, port)) {
        return;
    }
    std::stringstream buffer;
    EDownloadStatus status = RunAttempts(
        [&] {
            buffer = std::stringstream();
            return TransferUrlToStream(requestUrl, buffer, ChunkSize,
                                       [this](double percent) { return Progress(percent); }, port, nullptr, options);
        },
        [&] {
            std::wstring digest;
            const EDigestResult result = StreamMd5(buffer, digest);
            return DigestStatus(result, digest, expectedMd5);
        });
    if (status == Success && !Deliver(buffer, *stream)) {
        status = Unknown;
    }
    EndDownload(status);
}

} // namespace Cxx::Network::Downloader
