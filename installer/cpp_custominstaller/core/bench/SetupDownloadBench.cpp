// Times the setup program's road for its installer: a verified CDownloader
// download into a shared std::stringstream, then the installer file's Write.
//   SetupDownloadBench URL MD5 PATH
// Prints "status=<n> written=<0|1> bytes=<n> seconds=<s> peak=<bytes>
// before=<bytes>": peak
// is the larger of the process's peak working set and peak private bytes,
// before its working set when the download starts. Used by
// scripts/bench-download.sh.

#include "cxx/core/Handle.h"
#include "cxx/network/downloader/Downloader.h"
#include "cxx/network/downloader/bench/StatusKeeper.h"
#include "installer/cpp_custominstaller/core/CInstaller.h"

#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <sstream>
#include <string>

using namespace Cxx::Network::Downloader;
using Cxx::Network::Downloader::Bench::CStatusKeeper;

namespace {

bool MemoryCounters(PROCESS_MEMORY_COUNTERS& counters)
{
    counters.cb = sizeof(counters);
    return ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters)) != FALSE;
}

double Since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int Touch(std::size_t bytes)
{
    const auto start = std::chrono::steady_clock::now();
    const std::unique_ptr<volatile char[]> block(new volatile char[bytes]);
    for (std::size_t offset = 0; offset < bytes; offset += 4096) {
        block[offset] = 1;
    }
    std::printf("seconds=%.3f\n", Since(start));
    return 0;
}

} // namespace

int main()
{
    int argc = 0;
    Cxx::Core::CLocalMemory arguments(::CommandLineToArgvW(::GetCommandLineW(), &argc));
    wchar_t** argv = static_cast<wchar_t**>(arguments.Get());
    if (argv && argc == 3 && std::wstring(argv[1]) == L"--touch") {
        return Touch(static_cast<std::size_t>(std::wcstoull(argv[2], nullptr, 10)));
    }
    if (!argv || argc < 4) {
        std::fprintf(stderr, "usage: SetupDownloadBench URL MD5 PATH | --touch BYTES\n");
        return 2;
    }
    PROCESS_MEMORY_COUNTERS before = {};
    if (!MemoryCounters(before)) {
        std::fprintf(stderr, "no memory counters\n");
        return 1;
    }
    auto keeper = std::make_shared<CStatusKeeper>();
    CDownloader downloader(argv[1], argv[2]);
    downloader.AddObserver(keeper);
    auto buffer = std::make_shared<std::stringstream>();
    CustomInstaller::Core::CInstallerFile file(buffer, argv[3]);

    const auto start = std::chrono::steady_clock::now();
    if (!downloader.DownloadToStream(buffer)) {
        std::fprintf(stderr, "the download was refused\n");
        return 1;
    }
    downloader.Wait();
    const auto writing = std::chrono::steady_clock::now();
    const bool written = keeper->status == Success && file.Write();
    const double write = Since(writing);
    const double elapsed = Since(start);

    PROCESS_MEMORY_COUNTERS after = {};
    if (!MemoryCounters(after)) {
        std::fprintf(stderr, "no memory counters\n");
        return 1;
    }
    // Wine gives the current private bytes as their peak; the working set's peak is real there.
    const SIZE_T peak = std::max(after.PeakWorkingSetSize, after.PeakPagefileUsage);
    std::printf("status=%d written=%d bytes=%llu seconds=%.3f write=%.3f peak=%llu before=%llu\n",
                static_cast<int>(keeper->status), written ? 1 : 0,
                static_cast<unsigned long long>(buffer->view().size()), elapsed, write,
                static_cast<unsigned long long>(peak), static_cast<unsigned long long>(before.WorkingSetSize));
    return written ? 0 : 1;
}
