#pragma once

#include "cxx/core/thread/OperationThread.h"
#include "cxx/network/downloader/DownloadStatus.h"
#include "cxx/network/downloader/HttpTransfer.h"
#include "cxx/network/downloader/ProgressObserver.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <ostream>
#include <set>
#include <sstream>
#include <string>

namespace Cxx::Network::Downloader {

using TDownloadObserver = Core::Event::IProgressObserver<EDownloadStatus>;

// Downloads one URL in the background. Observers hear OnStart at each
// download, OnProgress, and one OnStatus, all on the download's worker thread.
class IDownloader {
public:
    virtual ~IDownloader() = default;
    // False for a null stream, a URL that does not crack, or while a download runs.
    virtual bool DownloadToStream(std::shared_ptr<std::ostream> stream) = 0;
    // False for a path without a folder, a folder that cannot be made, a URL
    // that does not crack, or while a download runs.
    virtual bool DownloadToFile(const std::wstring& path) = 0;
    // Stops the running download; returns the former keep-going flag.
    virtual bool Cancel() = 0;
    // Waits without limit for the running download to end.
    virtual bool Wait() = 0;
    virtual void AddObserver(std::weak_ptr<TDownloadObserver> observer) = 0;
    virtual void RemoveObserver(std::weak_ptr<TDownloadObserver> observer) = 0;
};

class CDownloader : public IDownloader {
public:
    static constexpr int Attempts = 3;
    static constexpr int ChunkSize = 0x20000;

    // Verifies the data against the MD5 digest (hex, any case).
    CDownloader(std::wstring url, std::wstring expectedMd5);
    explicit CDownloader(std::wstring url);
    ~CDownloader() override;

    bool DownloadToStream(std::shared_ptr<std::ostream> stream) override;
    // Downloads beside the file under a temporary name and puts it in place on
    // success only; a failed download leaves no file under the path.
    bool DownloadToFile(const std::wstring& path) override;
    bool Cancel() override;
    bool Wait() override;
    void AddObserver(std::weak_ptr<TDownloadObserver> observer) override;
    void RemoveObserver(std::weak_ptr<TDownloadObserver> observer) override;

    // The transfer's seams; the default pause before a re-send ends early on Cancel.
    // Takes effect from the next download.
    void SetTransferOptions(CTransferOptions options);

    // The name a file is downloaded under before it is put in place.
    static std::wstring TemporaryPath(const std::wstring& path);

private:
    using TObserverSet = std::set<std::weak_ptr<TDownloadObserver>, std::owner_less<std::weak_ptr<TDownloadObserver>>>;

    // Starts the operation with the transfer options as they are now.
    bool StartWorker(std::function<void(const CTransferOptions&)> operation);
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
    Core::Utils::COperationThread worker;
    std::wstring url;
    std::wstring expectedMd5;
    bool verifyMd5;

    // Serialises the starts. busy is set from a start until OnStatus is sent;
    // the worker co-owns it, so it touches nothing of a downloader that an
    // observer destroyed from OnStatus.
    std::mutex startLock;
    std::shared_ptr<std::atomic<bool>> busy = std::make_shared<std::atomic<bool>>(false);
    CTransferOptions transferOptions;
};

} // namespace Cxx::Network::Downloader
