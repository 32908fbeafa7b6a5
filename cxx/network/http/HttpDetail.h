#pragma once

// Helpers shared by the two stacks; free of wininet.h and winhttp.h.

#include "cxx/network/NetworkException.h"
#include "cxx/network/http/HttpParameters.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace Cxx::Network::Http::HttpClient::Detail {

// Connection failures travel as a shared pointer to the base class, so that
// one catch clause takes both stacks' exceptions.
template <typename TException>
[[noreturn]] void Throw(std::int32_t code, const char* message, std::uint32_t systemError)
{
    throw std::shared_ptr<Exception::CNetworkException>(
        std::make_shared<TException>(code, message, systemError));
}

// Throws a plain CNetworkException for a status from 400 to 599.
void CheckStatus(std::uint32_t status);

// The parameters as text of the ANSI code page, for a query string.
std::wstring QueryText(const IParametersSet& parameters);

// A whole decimal number, such as a Content-Length value.
bool ParseDecimal(const std::wstring& text, std::uint64_t& value);

// How many bytes one read of a body asks for. A synchronous read returns only
// once it has all it asked for: a fast line is read in large reads, which
// spend less time in the calls, while on a line that would not fill one
// within SlowRead a read takes only what has arrived, so that progress, a
// stop and the stall check come as the bytes do. The size doubles after each
// read that came back full within FastRead, up to MaxChunks chunks, and halves
// (down to one chunk) after one slower than SlowRead.
class CReadSize {
public:
    static constexpr std::size_t MaxChunks = 32;
    static constexpr std::chrono::milliseconds FastRead{20};
    static constexpr std::chrono::milliseconds SlowRead{100};

    explicit CReadSize(std::size_t chunkSize) : m_chunkSize(chunkSize), m_size(chunkSize) {}

    std::size_t Get() const { return m_size; }
    // What to ask for once `available` bytes have arrived.
    std::size_t Ask(std::size_t available) const { return m_whole || available >= m_size ? m_size : available; }
    // A read gave `read` bytes `took` after the last one ended (its wait for
    // the first byte included).
    void Update(std::size_t read, std::chrono::steady_clock::duration took);

private:
    std::size_t m_chunkSize;
    std::size_t m_size;
    // The last read came at a rate that fills a whole read within SlowRead.
    // The first read takes what has arrived, and measures.
    bool m_whole = false;
};

} // namespace Cxx::Network::Http::HttpClient::Detail
