#pragma once

#include "browsercontrol/js/CustomObject.h"
#include "browsercontrol/js/MarshaledInterfacePointer.h"
#include "cxx/core/Handle.h"
#include "cxx/network/downloader/HttpTransfer.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace Cxx::GUI {
class CMessagePump;
}

namespace BrowserControl::JS {

// One download of a page into a target file, on a worker thread of its own (in an apartment of
// its own) that starts at once. With a callback object the page hears "onProgress" (the
// percentage as a text) after each chunk, then one of "onCancelled", "onFinished" or "onError",
// each on the thread that created the download; a download that did not finish deletes its
// file. Without one the file stays, whatever the outcome.
class CDownload {
public:
    // Call on the thread that owns the callback (which may be null).
    CDownload(const std::wstring& url, std::wstring targetPath, IDispatch* callback, bool noMarshal,
              Cxx::Network::Downloader::CTransferOptions transfer);
    CDownload(const CDownload&) = delete;
    CDownload& operator=(const CDownload&) = delete;
    // Cancels and joins when Join has not.
    ~CDownload();

    const std::wstring& Path() const { return m_path; }
    // Stops the download at its next chunk; nothing once it has ended.
    void Cancel() { m_cancelled.exchange(true); }
    // Waits for the worker, with the pump serving the calls it makes into this thread.
    void Join(Cxx::GUI::CMessagePump& pump);

    static constexpr int ChunkSize = 4096;

private:
    void Run(const std::wstring& url, const Cxx::Network::Downloader::CTransferOptions& transfer);
    bool Transfer(const std::wstring& url, const Cxx::Network::Downloader::CTransferOptions& transfer);
    bool OnProgress(double percent);
    void Call(const wchar_t* name, DISPPARAMS* arguments);

    std::atomic<bool> m_cancelled{false};
    const bool m_hasCallback;
    marshaled_interface_pointer<IDispatch> m_callback;
    const std::wstring m_path;
    const Cxx::Core::CHandle m_ended;
    std::thread m_worker;
};

// The script object download: start (url [, callback]) fetches the URL into a new temporary
// file and answers its path at once; cancel (path) stops that download. The object's end
// cancels every download and waits for them, serving the thread's messages meanwhile.
class CDownloader final : public custom_object<CDownloader> {
public:
    // noMarshal is handed to each download for its callback; transfer sets the seams of the
    // transfers (the defaults fetch over WinInet).
    explicit CDownloader(bool noMarshal, Cxx::Network::Downloader::CTransferOptions transfer = {});
    ~CDownloader() override;

    std::wstring GetName() const override { return L"download"; }

    HRESULT start(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);
    HRESULT cancel(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*);

private:
    std::mutex m_lock;
    std::map<std::wstring, std::shared_ptr<CDownload>> m_downloads;
    const bool m_noMarshal;
    const Cxx::Network::Downloader::CTransferOptions m_transfer;
};

} // namespace BrowserControl::JS
