// Times one CDownloader download into a file: DownloadBench URL PATH [MD5]
// Prints "status=<n> bytes=<n> seconds=<s>". Used by scripts/bench-download.sh.

#include "cxx/core/Handle.h"
#include "cxx/network/downloader/Downloader.h"
#include "cxx/network/downloader/bench/StatusKeeper.h"

#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

using namespace Cxx::Network::Downloader;
using Cxx::Network::Downloader::Bench::CStatusKeeper;

int main()
{
    int argc = 0;
    Cxx::Core::CLocalMemory arguments(::CommandLineToArgvW(::GetCommandLineW(), &argc));
    wchar_t** argv = static_cast<wchar_t**>(arguments.Get());
    if (!argv || argc < 3) {
        std::fprintf(stderr, "usage: DownloadBench URL PATH [MD5]\n");
        return 2;
    }
    auto keeper = std::make_shared<CStatusKeeper>();
    std::unique_ptr<CDownloader> downloader =
        argc > 3 ? std::make_unique<CDownloader>(argv[1], argv[3]) : std::make_unique<CDownloader>(argv[1]);
    downloader->AddObserver(keeper);

    const auto start = std::chrono::steady_clock::now();
    if (!downloader->DownloadToFile(argv[2])) {
        std::fprintf(stderr, "the download was refused\n");
        return 1;
    }
    downloader->Wait();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;

    std::error_code error;
    const auto bytes = std::filesystem::file_size(std::filesystem::path(argv[2]), error);
    std::printf("status=%d bytes=%llu seconds=%.3f\n", static_cast<int>(keeper->status),
                error ? 0ULL : static_cast<unsigned long long>(bytes), elapsed.count());
    return keeper->status == Success ? 0 : 1;
}
