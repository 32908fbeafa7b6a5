#pragma once

#include "cxx/network/NetworkException.h"
#include "cxx/network/http/HttpClient.h"

#include <gtest/gtest.h>
#include <winsock2.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace KvTest {

using Cxx::Network::Exception::CNetworkException;

// The connection failure that f throws, or null.
template <typename F>
std::shared_ptr<CNetworkException> ConnectionFailure(F&& f)
{
    try {
        f();
    } catch (const std::shared_ptr<CNetworkException>& failure) {
        return failure;
    }
    return nullptr;
}

inline std::string Text(const std::vector<char>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// Keeps every chunk and checks that the running totals agree with it.
class CCollector : public Cxx::Network::Http::HttpClient::IReadDataCallBack {
public:
    std::string data;
    std::vector<std::uint64_t> totals;
    std::uint64_t contentLength = 0;
    std::size_t stopAfterChunks = 0;

    bool OnReadData(const char* buffer, std::size_t chunkSize, std::size_t bytesRead, std::uint64_t totalRead,
                    std::uint64_t length) override
    {
        EXPECT_LE(bytesRead, chunkSize);
        data.append(buffer, bytesRead);
        EXPECT_EQ(totalRead, data.size());
        totals.push_back(totalRead);
        contentLength = length;
        return stopAfterChunks == 0 || totals.size() < stopAfterChunks;
    }
};

// A loopback port that nothing listens on.
inline std::uint16_t ClosedPort()
{
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    std::uint16_t port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        port = ntohs(address.sin_port);
    }
    ::closesocket(s);
    ::WSACleanup();
    return port;
}

} // namespace KvTest
