#pragma once

// Helpers for tests that run beside the loopback servers.

#include "cxx/core/TextUtils.h"

#include <winsock2.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace Loopback {

inline std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

inline std::uint16_t Port(const char* server)
{
    const std::string port = Env((std::string("KV_") + server + "_PORT").c_str());
    EXPECT_FALSE(port.empty()) << "no loopback server " << server;
    return static_cast<std::uint16_t>(std::atoi(port.c_str()));
}

// The folder of a server (what it serves or where it looks for its script).
inline std::wstring Folder(const char* server)
{
    return Cxx::Core::Utils::Utf8ToWideString(Env("KV_SERVER_DIR_WIN")) + L"\\" +
           Cxx::Core::Utils::Utf8ToWideString(server);
}

inline std::wstring Url(const char* server, const std::string& target)
{
    return L"http://127.0.0.1:" + std::to_wstring(Port(server)) + Cxx::Core::Utils::Utf8ToWideString(target);
}

// Written under another name and then moved in place, so that a server
// reading the file meanwhile never sees half of it.
inline void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    const std::wstring temporary = path + L".tmp";
    {
        std::ofstream file(std::filesystem::path(temporary), std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(file.good()) << "cannot write the test file";
    }
    ASSERT_TRUE(::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) << "cannot place the test file";
}

inline std::string ReadBytes(const std::wstring& path)
{
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::wstring& path)
{
    return std::filesystem::exists(std::filesystem::path(path));
}

// A loopback port that nothing listens on (it was free a moment ago).
inline std::uint16_t ClosedPort()
{
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        return 0;
    }
    std::uint16_t port = 0;
    const SOCKET probe = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    if (probe != INVALID_SOCKET && ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        port = ntohs(address.sin_port);
    }
    if (probe != INVALID_SOCKET) {
        ::closesocket(probe);
    }
    ::WSACleanup();
    return port;
}

// The requests a server recorded, one JSON text each.
inline std::vector<std::string> Requests(const char* server)
{
    std::ifstream log(std::filesystem::path(Folder(server) + L"\\requests.jsonl"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Bytes that differ from offset to offset (a misplaced chunk shows).
inline std::string Pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((static_cast<std::uint32_t>(i) * 2654435761u) >> 24);
    }
    return bytes;
}

// Every byte inverted, as files.py sends with corrupt=1 (and changed=1 after the first request).
inline std::string Inverted(std::string bytes)
{
    for (char& byte : bytes) {
        byte = static_cast<char>(~byte);
    }
    return bytes;
}

// MD5 of Pattern(PatternSize) and of its inversion, computed apart from the code under test.
constexpr std::size_t PatternSize = 6 * 1024 * 1024 + 123;
constexpr const wchar_t* PatternMd5 = L"49892ebdf14fea599903f1c7873d4ebc";
constexpr const wchar_t* InvertedPatternMd5 = L"0424188c7cf3ac69cd72c945601e0393";

} // namespace Loopback
