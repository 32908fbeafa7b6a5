#pragma once

#include <cstdint>
#include <string>

struct _FILETIME;

namespace Cxx::Core::Utils {

// UTF-8 <-> UTF-16. An empty input succeeds and leaves the output as it was;
// a failed conversion leaves the output empty.
bool Utf8ToWide(const std::string& utf8, std::wstring& wide);
std::wstring Utf8ToWideString(const std::string& utf8);
bool WideToUtf8(const std::wstring& wide, std::string& utf8);
std::string WideToUtf8String(const std::wstring& wide);

// Text of a code page (CP_ACP, CP_THREAD_ACP ...) <-> UTF-16; empty when the
// conversion fails. Characters the code page lacks become its default character.
std::string WideToCodePage(const std::wstring& wide, unsigned codePage);
std::wstring CodePageToWide(const std::string& text, unsigned codePage);

// Converts a zero-terminated text of the given code page into buffer (capacity
// in characters). Returns buffer, or null when an argument is null or the
// conversion fails (buffer then holds an empty text).
wchar_t* MultiByteToWideWithCodePage(wchar_t* buffer, const char* text, int capacity, unsigned codePage);

// The value of a hexadecimal digit of either case; -1 for any other character.
int HexDigitValue(wchar_t c);

struct VersionNumber {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t build = 0;
    std::uint32_t revision = 0;

    // "a.b.c.d", "a.b.c" or "a.b ( c )"; anything else sets every part to 0xFFFFFFFF.
    void Parse(const std::wstring& text);
    void Parse(const std::string& text);

    auto operator<=>(const VersionNumber&) const = default;
};

// Seconds since 1970-01-01; times before 1970 give 0.
std::uint64_t FileTimeToUnixTime(const _FILETIME& fileTime);

// The program's own path, whatever its length; empty when it cannot be read.
std::wstring GetModuleFilePath();
// The folder of that path (without the last backslash).
std::wstring GetModuleDirectory();
// The folder part of a path: cut before its last backslash, the whole path when it has none.
std::wstring DirectoryOfPath(const std::wstring& path);

// A string of a file's version resource, such as "ProductVersion"; an empty
// fileName means the program itself. Empty when it cannot be read.
std::wstring GetFileVersionString(const std::wstring& itemName, const std::wstring& fileName);

} // namespace Cxx::Core::Utils
