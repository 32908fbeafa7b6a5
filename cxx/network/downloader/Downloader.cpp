#include "cxx/network/downloader/Downloader.h"

#include "cxx/core/thread/Interruption.h"
#include "cxx/network/Url.h"
#include "cxx/network/downloader/Md5.h"

#include <windows.h>
#include <shlwapi.h>

#include <locale>

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

} // namespace

CDownloader::CDownloader(std::wstring url, std::wstring expectedMd5)
    : url(std::move(url)), expectedMd5(std::move(expectedMd5)), verifyMd5(true)
{
}

CDownloader::CDownloader(std::wstring url) : url(std::move(url)), verifyMd5(false) {}

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
    if (!cracked.CrackUrl(url)) {
        return false;
    }
    return StartWorker([this, path](const CTransferOptions& options) { FileWorker(path, options); });
}

bool CDownloader::DownloadToStream(std::shared_ptr<std::ostream> stream)
{
    if (!stream) {
        return false;
    }
    CUrl cracked;
    if (!cracked.CrackUrl(url)) {
        return false;
    }
    return StartWorker(
        [this, stream](const CTransferOptions& options) { StreamWorker(stream, options); });
}

bool CDownloader::StartWorker(std::function<void(const CTransferOptions&)> operation)
{
    std::lock_guard<std::mutex> guard(startLock);
    if (*busy) {
        return false;
    }
    // The last download has reported; its thread is only returning.
    worker.Wait(-1);
    keepGoing = true;
    *busy = true;
    // The default pause before a re-send ends early on Cancel.
    const CTransferOptions options = WithInterruptiblePause(transferOptions);
    const bool started = worker.Start([busy = busy, operation = std::move(operation), options] {
        // Idle again once the download has reported, or failed to.
        struct CBusyReset {
            std::atomic<bool>& busy;
            ~CBusyReset() { busy = false; }
        } reset{*busy};
        operation(options);
    });
    if (!started) {
        *busy = false;
    }
    return started;
}

bool CDownloader::Cancel()
{
    const bool former = keepGoing.exchange(false);
    if (*busy) {
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
    std::lock_guard<std::mutex> guard(observerLock);
    if (!observer.expired()) {
        observers.insert(std::move(observer));
    }
}

void CDownloader::RemoveObserver(std::weak_ptr<TDownloadObserver> observer)
{
    std::lock_guard<std::mutex> guard(observerLock);
    if (!observer.expired()) {
        observers.erase(observer);
    }
}

void CDownloader::SetTransferOptions(CTransferOptions options)
{
    std::lock_guard<std::mutex> guard(startLock);
    transferOptions = std::move(options);
}

CDownloader::TObserverSet CDownloader::Observers()
{
    std::lock_guard<std::mutex> guard(observerLock);
    return observers;
}

bool CDownloader::Progress(double percent)
{
    for (const auto& observer : Observers()) {
        if (auto live = observer.lock()) {
            live->OnProgress(percent);
        }
    }
    return keepGoing;
}

bool CDownloader::BeginDownload(std::wstring& requestUrl, std::uint16_t& port)
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

EDownloadStatus CDownloader::RunAttempts(const std::function<EDownloadStatus()>& transfer,
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

void CDownloader::EndDownload(EDownloadStatus status)
{
    const TObserverSet notified = Observers();
    // A download started from here on waits for this thread to return.
    *busy = false;
    for (const auto& observer : notified) {
        if (auto live = observer.lock()) {
            live->OnStatus(status);
        }
    }
}

void CDownloader::FileWorker(const std::wstring& path, const CTransferOptions& options)
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

void CDownloader::StreamWorker(const std::shared_ptr<std::ostream>& stream, const CTransferOptions& options)
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
    if (status == Success) {
        const std::string data = std::move(buffer).str();
        stream->write(data.data(), static_cast<std::streamsize>(data.size()));
        stream->flush();
        if (stream->fail()) {
            status = Unknown;
        }
    }
    EndDownload(status);
}

} // namespace Cxx::Network::Downloader
