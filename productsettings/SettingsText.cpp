#include "productsettings/SettingsText.h"

#include "cxx/core/TextUtils.h"

#include <windows.h>

#include <algorithm>
#include <iterator>
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

bool StartsWith(const std::string& bytes, const char* mark, std::size_t length)
{
    return bytes.compare(0, length, mark, length) == 0;
}

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

std::wstring Decode(const std::string& bytes)
{
    if (StartsWith(bytes, "\xFF\xFE", 2)) {
        return DecodeUtf16(bytes, false);
    }
    if (StartsWith(bytes, "\xFE\xFF", 2)) {
        return DecodeUtf16(bytes, true);
    }
    const std::string body = StartsWith(bytes, "\xEF\xBB\xBF", 3) ? bytes.substr(3) : bytes;
    std::wstring text;
    if (Cxx::Core::Utils::Utf8ToWide(body, text)) {
        return text;
    }
    text.clear();
    for (const char byte : body) {
        text += static_cast<wchar_t>(static_cast<unsigned char>(byte));
    }
    return text;
}

} // namespace

bool ReadSettingsText(std::wfstream& file, std::wstring& text)
{
    file.imbue(std::locale(file.getloc(), new CByteConversion));
    const std::wstring raw((std::istreambuf_iterator<wchar_t>(file)), std::istreambuf_iterator<wchar_t>());
    if (file.bad()) {
        return false;
    }
    text = Decode(std::string(raw.begin(), raw.end()));
    return true;
}

bool ReadSettingsText(const std::wstring& path, std::wstring& text)
{
    std::wfstream file(path.c_str(), std::ios::in);
    return file.is_open() && ReadSettingsText(file, text);
}

bool ReplaceSettingsFile(const std::wstring& path, const std::wstring& text)
{
    std::string bytes;
    wchar_t temporary[MAX_PATH] = {};
    if (!Cxx::Core::Utils::WideToUtf8(text, bytes) ||
        ::GetTempFileNameW(Cxx::Core::Utils::DirectoryOfPath(path).c_str(), L"kvs", 0, temporary) == 0) {
        return false;
    }
    bool written = false;
    {
        std::ofstream file(temporary, std::ios::trunc);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        file.close();
        written = !file.fail();
    }
    if (written && ::MoveFileExW(temporary, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    ::DeleteFileW(temporary);
    return false;
}

} // namespace ProductSettings
