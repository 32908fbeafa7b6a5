#include "cxx/core/TextUtils.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace Cxx::Core::Utils {

bool Utf8ToWide(const std::string& utf8, std::wstring& wide)
{
    if (utf8.empty()) {
        return true;
    }
    const int size = static_cast<int>(utf8.size());
    const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
    if (length <= 0) {
        wide.clear();
        return false;
    }
    wide.resize(static_cast<size_t>(length));
    if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), length) != length) {
        wide.clear();
        return false;
    }
    return true;
}

std::wstring Utf8ToWideString(const std::string& utf8)
{
    std::wstring wide;
    Utf8ToWide(utf8, wide);
    return wide;
}

bool WideToUtf8(const std::wstring& wide, std::string& utf8)
{
    if (wide.empty()) {
        return true;
    }
    const int size = static_cast<int>(wide.size());
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        utf8.clear();
        return false;
    }
    utf8.resize(static_cast<size_t>(length));
    if (::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr) != length) {
        utf8.clear();
        return false;
    }
    return true;
}

std::string WideToUtf8String(const std::wstring& wide)
{
    std::string utf8;
    WideToUtf8(wide, utf8);
    return utf8;
}

std::string WideToCodePage(const std::wstring& wide, unsigned codePage)
{
    const int size = static_cast<int>(wide.size());
    const int length =
        size == 0 ? 0 : ::WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0 &&
        ::WideCharToMultiByte(codePage, 0, wide.data(), size, text.data(), length, nullptr, nullptr) != length) {
        text.clear();
    }
    return text;
}

std::wstring CodePageToWide(const std::string& text, unsigned codePage)
{
    const int size = static_cast<int>(text.size());
    const int length = size == 0 ? 0 : ::MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0 && ::MultiByteToWideChar(codePage, 0, text.data(), size, wide.data(), length) != length) {
        wide.clear();
    }
    return wide;
}

wchar_t* MultiByteToWideWithCodePage(wchar_t* buffer, const char* text, int capacity, unsigned codePage)
{
    if (buffer == nullptr || text == nullptr || capacity <= 0) {
        return nullptr;
    }
    buffer[0] = L'\0';
    if (::MultiByteToWideChar(codePage, 0, text, -1, buffer, capacity) == 0) {
        buffer[0] = L'\0';
        return nullptr;
    }
    return buffer;
}

void VersionNumber::Parse(const std::wstring& text)
{
    revision = 0;
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (std::swscanf(text.c_str(), L"%u.%u.%u.%u", &a, &b, &c, &d) == 4) {
        major = a, minor = b, build = c, revision = d;
        return;
    }
    if (std::swscanf(text.c_str(), L"%u.%u.%u", &a, &b, &c) == 3
        || std::swscanf(text.c_str(), L"%u.%u ( %u )", &a, &b, &c) == 3) {
        major = a, minor = b, build = c;
        return;
    }
    major = minor = build = revision = 0xFFFFFFFFu;
}

void VersionNumber::Parse(const std::string& text)
{
    std::wstring wide(text.begin(), text.end());
    Parse(wide);
}

std::uint64_t FileTimeToUnixTime(const FILETIME& fileTime)
{
    const std::uint64_t ticks = (static_cast<std::uint64_t>(fileTime.dwHighDateTime) << 32) | fileTime.dwLowDateTime;
    const std::uint64_t seconds = ticks / 10000000ull;
    constexpr std::uint64_t epochOffset = 11644473600ull;
    return seconds < epochOffset ? 0 : seconds - epochOffset;
}

std::wstring GetModuleFilePath()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return std::wstring();
        }
        // A full buffer means the path was cut: grow and read again.
        if (length < buffer.size()) {
            return std::wstring(buffer.data(), length);
        }
        if (buffer.size() >= 32768) {
            return std::wstring();
        }
        buffer.resize(buffer.size() * 2);
    }
}

int HexDigitValue(wchar_t c)
{
    if (c >= L'0' && c <= L'9') {
        return c - L'0';
    }
    if (c >= L'a' && c <= L'f') {
        return c - L'a' + 10;
    }
    if (c >= L'A' && c <= L'F') {
        return c - L'A' + 10;
    }
    return -1;
}

std::wstring DirectoryOfPath(const std::wstring& path)
{
    const auto slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(0, slash);
}

std::wstring GetModuleDirectory()
{
    const std::wstring path = GetModuleFilePath();
    return path.empty() ? path : DirectoryOfPath(path);
}

namespace {
std::wstring QueryVersionString(const std::vector<BYTE>& block, const std::wstring& key)
{
    LPVOID value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), key.c_str(), &value, &length) || value == nullptr || length == 0) {
        return std::wstring();
    }
    const wchar_t* text = static_cast<const wchar_t*>(value);
    std::wstring result(text, length);
    result.resize(wcsnlen(text, length));
    return result;
}
} // namespace

std::wstring GetFileVersionString(const std::wstring& itemName, const std::wstring& fileName)
{
    const std::wstring file = fileName.empty() ? GetModuleFilePath() : fileName;
    if (file.empty()) {
        return std::wstring();
    }
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &handle);
    if (size == 0) {
        return std::wstring();
    }
    std::vector<BYTE> block(size);
    if (!::GetFileVersionInfoW(file.c_str(), 0, size, block.data())) {
        return std::wstring();
    }

    wchar_t table[64] = {};
    LPVOID translation = nullptr;
    UINT translationSize = 0;
    if (::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &translation, &translationSize)
        && translation != nullptr && translationSize == 4) {
        const WORD* words = static_cast<const WORD*>(translation);
        std::swprintf(table, 64, L"\\StringFileInfo\\%04X%04X\\", words[0], words[1]);
    } else {
        std::swprintf(table, 64, L"\\StringFileInfo\\%04X04B0\\", ::GetUserDefaultLangID());
    }
    std::wstring value = QueryVersionString(block, table + itemName);
    if (value.empty()) {
        value = QueryVersionString(block, L"\\StringFileInfo\\040904e4\\" + itemName);
    }
    return value;
}

} // namespace Cxx::Core::Utils
