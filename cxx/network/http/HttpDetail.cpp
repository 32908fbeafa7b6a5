#include "cxx/network/http/HttpDetail.h"

#include <windows.h>

namespace Cxx::Network::Http::HttpClient::Detail {

void CheckStatus(std::uint32_t status)
{
    if (status >= 400 && status <= 599) {
        const std::string message = "Send request to the server failure status " + std::to_string(status) + " .";
        Throw<Exception::CNetworkException>(Exception::StatusToErrorCode(status), message.c_str(), 0);
    }
}

std::wstring QueryText(const IParametersSet& parameters)
{
    std::size_t size = 0;
    const char* bytes = parameters.GetBuffer(size);
    const int length = ::MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(size), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        ::MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(size), text.data(), length);
    }
    return text;
}

bool ParseDecimal(const std::wstring& text, std::uint64_t& value)
{
    if (text.empty() || text.size() > 19) {
        return false;
    }
    std::uint64_t result = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return false;
        }
        result = result * 10 + static_cast<std::uint64_t>(c - L'0');
    }
    value = result;
    return true;
}

} // namespace Cxx::Network::Http::HttpClient::Detail
