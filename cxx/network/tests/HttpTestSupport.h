#pragma once

#include "cxx/network/NetworkException.h"
#include "cxx/network/http/HttpClient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
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

// A clock for the connection's limits that runs `factor` times faster than
// the steady clock from the moment it is made, so that a 30 s time-out
// passes in 30 s / factor.
inline std::function<std::chrono::steady_clock::time_point()> FasterClock(int factor)
{
    const auto start = std::chrono::steady_clock::now();
    return [start, factor] { return start + (std::chrono::steady_clock::now() - start) * factor; };
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
    bool restartable = true;
    int restarts = 0;

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

    bool OnRestart(std::uint64_t) override
    {
        ++restarts;
        if (restartable) {
            data.clear();
        }
        return restartable;
    }
};

} // namespace KvTest
