#pragma once

#include "cxx/network/downloader/Downloader.h"

namespace Cxx::Network::Downloader::Bench {

// Keeps the last status a download reported, for the benchmark programs.
class CStatusKeeper : public TDownloadObserver {
public:
    void OnStatus(EDownloadStatus value) override { status = value; }
    EDownloadStatus status = Unknown;
};

} // namespace Cxx::Network::Downloader::Bench
