#include "cxx/network/downloader/HttpTransfer.h"
#include "cxx/network/downloader/Md5.h"

#include "cxx/network/NetworkException.h"
#include "tests/support/Loopback.h"
#include "tests/support/ScriptedConnection.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

using namespace Cxx::Network::Downloader;
using Cxx::Network::Exception::CNetworkException;
using Cxx::Network::Exception::CWinHttpNetworkException;
using Cxx::Network::Exception::CWinInetNetworkException;
using Cxx::Network::Http::HttpClient::IReadDataCallBack;

namespace {

struct CFakeSite {
    std::shared_ptr<KvTest::CScriptedConnection> connection = std::make_shared<KvTest::CScriptedConnection>();
    std::wstring host;
    std::uint16_t port = 0;
    std::int32_t scheme = -1;
    int connects = 0;

    CTransferOptions Options()
    {
        CTransferOptions options;
        options.connect = [this](const std::wstring& h, std::uint16_t p, std::int32_t s) {
            ++connects;
            host = h;
            port = p;
            scheme = s;
            return connection;
        };
        return options;
    }
};

EDownloadStatus Fetch(CFakeSite& site, const std::wstring& url, std::ostream& out, TProgressCallback progress = {},
                      std::uint16_t port = 80)
{
    return TransferUrlToStream(url, out, 4, std::move(progress), port, nullptr, site.Options());
}

} // namespace

TEST(DownloadStatus, FollowsTheKindThenTheCode)
{
    struct Case {
        std::shared_ptr<CNetworkException> failure;
        EDownloadStatus expected;
    };
    const Case cases[] = {
        {std::make_shared<CWinInetNetworkException>(4, "", 12002), TimedOut},
        {std::make_shared<CWinInetNetworkException>(3, "", 12029), RequestFailed},
        {std::make_shared<CWinInetNetworkException>(3, "", 12007), NetworkUnreachable},
        {std::make_shared<CWinHttpNetworkException>(3, "", 12004), InternalError},
        {std::make_shared<CWinHttpNetworkException>(3, "", 12005), InvalidUrl},
        {std::make_shared<CNetworkException>(0, "", 0), InvalidUrl},
        {std::make_shared<CNetworkException>(2, "", 0), NetworkUnreachable},
        {std::make_shared<CNetworkException>(6, "", 0), RequestFailed},
        {std::make_shared<CNetworkException>(5, "", 0), ReceiveFailed},
        {std::make_shared<CNetworkException>(7, "", 0), ClientError},
        {std::make_shared<CNetworkException>(8, "", 0), ServerError},
        {std::make_shared<CNetworkException>(9, "", 0), UnexpectedStatus},
        {std::make_shared<CNetworkException>(10, "", 0), Unknown},
        {nullptr, Unknown},
    };
    for (const Case& c : cases) {
        CFakeSite site;
        site.connection->body = [&c](IReadDataCallBack&, std::size_t) { throw c.failure; };
        std::stringstream out;
        EXPECT_EQ(Fetch(site, L"http://h/x", out), c.expected)
            << "code " << (c.failure ? c.failure->GetCode() : -1) << " error "
            << (c.failure ? c.failure->GetSystemError() : 0);
    }
    CFakeSite site;
    site.connection->body = [](IReadDataCallBack&, std::size_t) { throw CNetworkException(0, "by value", 0); };
    std::stringstream out;
    EXPECT_EQ(Fetch(site, L"http://h/x", out), Unknown) << "parameter failures thrown by value";
}

TEST(Transfer, SchemeHostAndQueryComeFromTheUrl)
{
    CFakeSite site;
    site.connection->body = [](IReadDataCallBack&, std::size_t) {};
    std::stringstream out;
    ASSERT_EQ(Fetch(site, L"https://files.example:8443/a/b.bin?x=1&y=2#part", out, {}, 8443), Success);
    EXPECT_EQ(site.scheme, Cxx::Network::US_Https) << "https on a port other than 443 is still TLS";
    EXPECT_EQ(site.port, 8443);
    EXPECT_EQ(site.host, L"files.example");
    EXPECT_EQ(site.connection->objectPath, L"/a/b.bin?x=1&y=2");

    ASSERT_EQ(Fetch(site, L"http://files.example:443/c", out, {}, 443), Success);
    EXPECT_EQ(site.scheme, Cxx::Network::US_Http) << "http on 443 is not TLS";

    EXPECT_EQ(site.connects, 2);
    EXPECT_EQ(Fetch(site, L"files.example/c", out), InvalidUrl);
    EXPECT_EQ(Fetch(site, L"ftp://files.example/c", out), InvalidUrl);
    EXPECT_EQ(site.connects, 2) << "a URL that does not crack must open no connection";
}

TEST(Transfer, ProgressWithoutOrBeyondTheAnnouncedLength)
{
    for (const std::uint64_t announced : {std::uint64_t(0), std::uint64_t(8)}) {
        CFakeSite site;
        site.connection->body = [announced](IReadDataCallBack& sink, std::size_t) {
            ASSERT_TRUE(sink.OnReadData("abcd", 4, 4, 4, announced));
            ASSERT_TRUE(sink.OnReadData("efgh", 4, 4, 8, announced));
            ASSERT_TRUE(sink.OnReadData("ij", 4, 2, 10, announced));
        };
        std::vector<double> seen;
        std::stringstream out;
        ASSERT_EQ(Fetch(site, L"http://h/x", out, [&seen](double p) { seen.push_back(p); return true; }), Success);
        EXPECT_EQ(out.str(), "abcdefghij");
        const std::vector<double> expected =
            announced == 0 ? std::vector<double>{0.0, 0.0, 0.0, 100.0} : std::vector<double>{50.0, 100.0, 100.0, 100.0};
        EXPECT_EQ(seen, expected) << "announced length " << announced;
    }
}

TEST(Transfer, EmptyStringStreamIsGrownOnceToTheAnnouncedLength)
{
    // Longer than a string holds in itself.
    const std::string body = Loopback::Pattern(1000);
    constexpr std::uint64_t tooLong = std::numeric_limits<std::uint64_t>::max();
    struct Case {
        const char* name;
        std::string before;
        std::uint64_t announced;
        EDownloadStatus status;
        std::string after;
        // The string's capacity afterwards; 0 where it may be any.
        std::size_t capacity;
    };
    const Case cases[] = {
        {"announced", "", body.size(), Success, body, body.size()},
        {"untold", "", 0, Success, body, 0},
        {"shorter than the body", "", 400, Success, body, 0},
        {"after bytes of its own", "older ", body.size(), Success, "older " + body, 0},
        {"beyond any string", "", tooLong, Unknown, "", 0},
    };
    for (const Case& c : cases) {
        CFakeSite site;
        site.connection->body = KvTest::BodyOf(body, c.announced);
        std::stringstream out(c.before, std::ios::in | std::ios::out | std::ios::ate);
        EXPECT_EQ(Fetch(site, L"http://h/x", out), c.status) << c.name;
        EXPECT_EQ(out.bad(), c.status != Success) << c.name;
        const std::string stored = std::move(out).str();
        EXPECT_EQ(stored, c.after) << c.name;
        if (c.capacity != 0) {
            EXPECT_EQ(stored.capacity(), c.capacity) << c.name << ": one block of the announced length";
        }
    }
}

TEST(Transfer, StreamThatFailsOnWritingEndsTheTransfer)
{
    CFakeSite site;
    int chunks = 0;
    site.connection->body = [&chunks](IReadDataCallBack& sink, std::size_t) {
        while (chunks < 5 && sink.OnReadData("abcd", 4, 4, 4u * (chunks + 1), 20)) {
            ++chunks;
        }
    };
    std::stringstream out;
    out.setstate(std::ios::badbit);
    EXPECT_EQ(Fetch(site, L"http://h/x", out), Unknown);
    EXPECT_EQ(chunks, 0) << "reading must stop at the first failed write";
}

TEST(Transfer, AnswersOfTheFileServer)
{
    const std::wstring folder = Loopback::Folder("files");
    Loopback::WriteBytes(folder + L"\\small.bin", Loopback::Pattern(1000000));
    const std::uint16_t port = Loopback::Port("files");
    std::stringstream out;

    EXPECT_EQ(TransferUrlToStream(Loopback::Url("files", "/missing.bin"), out, 0x20000, {}, port, nullptr), ClientError);
    EXPECT_EQ(TransferUrlToStream(Loopback::Url("files", "/small.bin?status=503"), out, 0x20000, {}, port, nullptr),
              ServerError);

    std::vector<double> seen;
    EXPECT_EQ(TransferUrlToStream(Loopback::Url("files", "/small.bin"), out, 0x20000,
                                  [&seen](double p) { seen.push_back(p); return false; }, port, nullptr),
              Cancelled);
    EXPECT_EQ(seen.size(), 1u) << "a stopped transfer must not report 100 afterwards";

    EXPECT_EQ(TransferUrlToFile(Loopback::Url("files", "/small.bin"), folder + L"\\no\\such\\folder.bin", 0x20000, {},
                                port, nullptr),
              Unknown);
    EXPECT_EQ(Loopback::Requests("files").size(), 3u) << "a file that does not open must make no request";
}

TEST(Transfer, ClosedPortFailsTheRequest)
{
    const std::uint16_t closed = Loopback::ClosedPort();
    ASSERT_NE(closed, 0);
    std::stringstream out;
    const EDownloadStatus status = TransferUrlToStream(L"http://127.0.0.1:" + std::to_wstring(closed) + L"/x", out,
                                                       0x20000, {}, closed, nullptr);
    EXPECT_TRUE(status == RequestFailed || status == NetworkUnreachable) << status;
}

TEST(Transfer, BrokenBodyIsResumedIntactOrStartedAgain)
{
    // Takes bytes but cannot seek, like a pipe.
    struct CAppendOnly : std::streambuf {
        std::string data;
        int overflow(int c) override
        {
            data.push_back(static_cast<char>(c));
            return c;
        }
        std::streamsize xsputn(const char* bytes, std::streamsize count) override
        {
            data.append(bytes, static_cast<std::size_t>(count));
            return count;
        }
    };
    const std::wstring folder = Loopback::Folder("files");
    const std::string data = Loopback::Pattern(1500000);
    const std::string changed = Loopback::Inverted(data);
    Loopback::WriteBytes(folder + L"\\resume.bin", data);
    // A whole body in answer to the re-send replaces the part read, even from
    // a resource that changed meanwhile; a stream that cannot start again
    // fails rather than mix the two.
    struct Case {
        const char* query;
        const std::string& expected;
        bool restarts;
    };
    const Case cases[] = {
        {"?drop=700000", data, false},
        {"?drop=700000&norange=1", data, true},
        {"?drop=700000&norange=1&changed=1", changed, true},
    };
    for (const auto& [query, expected, restarts] : cases) {
        int pauses = 0;
        CTransferOptions options;
        options.sleeper = [&pauses](std::chrono::milliseconds pause) {
            EXPECT_EQ(pause, std::chrono::milliseconds(6000));
            ++pauses;
            return true;
        };
        const auto url = [query = std::string(query)](const char* run) {
            return Loopback::Url("files", "/resume.bin" + query + "&run=" + run);
        };
        const std::uint16_t port = Loopback::Port("files");
        const std::wstring target = folder + L"\\resumed.bin";
        EXPECT_EQ(TransferUrlToFile(url("file"), target, 0x20000, {}, port, nullptr, options), Success) << query;
        EXPECT_TRUE(Loopback::ReadBytes(target) == expected) << query;

        std::stringstream buffer;
        EXPECT_EQ(TransferUrlToStream(url("buffer"), buffer, 0x20000, {}, port, nullptr, options), Success) << query;
        EXPECT_TRUE(buffer.str() == expected) << query;

        CAppendOnly pipe;
        std::ostream piped(&pipe);
        EXPECT_EQ(TransferUrlToStream(url("pipe"), piped, 0x20000, {}, port, nullptr, options),
                  restarts ? ReceiveFailed : Success)
            << query;
        EXPECT_TRUE(pipe.data == (restarts ? data.substr(0, 700000) : data)) << query;
        EXPECT_EQ(pauses, 3) << query;
    }
}

TEST(Md5, DigestsOfFilesAndStreams)
{
    const std::wstring folder = Loopback::Folder("files");
    struct Case {
        std::string data;
        const wchar_t* md5;
    };
    const Case cases[] = {
        {"", L"d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", L"900150983cd24fb0d6963f7d28e17f72"},
        {std::string(1000000, 'a'), L"7707d6ae4e027c70eea2a935c2296f21"},
    };
    for (const Case& c : cases) {
        Loopback::WriteBytes(folder + L"\\digest.bin", c.data);
        std::wstring digest;
        EXPECT_EQ(FileMd5(folder + L"\\digest.bin", digest), DR_Ok);
        EXPECT_EQ(digest, c.md5);

        // In memory, hashed where it lies, and from a file, block by block.
        std::stringstream memory(c.data);
        std::ifstream file(std::filesystem::path(folder + L"\\digest.bin"), std::ios::binary);
        for (std::istream* stream : {static_cast<std::istream*>(&memory), static_cast<std::istream*>(&file)}) {
            stream->seekg(0, std::ios::end);
            digest.clear();
            EXPECT_EQ(StreamMd5(*stream, digest), DR_Ok);
            EXPECT_EQ(digest, c.md5);
            EXPECT_EQ(stream->tellg(), 0) << "the stream must be left at its start";
        }
    }
    std::wstring digest;
    EXPECT_EQ(DigestStatus(FileMd5(folder + L"\\absent.bin", digest), digest, L"x"), Md5SourceUnreadable);
    std::stringstream failed;
    failed.setstate(std::ios::failbit);
    EXPECT_EQ(DigestStatus(StreamMd5(failed, digest), digest, L"x"), Md5SourceUnreadable);
    EXPECT_EQ(DigestStatus(DR_Ok, L"900150983cd24fb0d6963f7d28e17f72", L"900150983CD24FB0D6963F7D28E17F72"), Success);
    EXPECT_EQ(DigestStatus(DR_Ok, L"900150983cd24fb0d6963f7d28e17f72", L"900150983cd24fb0d6963f7d28e17f7"), Md5Mismatch);
}
