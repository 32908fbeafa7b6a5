#include "productsettings/SettingsText.h"

#include "cxx/core/Handle.h"
#include "cxx/core/TextUtils.h"

#include <windows.h>

#include <algorithm>
#include <locale>

namespace ProductSettings {

namespace {

// Hands every byte through as one character, so that the text's encoding can
// be found from its first bytes afterwards.
class CByteConversion : public std::codecvt<wchar_t, char, std::mbstate_t> {
protected:
    result do_in(state_type&, const char* from, const char* fromEnd, const char*& fromNext, wchar_t* to,
                 wchar_t* toEnd, wchar_t*& toNext) const override
    {
        while (from != fromEnd && to != toEnd) {
            *to++ = static_cast<unsigned char>(*from++);
        }
        fromNext = from;
        toNext = to;
        return from == fromEnd ? ok : partial;
    }
    int do_length(state_type&, const char* from, const char* fromEnd, std::size_t max) const override
    {
        return static_cast<int>(std::min(static_cast<std::size_t>(fromEnd - from), max));
    }
    int do_encoding() const noexcept override { return 1; }
    int do_max_length() const noexcept override { return 1; }
    bool do_always_noconv() const noexcept override { return false; }
};

const std::string utf8Mark = "\xEF\xBB\xBF";
const std::string utf16LeMark = "\xFF\xFE";
const std::string utf16BeMark = "\xFE\xFF";

bool StartsWith(const std::string& bytes, const std::string& mark)
{
    return bytes.compare(0, mark.size(), mark) == 0;
}

// A last odd byte belongs to no character and is left out.
std::wstring DecodeUtf16(const std::string& bytes, bool bigEndian)
{
    std::wstring text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        text += static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    }
    return text;
}

std::string EncodeUtf16(const std::wstring& text, bool bigEndian)
{
    std::string bytes = bigEndian ? utf16BeMark : utf16LeMark;
    for (const wchar_t c : text) {
        const char high = static_cast<char>((c >> 8) & 0xFF), low = static_cast<char>(c & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}

std::wstring BackupOf(const std::wstring& path)
{
    return path + L".kvs.bak";
}

} // namespace

SettingsText DecodeSettingsText(const std::string& bytes)
{
    if (StartsWith(bytes, utf16LeMark)) {
        return {DecodeUtf16(bytes, false), ETextEncoding::Utf16Le};
    }
    if (StartsWith(bytes, utf16BeMark)) {
        return {DecodeUtf16(bytes, true), ETextEncoding::Utf16Be};
    }
    const bool marked = StartsWith(bytes, utf8Mark);
    const std::string body = marked ? bytes.substr(utf8Mark.size()) : bytes;
    // Plain ASCII reads the same either way; saved into, it takes the
    // products' own form, since they read it one byte per character.
    const bool ascii = std::all_of(body.begin(), body.end(), [](char byte) { return (byte & 0x80) == 0; });
    SettingsText decoded;
    if ((marked || !ascii) && Cxx::Core::Utils::Utf8ToWide(body, decoded.text)) {
        decoded.encoding = marked ? ETextEncoding::Utf8Bom : ETextEncoding::Utf8;
        return decoded;
    }
    decoded = {std::wstring(), ETextEncoding::Bytes};
    for (const char byte : body) {
        decoded.text += static_cast<wchar_t>(static_cast<unsigned char>(byte));
    }
    return decoded;
}

bool EncodeSettingsText(const SettingsText& text, std::string& bytes)
{
    switch (text.encoding) {
    case ETextEncoding::Utf16Le:
    case ETextEncoding::Utf16Be:
        bytes = EncodeUtf16(text.text, text.encoding == ETextEncoding::Utf16Be);
        return true;
    case ETextEncoding::Bytes:
        if (std::any_of(text.text.begin(), text.text.end(), [](wchar_t c) { return c > 0xFF; })) {
            return false;
        }
        bytes.assign(text.text.begin(), text.text.end());
        return true;
    case ETextEncoding::Utf8:
    case ETextEncoding::Utf8Bom:
        break;
    }
    std::string body;
    if (!Cxx::Core::Utils::WideToUtf8(text.text, body)) {
        return false;
    }
    bytes = (text.encoding == ETextEncoding::Utf8Bom ? utf8Mark : std::string()) + body;
    return true;
}

bool ReadSettingsText(std::wfstream& file, std::wstring& text)
{
    file.imbue(std::locale(file.getloc(), new CByteConversion));
    std::wfilebuf& buffer = *file.rdbuf();
    const std::streamoff size = buffer.pubseekoff(0, std::ios::end, std::ios::in);
    if (size < 0 || size > MaxSettingsFileSize || buffer.pubseekpos(0, std::ios::in) != std::streampos(0)) {
        return false;
    }
    // No more than the size found, though the file may grow meanwhile.
    std::wstring raw(static_cast<std::size_t>(size), L'\0');
    raw.resize(static_cast<std::size_t>(buffer.sgetn(raw.data(), size)));
    text = DecodeSettingsText(std::string(raw.begin(), raw.end())).text;
    return true;
}

bool ReadSettingsBytes(const std::wstring& path, std::string& bytes)
{
    const Cxx::Core::CFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart > MaxSettingsFileSize) {
        return false;
    }
    bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    return bytes.empty() ||
           (::ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
            read == bytes.size());
}

bool SwapSettingsFile(const std::wstring& path, const std::wstring& replacement, const std::wstring& backup)
{
    return ::ReplaceFileW(path.c_str(), replacement.c_str(), backup.c_str(), 0, nullptr, nullptr);
}

void RestoreSettingsBackup(const std::wstring& path)
{
    // A file at path is newer than a backup beside it, which the next save replaces. Where the
    // move fails, the backup stays as the old file's one copy.
    ::MoveFileExW(BackupOf(path).c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH);
}

bool ReplaceSettingsFile(const std::wstring& path, const std::string& bytes, SettingsFileSwap swap)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
        return false;
    }
    // One name per file: the next save takes over what a save killed between
    // closing the file and the swap left behind.
    const std::wstring temporary = path + L".kvs.tmp";
    // A leftover keeps the attributes it was given, which would make the create fail.
    ::SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    {
        const Cxx::Core::CFileHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        // Until the new text is whole, the file goes when its handle closes,
        // by a kill of the process as well.
        FILE_DISPOSITION_INFO disposition = {TRUE};
        if (!file || !::SetFileInformationByHandle(file.Get(), FileDispositionInfo, &disposition, sizeof(disposition))) {
            return false;
        }
        // Set here as well, since not every system's swap carries them over.
        FILE_BASIC_INFO basic = {};
        basic.FileAttributes = attributes & (FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                             FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE |
                                             FILE_ATTRIBUTE_TEMPORARY);
        DWORD done = 0;
        disposition.DeleteFile = FALSE;
        // Flushed before it takes the old file's place: after a crash the
        // name holds the old text or the whole new one.
        if (!(bytes.empty() ||
              (::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
               done == bytes.size())) ||
            !::FlushFileBuffers(file.Get()) ||
            !::SetFileInformationByHandle(file.Get(), FileBasicInfo, &basic, sizeof(basic)) ||
            !::SetFileInformationByHandle(file.Get(), FileDispositionInfo, &disposition, sizeof(disposition))) {
            return false;
        }
    }
    // The old file's owner, security and attributes stay.
    const std::wstring backup = BackupOf(path);
    if (swap(path, temporary, backup)) {
        // One that a reader still holds goes when it lets go, or the next save replaces it.
        ::DeleteFileW(backup.c_str());
        return true;
    }
    // A swap that fails once the old file has left its path
    // (ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) leaves it under the backup name.
    RestoreSettingsBackup(path);
    ::DeleteFileW(temporary.c_str());
    return false;
}

} // namespace ProductSettings
