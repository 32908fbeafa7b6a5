#pragma once

// Helpers shared by the two stacks; free of wininet.h and winhttp.h.

#include "cxx/network/NetworkException.h"
#include "cxx/network/http/HttpParameters.h"

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

} // namespace Cxx::Network::Http::HttpClient::Detail
