#include "cxx/network/NetworkException.h"

#include <windows.h>

namespace Cxx::Network::Exception {

std::int32_t StatusToErrorCode(unsigned status)
{
    if (status >= 400 && status <= 499) {
        return NEC_ClientStatus;
    }
    if (status >= 500 && status <= 599) {
        return NEC_ServerStatus;
    }
    return NEC_OtherStatus;
}

// Moving the already built message calls nothing that could touch the
// thread's last error, so it still holds the failed call's value here.
CNetworkException::CNetworkException(std::int32_t code, std::string message)
    : Cxx::Exception::CException(std::move(message)), m_code(code), m_systemError(::GetLastError())
{
}

CNetworkException::CNetworkException(std::int32_t code, std::string message, std::uint32_t systemError)
    : Cxx::Exception::CException(std::move(message)), m_code(code), m_systemError(systemError)
{
}

int CWinHttpNetworkException::GetErrorKind() const
{
    switch (GetSystemError()) {
    case 12002: return NEK_Timeout;
    case 12029:
    case 12030: return NEK_CannotConnect;
    case 12004: return NEK_Internal;
    case 12005:
    case 12009:
    case 12172: return NEK_InvalidUsage;
    default: return NEK_Other;
    }
}

int CWinInetNetworkException::GetErrorKind() const
{
    switch (GetSystemError()) {
    case 12002: return NEK_Timeout;
    case 12029: return NEK_CannotConnect;
    case 12007:
    case 12012:
    case 12030:
    case 12031:
    case 12163: return NEK_ConnectionLost;
    default: return NEK_Other;
    }
}

} // namespace Cxx::Network::Exception
