#include "installer/cpp_custominstaller/core/CInstaller.h"

#include "cxx/network/downloader/Downloader.h"
#include "tests/support/Loopback.h"
#include "tests/support/ScriptedConnection.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using namespace Cxx::Network::Downloader;
using CustomInstaller::Core::CInstaller;

class CStatusRecorder : public TDownloadObserver {
public:
    void OnStatus(EDownloadStatus status) override { statuses.push_back(status); }
    std::vector<EDownloadStatus> statuses;
};

// Re-sends go out at once; the host "untold.test" answers the bytes without
// telling their length.
CTransferOptions Seams(const std::string& untold)
{
    CTransferOptions options;
    options.sleeper = [](std::chrono::milliseconds) { return true; };
    options.connect = [untold](const std::wstring& host, std::uint16_t port,
                               std::int32_t scheme) -> std::shared_ptr<Cxx::Network::Http::HttpClient::IConnection> {
        if (host == L"untold.test") {
            auto connection = std::make_shared<KvTest::CScriptedConnection>();
            connection->body = KvTest::BodyOf(untold, 0);
            return connection;
        }
        return std::make_shared<Cxx::Network::Http::HttpClient::CSimpleGetHttpClient>(L"", host, L"", 0, port, false,
                                                                                       true, scheme);
    };
    return options;
}

} // namespace

// The setup program's road: a verified download into the shared buffer, then
// the installer file's Write.
TEST(InstallerDownload, WrittenFileHoldsExactlyTheDownloadedBytes)
{
    const std::string data = Loopback::Pattern(Loopback::PatternSize);
    const std::string changed = Loopback::Inverted(data);
    Loopback::WriteBytes(Loopback::Folder("files") + L"\\setup.exe", data);
    struct Case {
        const char* name;
        std::wstring url;
        const std::string& expected;
        const wchar_t* md5;
        // Requests the file server sees; the second is the re-send.
        std::size_t requests;
    };
    const Case cases[] = {
        {"with a length", Loopback::Url("files", "/setup.exe"), data, Loopback::PatternMd5, 1},
        {"restarted from byte 0", Loopback::Url("files", "/setup.exe?drop=3000000&norange=1"), data,
         Loopback::PatternMd5, 2},
        {"restarted from byte 0 with other bytes", Loopback::Url("files", "/setup.exe?drop=3000000&norange=1&changed=1"),
         changed, Loopback::InvertedPatternMd5, 2},
        {"without a length", L"http://untold.test/setup.exe", data, Loopback::PatternMd5, 0},
    };
    const std::wstring path = Loopback::Folder("files") + L"\\written.exe";
    for (const Case& c : cases) {
        const std::size_t before = Loopback::Requests("files").size();
        auto recorder = std::make_shared<CStatusRecorder>();
        CDownloader downloader(c.url, c.md5);
        downloader.SetTransferOptions(Seams(data));
        downloader.AddObserver(recorder);
        const auto buffer = std::make_shared<std::stringstream>();
        CInstaller installer(path, buffer);

        ASSERT_TRUE(downloader.DownloadToStream(buffer)) << c.name;
        downloader.Wait();
        ASSERT_EQ(recorder->statuses, std::vector<EDownloadStatus>{Success}) << c.name;
        const std::vector<std::string> requests = Loopback::Requests("files");
        ASSERT_EQ(requests.size() - before, c.requests) << c.name;
        if (c.requests == 2) {
            EXPECT_NE(requests.back().find("\"range\": \"bytes=3000000-\""), std::string::npos)
                << c.name << ": the re-send asks for the rest, and gets the whole body";
        }
        // Written twice: the buffer is read, not drained.
        for (int write = 0; write < 2; ++write) {
            ASSERT_TRUE(installer.Write()) << c.name;
            EXPECT_TRUE(Loopback::ReadBytes(path) == c.expected) << c.name << ", write " << write;
        }
    }
}
