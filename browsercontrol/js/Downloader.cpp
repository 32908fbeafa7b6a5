#include "browsercontrol/js/Downloader.h"

#include "browsercontrol/js/CallScriptFunction.h"
#include "browsercontrol/js/VariantArguments.h"
#include "cxx/core/ComHolder.h"
#include "cxx/core/SystemUtils.h"
#include "cxx/gui/MessagePump.h"
#include "cxx/network/Url.h"
#include "cxx/network/http/HttpParameters.h"

#include <algorithm>
#include <cstdint>

namespace BrowserControl::JS {

namespace Network = Cxx::Network;
using Network::Downloader::CTransferOptions;

CDownload::CDownload(const std::wstring& url, std::wstring targetPath, IDispatch* callback, bool noMarshal,
                     CTransferOptions transfer)
    : m_hasCallback(callback != nullptr), m_callback(callback, noMarshal), m_path(std::move(targetPath)),
      m_ended(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_worker([this, url, transfer = std::move(transfer)] { Run(url, transfer); })
{
}

CDownload::~CDownload()
{
    if (m_worker.joinable()) {
        Cancel();
        Cxx::GUI::CMessagePump pump;
        Join(pump);
    }
}

void CDownload::Join(Cxx::GUI::CMessagePump& pump)
{
    if (m_ended) {
        pump.WaitFor(m_ended.Get());
    }
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

void CDownload::Run(const std::wstring& url, const CTransferOptions& transfer)
{
    {
        const Cxx::Core::Utils::CComHolder apartment(COINIT_APARTMENTTHREADED);
        const bool transferred = Transfer(url, transfer);
        if (m_hasCallback) {
            const bool cancelled = m_cancelled;
            if (cancelled || !transferred) {
                ::DeleteFileW(m_path.c_str());
            }
            Call(cancelled ? L"onCancelled" : transferred ? L"onFinished" : L"onError", nullptr);
        }
        m_callback.ForgetThread();
    }
    ::SetEvent(m_ended.Get());
}

bool CDownload::Transfer(const std::wstring& url, const CTransferOptions& transfer)
{
    // The query goes as one parameter, taken whole; a "?" with nothing after it goes nowhere.
    const std::size_t mark = url.find(L'?');
    const std::wstring address = url.substr(0, mark);
    std::unique_ptr<Network::Http::HttpClient::CSimpleGetParametersSet> query;
    if (mark != std::wstring::npos && mark + 1 < url.size()) {
        query = std::make_unique<Network::Http::HttpClient::CSimpleGetParametersSet>();
        query->AddParameter(std::make_shared<Network::Http::HttpClient::CSimpleTextParameter>(url.substr(mark + 1)));
    }
    // The scheme and port are the URL's own; a URL that does not crack fails in the transfer.
    Network::CUrl cracked;
    const std::uint16_t port = cracked.CrackUrl(address) ? cracked.GetPortNumber() : 0;
    return Network::Downloader::TransferUrlToFile(
               address, m_path, ChunkSize, [this](double percent) { return OnProgress(percent); }, port,
               query.get(), transfer) == Network::Downloader::Success;
}

bool CDownload::OnProgress(double percent)
{
    if (m_cancelled) {
        return false;
    }
    // Without a content length the transfer reports 0 until its end, and then 100: no
    // percentage is known before.
    if (!m_hasCallback || percent <= 0.0) {
        return true;
    }
    const auto rounded = std::clamp<std::int64_t>(static_cast<std::int64_t>(percent + 0.5), 0, 100);
    CArgumentList arguments;
    arguments.Add(CVariant::String(std::to_wstring(rounded)));
    Call(L"onProgress", arguments.Params());
    return true;
}

void CDownload::Call(const wchar_t* name, DISPPARAMS* arguments)
{
    if (IDispatch* page = m_callback.Get()) {
        CallMethodByName(page, name, arguments);
    }
}

CDownloader::CDownloader(bool noMarshal, CTransferOptions transfer)
    : m_noMarshal(noMarshal), m_transfer(std::move(transfer))
{
    AddMethod(L"start", &CDownloader::start);
    AddMethod(L"cancel", &CDownloader::cancel);
}

CDownloader::~CDownloader()
{
    // Taken out of the map first: a page call served while waiting may come back here.
    std::map<std::wstring, std::shared_ptr<CDownload>> downloads;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        downloads.swap(m_downloads);
    }
    for (const auto& entry : downloads) {
        entry.second->Cancel();
    }
    // The workers' last page calls come to this thread: it must serve them while it waits.
    Cxx::GUI::CMessagePump pump;
    for (const auto& entry : downloads) {
        entry.second->Join(pump);
    }
}

HRESULT CDownloader::start(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    const UINT count = ArgumentCount(params);
    if ((count != 1 && count != 2) || !result) {
        return E_INVALIDARG;
    }
    std::wstring url;
    if (!VariantToString(params->rgvarg[count - 1], url)) {
        return E_INVALIDARG;
    }
    IDispatch* callback = nullptr;
    if (count == 2) {
        const VARIANT& object = params->rgvarg[0];
        if (object.vt != VT_DISPATCH || !object.pdispVal) {
            return E_INVALIDARG;
        }
        callback = object.pdispVal;
    }
    if (url.empty()) {
        return E_INVALIDARG;
    }
    // The system makes the file, so no two downloads share one; without it nothing starts.
    std::wstring path;
    if (!Cxx::Core::Utils::CreateTempFileName(L"sm", path)) {
        return E_FAIL;
    }
    const auto download = std::make_shared<CDownload>(url, path, callback, m_noMarshal, m_transfer);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_downloads.emplace(path, download);
    }
    return CVariant::String(path).CopyTo(result);
}

HRESULT CDownloader::cancel(DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*)
{
    std::wstring path;
    if (ArgumentCount(params) != 1 || !VariantToString(params->rgvarg[0], path) || result || path.empty()) {
        return E_INVALIDARG;
    }
    std::lock_guard<std::mutex> lock(m_lock);
    if (const auto found = m_downloads.find(path); found != m_downloads.end()) {
        found->second->Cancel();
    }
    return S_OK;
}

} // namespace BrowserControl::JS
