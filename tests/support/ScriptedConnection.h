#pragma once

// A connected GET client whose body a test scripts, for answers the loopback
// servers cannot give through WinInet (it refuses a body of untold length).

#include "cxx/network/http/HttpClient.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace KvTest {

class CScriptedConnection : public Cxx::Network::Http::HttpClient::IConnection {
public:
    using TBody = std::function<void(Cxx::Network::Http::HttpClient::IReadDataCallBack&, std::size_t chunkSize)>;

    TBody body;
    std::wstring objectPath;

    std::vector<char> ReceiveResponse() override { return {}; }
    void ReceiveResponseByChunks(Cxx::Network::Http::HttpClient::IReadDataCallBack& callback,
                                 std::size_t chunkSize) override
    {
        body(callback, chunkSize);
    }
    void Authenticate(const std::wstring&, const char*, std::size_t) override {}
    void SetCredentialsProvider(Cxx::Network::Http::HttpClient::ICredentialsProvider*) override {}
    void SendRequest(const std::wstring& path, const Cxx::Network::Http::HttpClient::IParametersSet*,
                     const std::wstring&) override
    {
        objectPath = path;
    }
    bool GetStatusCode(std::uint32_t&) override { return false; }
    void SetSleeper(Cxx::Network::Http::HttpClient::SleepFunction) override {}
    void SetReadLimits(const Cxx::Network::Http::HttpClient::CReadLimits&) override {}
};

// A body that delivers data in chunks of the reader's size and announces the
// length given (0: none), until the reader stops.
inline CScriptedConnection::TBody BodyOf(std::string data, std::uint64_t announced)
{
    return [data = std::move(data), announced](Cxx::Network::Http::HttpClient::IReadDataCallBack& sink,
                                               std::size_t chunkSize) {
        for (std::size_t offset = 0; offset < data.size(); offset += chunkSize) {
            const std::size_t count = std::min(chunkSize, data.size() - offset);
            if (!sink.OnReadData(data.data() + offset, chunkSize, count, offset + count, announced)) {
                return;
            }
        }
    };
}

} // namespace KvTest
