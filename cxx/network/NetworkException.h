#pragma once

#include "cxx/core/Exception.h"

#include <cstdint>
#include <string>

namespace Cxx::Network::Exception {

// Which step of a request failed.
enum ENetworkErrorCode : std::int32_t {
    NEC_Parameter = 0,
    NEC_Connect = 2,
    NEC_Request = 3,
    NEC_ReadBody = 4,
    NEC_ProxyConfig = 5,
    NEC_Authentication = 6,
    NEC_ClientStatus = 7,
    NEC_ServerStatus = 8,
    NEC_OtherStatus = 9,
};

// Broad classes of the system error, used to pick a download status.
enum ENetworkErrorKind : int {
    NEK_Timeout = 0,
    NEK_CannotConnect = 1,
    NEK_ConnectionLost = 2,
    NEK_Internal = 3,
    NEK_InvalidUsage = 4,
    NEK_Other = 5,
};

// The code for an HTTP status the server answered with.
std::int32_t StatusToErrorCode(unsigned status);

class CNetworkException : public Cxx::Exception::CException {
public:
    // Reads the thread's last error; build it right after the failing call.
    CNetworkException(std::int32_t code, std::string message);
    // For callers that already saved the failed call's error before doing
    // anything else (cleanup can overwrite the thread's last error).
    CNetworkException(std::int32_t code, std::string message, std::uint32_t systemError);
    CNetworkException(const CNetworkException&) = default;
    CNetworkException& operator=(const CNetworkException&) = default;
    ~CNetworkException() override = default;

    virtual int GetErrorKind() const { return NEK_Other; }

    std::int32_t GetCode() const { return m_code; }
    std::uint32_t GetSystemError() const { return m_systemError; }

private:
    std::int32_t m_code;
    std::uint32_t m_systemError;
};

class CWinHttpNetworkException : public CNetworkException {
public:
    using CNetworkException::CNetworkException;
    int GetErrorKind() const override;
};

class CWinInetNetworkException : public CNetworkException {
public:
    using CNetworkException::CNetworkException;
    int GetErrorKind() const override;
};

} // namespace Cxx::Network::Exception
