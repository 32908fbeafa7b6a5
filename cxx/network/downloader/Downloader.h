#pragma once

#include "cxx/core/thread/OperationThread.h"
#include "cxx/network/downloader/DownloadStatus.h"
#include "cxx/network/downloader/HttpTransfer.h"
#include "cxx/network/downloader/ProgressObserver.h"

#include <memory>
#include <mutex>
#include <ostream>
#include <set>
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
    // Everything a download's worker touches. The worker co-owns it, so an
    // observer may destroy the downloader from any notification: the download
    // then ends as cancelled on its own, and OnStatus still comes.
    struct CState;

    bool StartWorker(std::function<void(CState&, const CTransferOptions&)> operation);

    std::shared_ptr<CState> state;
    // Guarded by the state's start lock.
    CTransferOptions transferOptions;
    Core::Utils::COperationThread worker;
};

} // namespace Cxx::Network::Downloader
