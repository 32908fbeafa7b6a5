#include "cxx/network/downloader/DownloadStatus.h"

#include "cxx/network/NetworkException.h"

namespace Cxx::Network::Downloader {

using namespace Exception;

EDownloadStatus StatusFromNetworkException(const CNetworkException* failure)
{
    if (!failure) {
        return Unknown;
    }
    switch (failure->GetErrorKind()) {
    case NEK_Timeout:
        return TimedOut;
    case NEK_CannotConnect:
        return RequestFailed;
    case NEK_ConnectionLost:
        return NetworkUnreachable;
    case NEK_Internal:
        return InternalError;
    case NEK_InvalidUsage:
        return InvalidUrl;
    default:
        break;
    }
    switch (failure->GetCode()) {
    case NEC_Parameter:
    case 1:
        return InvalidUrl;
    case NEC_Connect:
        return NetworkUnreachable;
    case NEC_Request:
    case NEC_Authentication:
        return RequestFailed;
    case NEC_ReadBody:
    case NEC_ProxyConfig:
        return ReceiveFailed;
    case NEC_ClientStatus:
        return ClientError;
    case NEC_ServerStatus:
        return ServerError;
    case NEC_OtherStatus:
        return UnexpectedStatus;
    default:
        return Unknown;
    }
}

} // namespace Cxx::Network::Downloader
