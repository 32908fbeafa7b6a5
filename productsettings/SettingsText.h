#pragma once

#include <fstream>
#include <string>

namespace ProductSettings {

// How a settings file's text is stored. Bytes: one character per byte
// (Latin-1), as the products' own wide streams read it; a file without a mark
// is taken so when it is not UTF-8 or holds no byte above 0x7F.
enum class ETextEncoding { Utf8, Utf8Bom, Utf16Le, Utf16Be, Bytes };

struct SettingsText {
    std::wstring text;
    ETextEncoding encoding = ETextEncoding::Utf8;
};

// Finds the encoding from the byte-order mark (UTF-8 or UTF-16), else from
// whether the bytes are UTF-8, and decodes the text without its mark.
SettingsText DecodeSettingsText(const std::string& bytes);

// The bytes of text in encoding, mark included. False when a character does
// not fit the encoding.
bool EncodeSettingsText(const SettingsText& text, std::string& bytes);

// A settings file holds a few kilobytes; a larger one is refused unread, as
// the catalogue refuses list files above the same size.
inline constexpr long long MaxSettingsFileSize = 4ll * 1024 * 1024;

// The text of a settings file that the factory opened (in binary mode, so
// that no byte of a UTF-16 text is taken for a line end or the end of the
// file). False when its size cannot be found or exceeds MaxSettingsFileSize;
// a read that fails throws (from the file buffer).
bool ReadSettingsText(std::wfstream& file, std::wstring& text);

// Every byte of the file at path, which others may hold open meanwhile;
// false when it does not read or is larger than MaxSettingsFileSize.
bool ReadSettingsBytes(const std::wstring& path, std::string& bytes);

// Puts replacement in path's place and the old file under the backup name, as
// ReplaceFileW does; on failure the files lie where ReplaceFileW leaves them.
using SettingsFileSwap = bool (*)(const std::wstring& path, const std::wstring& replacement,
                                  const std::wstring& backup);
bool SwapSettingsFile(const std::wstring& path, const std::wstring& replacement, const std::wstring& backup);

// Where path is missing and a save stopped inside its swap left the old file
// under the backup name, moves it back; a file at path is never replaced.
// Called before a settings file is read or written.
void RestoreSettingsBackup(const std::wstring& path);

// Writes bytes into a new file beside path and puts it in path's place in one
// step (swap), keeping path's owner, security and attributes, so that a
// reader sees the old file or the new one, never a mix. Leaves no temporary
// file behind, and takes over one that a killed save left. Refuses a read-only
// file. False, and path unchanged, on any failure.
bool ReplaceSettingsFile(const std::wstring& path, const std::string& bytes,
                         SettingsFileSwap swap = SwapSettingsFile);

} // namespace ProductSettings
