#include "cxx/network/NetworkException.h"

#include <gtest/gtest.h>
#include <windows.h>

using namespace Cxx::Network::Exception;

TEST(NetworkException, MessagesAndKinds)
{
    EXPECT_STREQ(Cxx::Exception::CException().what(), "Unknown exception");
    EXPECT_STREQ(Cxx::Exception::CException("boom").what(), "boom");

    ::SetLastError(12030);
    CWinHttpNetworkException winHttp(NEC_Request, "send failed");
    ::SetLastError(12030);
    CWinInetNetworkException winInet(NEC_Request, "send failed");
    EXPECT_EQ(winHttp.GetSystemError(), 12030u);
    EXPECT_EQ(winHttp.GetErrorKind(), NEK_CannotConnect);
    EXPECT_EQ(winInet.GetErrorKind(), NEK_ConnectionLost);

    const std::pair<DWORD, int> winInetKinds[] = {
        {12002, 0}, {12029, 1}, {12007, 2}, {12012, 2}, {12031, 2}, {12163, 2}, {12004, 5}, {5, 5}};
    for (auto [error, kind] : winInetKinds) {
        EXPECT_EQ(CWinInetNetworkException(NEC_Connect, "x", error).GetErrorKind(), kind) << error;
    }
    const std::pair<DWORD, int> winHttpKinds[] = {
        {12002, 0}, {12029, 1}, {12004, 3}, {12005, 4}, {12009, 4}, {12172, 4}, {12007, 5}};
    for (auto [error, kind] : winHttpKinds) {
        EXPECT_EQ(CWinHttpNetworkException(NEC_Connect, "x", error).GetErrorKind(), kind) << error;
    }
    EXPECT_EQ(CNetworkException(NEC_Connect, "x", 12002).GetErrorKind(), NEK_Other);
}

TEST(NetworkException, StatusCodes)
{
    EXPECT_EQ(StatusToErrorCode(404), NEC_ClientStatus);
    EXPECT_EQ(StatusToErrorCode(400), NEC_ClientStatus);
    EXPECT_EQ(StatusToErrorCode(499), NEC_ClientStatus);
    EXPECT_EQ(StatusToErrorCode(503), NEC_ServerStatus);
    EXPECT_EQ(StatusToErrorCode(302), NEC_OtherStatus);
    EXPECT_EQ(StatusToErrorCode(600), NEC_OtherStatus);
}

TEST(NetworkException, CopyKeepsFieldsAndDoesNotReadLastErrorAgain)
{
    ::SetLastError(12029);
    const CWinInetNetworkException original(NEC_Connect, "connect failed");
    ::SetLastError(1);
    const CWinInetNetworkException copy(original);
    EXPECT_EQ(copy.GetCode(), NEC_Connect);
    EXPECT_EQ(copy.GetSystemError(), 12029u);
    EXPECT_STREQ(copy.what(), "connect failed");
}
