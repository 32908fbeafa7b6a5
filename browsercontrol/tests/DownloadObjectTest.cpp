#include "browsercontrol/js/Downloader.h"
#include "browsercontrol/js/JSObjects.h"
#include "browsercontrol/tests/RecordingDispatch.h"
#include "browsercontrol/tests/ScriptHost.h"
#include "browsercontrol/tests/StaThread.h"
#include "cxx/core/tests/TestSupport.h"
#include "tests/support/Loopback.h"
#include "cxx/network/tests/TestRoot.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using namespace BrowserControl;
using Cxx::GUI::CVariant;
using BrowserControl::Tests::CRecordingDispatch;
using BrowserControl::Tests::ScriptText;
using Cxx::Core::CComPtr;

namespace {

constexpr DWORD kGenerous = 30000;
const std::string kBody = Loopback::Pattern(64 * 1024 + 123);

namespace Http = Cxx::Network::Http::HttpClient;

// A body whose length the server does not tell, which WinInet refuses: three chunks of "x".
class CUnsizedBody final : public Http::IConnection {
public:
    std::vector<char> ReceiveResponse() override { return {}; }
    void ReceiveResponseByChunks(Http::IReadDataCallBack& callback, std::size_t chunkSize) override
    {
        const std::string chunk(chunkSize, 'x');
        for (std::uint64_t total = chunkSize; total <= 3 * chunkSize; total += chunkSize) {
            callback.OnReadData(chunk.data(), chunkSize, chunkSize, total, 0);
        }
    }
    void Authenticate(const std::wstring&, const char*, std::size_t) override {}
    void SetCredentialsProvider(Http::ICredentialsProvider*) override {}
    void SendRequest(const std::wstring&, const Http::IParametersSet*, const std::wstring&) override {}
    bool GetStatusCode(std::uint32_t&) override { return false; }
    void SetSleeper(Http::SleepFunction) override {}
    void SetReadLimits(const Http::CReadLimits&) override {}
};

// The pauses before re-sends of a broken body pass at once; the host "unsized.test" serves
// the unsized body.
Cxx::Network::Downloader::CTransferOptions Seams()
{
    Cxx::Network::Downloader::CTransferOptions options;
    options.sleeper = [](std::chrono::milliseconds) { return true; };
    options.connect = [](const std::wstring& host, std::uint16_t port,
                         std::int32_t scheme) -> std::shared_ptr<Http::IConnection> {
        if (host == L"unsized.test") {
            return std::make_shared<CUnsizedBody>();
        }
        return std::make_shared<Http::CSimpleGetHttpClient>(L"", host, L"", 0, port, false, true, scheme);
    };
    return options;
}

// Tells a page script which thread runs it.
class CThreadProbe final : public JS::custom_object<CThreadProbe> {
public:
    CThreadProbe() { AddMethod(L"thread", &CThreadProbe::thread); }
    std::wstring GetName() const override { return L"probe"; }
    HRESULT thread(DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*)
    {
        return CVariant::Int(static_cast<int>(::GetCurrentThreadId())).CopyTo(result);
    }
};

// The page's callbacks record what they hear; summary() tells it in one line.
const wchar_t* const kPage = LR"(
    var ui = probe.thread(), progress, end, offThread;
    function callbacks() {
        progress = []; end = ''; offThread = false;
        function heard() { offThread = offThread || probe.thread() != ui; }
        return {
            onProgress: function (p) { heard(); progress.push(p); },
            onFinished: function () { heard(); end = 'finished'; },
            onError: function () { heard(); end = 'error'; },
            onCancelled: function () { heard(); end = 'cancelled'; }
        };
    }
    function summary() {
        var last = progress.length ? progress[progress.length - 1] : 'none';
        return end + ', progress ' + (progress.length > 1 ? 'to ' : '') + last + (offThread ? ', off the UI thread' : '');
    }
)";

class PageDownload : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_apartment.Entered());
        // Targets get names outside the ANSI code page: they are written and deleted by them.
        ASSERT_NE(::GetEnvironmentVariableW(L"TMP", m_temp, MAX_PATH), 0u);
        std::filesystem::create_directory(m_folder.Path() / L"\u65e5\u672c\u0416");
        ::SetEnvironmentVariableW(L"TMP", (m_folder.Path() / L"\u65e5\u672c\u0416").c_str());
        JS::AddScriptObject(m_objects, new JS::CDownloader(false, Seams()));
        ASSERT_TRUE(m_host.AddExternal(m_objects));
        const CComPtr<CThreadProbe> probe(new CThreadProbe);
        ASSERT_TRUE(m_host.AddNamedItem(L"probe", probe.Get()));
        ASSERT_EQ(m_host.Run(kPage), S_OK) << m_host.ErrorText().c_str();
        Loopback::WriteBytes(Loopback::Folder("files") + L"\\body.bin", kBody);
        Loopback::WriteBytes(Loopback::Folder("scripted") + L"\\body.bin", kBody);
        Loopback::WriteBytes(Loopback::Folder("https") + L"\\body.bin", kBody);
        const std::string routes = R"({"/plain.bin": {"body_file": "body.bin"},
            "/empty.bin": {"body": ""},
            "/late.bin": {"body_file": "body.bin", "delay": 1}})";
        Loopback::WriteBytes(Loopback::Folder("scripted") + L"\\routes.json", routes);
        Loopback::WriteBytes(Loopback::Folder("https") + L"\\routes.json", routes);
    }

    // Starts the download of the URL with the page's callbacks (then runs more script, if
    // given) and serves the page until the condition holds; the page's summary then.
    std::wstring Download(const std::wstring& url, const std::wstring& more = L"",
                          const wchar_t* until = L"end != ''")
    {
        EXPECT_EQ(m_host.Run(L"var path = external.download.start(" + ScriptText(url) + L", callbacks());" + more),
                  S_OK)
            << m_host.ErrorText().c_str();
        path = Eval(L"path");
        EXPECT_TRUE(Tests::PumpUntil([&] { return Eval(until) == L"true"; }, kGenerous)) << url;
        return Eval(L"summary()");
    }
    // The value of a script expression as a text.
    std::wstring Eval(const std::wstring& expression)
    {
        m_host.Run(L"var told = String(" + expression + L");");
        const CVariant value = m_host.Global(L"told");
        return value.Get().vt == VT_BSTR && value.Get().bstrVal ? value.Get().bstrVal : L"";
    }
    static std::wstring Https(const std::string& host, const std::string& target)
    {
        return L"https://" + Cxx::Core::Utils::Utf8ToWideString(host) + L":" +
               std::to_wstring(Loopback::Port("https")) + Cxx::Core::Utils::Utf8ToWideString(target);
    }

    void TearDown() override { ::SetEnvironmentVariableW(L"TMP", m_temp); }

    wchar_t m_temp[MAX_PATH] = {};
    KvTest::CTempFolder m_folder{L"kv-download"};
    Tests::CApartment m_apartment;
    const std::shared_ptr<JS::CJSObjectsSimpleContainer> m_objects = std::make_shared<JS::CJSObjectsSimpleContainer>();
    Tests::CScriptHost m_host;
    std::wstring path;
};

bool Recorded(const char* server, const std::string& text)
{
    for (const std::string& request : Loopback::Requests(server)) {
        if (request.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

} // namespace

TEST_F(PageDownload, ThePageHearsProgressAndTheEndOnItsOwnThread)
{
    ASSERT_TRUE(KvTest::TrustTestRoot());
    const std::string empty;
    const std::string unsized(3 * JS::CDownload::ChunkSize, 'x');
    const struct {
        std::wstring url;
        std::wstring told;
        const std::string* body; // what the file holds at the end; null: the file is gone
    } cases[] = {
        {Loopback::Url("files", "/body.bin"), L"finished, progress to 100", &kBody},
        {Loopback::Url("files", "/body.bin?throttle=400000"), L"finished, progress to 100", &kBody},
        // The connection breaks and the rest comes with a Range request.
        {Loopback::Url("files", "/body.bin?drop=30000"), L"finished, progress to 100", &kBody},
        {Loopback::Url("files", "/missing.bin"), L"error, progress none", nullptr},
        {Loopback::Url("scripted", "/empty.bin"), L"finished, progress 100", &empty},
        // Without a content length no percentage is known before the end.
        {L"http://unsized.test/body.bin", L"finished, progress 100", &unsized},
        // An https URL is fetched over TLS on its own port, with the certificate checked.
        {Https("localhost", "/plain.bin"), L"finished, progress to 100", &kBody},
        {Https("127.0.0.1", "/plain.bin"), L"error, progress none", nullptr},
        {Loopback::Url("scripted", "/plain.bin?"), L"finished, progress to 100", &kBody},
        {Loopback::Url("scripted", "/plain.bin?a=1&b=%C3%BC"), L"finished, progress to 100", &kBody},
        {L"http://", L"error, progress none", nullptr},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Download(c.url), c.told) << c.url;
        EXPECT_EQ(Loopback::Exists(path), c.body != nullptr) << c.url;
        if (c.body) {
            EXPECT_TRUE(Loopback::ReadBytes(path) == *c.body) << c.url;
        }
    }
    EXPECT_TRUE(Recorded("scripted", R"("target": "/plain.bin", )")) << "a last \"?\" asks no query";
    EXPECT_TRUE(Recorded("scripted", R"("target": "/plain.bin?a=1&b=%C3%BC", )"));
    EXPECT_TRUE(Recorded("files", R"("range": "bytes=)")) << "the dropped body was resumed";
    EXPECT_NE(path.find(L"\\\u65e5\u672c\u0416\\sm"), std::wstring::npos) << path;
}

TEST_F(PageDownload, StartAnswersThePathAtOnceAndACancelBeforeTheFirstChunkLeavesNothing)
{
    // The server answers a second late: the cancel comes long before the first chunk.
    EXPECT_EQ(Download(Loopback::Url("scripted", "/late.bin"),
                       L"var atOnce = path; external.download.cancel(path);"),
              L"cancelled, progress none");
    EXPECT_NE(Eval(L"atOnce"), L"");
    EXPECT_FALSE(Loopback::Exists(path));
}

// The end of the object cancels its downloads and waits for them, serving the last page
// calls of their workers; a quit of the thread's loop that came meanwhile is kept.
TEST_F(PageDownload, TheObjectsEndCancelsServesTheLastCallsAndKeepsTheQuit)
{
    Download(Loopback::Url("files", "/body.bin?throttle=20000"), L"", L"progress.length > 0");
    ::PostQuitMessage(6);
    ASSERT_TRUE(m_objects->Remove(L"download"));
    EXPECT_EQ(Eval(L"end + (offThread ? ', off the UI thread' : '')"), L"cancelled");
    EXPECT_FALSE(Loopback::Exists(path));
    MSG message{};
    ASSERT_TRUE(::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(message.wParam, 6u);
}

TEST(Download, ATargetThatCannotBeOpenedFailsTheDownload)
{
    Tests::CApartment apartment;
    ASSERT_TRUE(apartment.Entered());
    const KvTest::CTempFolder folder(L"kv-download");
    const std::wstring target = (folder.Path() / L"missing" / L"x.tmp").wstring();
    Loopback::WriteBytes(Loopback::Folder("files") + L"\\body.bin", kBody);
    const auto page = CComPtr<CRecordingDispatch>::Attach(CRecordingDispatch::Create({L"onFinished", L"onError"}));
    {
        JS::CDownload download(Loopback::Url("files", "/body.bin"), target, page.Get(), false, Seams());
        ASSERT_TRUE(Tests::PumpUntil([&] { return page->CallCount() > 0; }, kGenerous));
    }
    EXPECT_EQ(page->Calls().back().name, L"onError");
    EXPECT_FALSE(Loopback::Exists(target));
}
