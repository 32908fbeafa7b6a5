#pragma once

#include <fstream>
#include <string>

namespace ProductSettings {

// The text of a settings file freshly opened as a wide stream: UTF-8 with or
// without a byte-order mark, or UTF-16 with one. A file that is not UTF-8 is
// taken byte by byte, as the products' own wide streams read it. False when
// the file does not read.
bool ReadSettingsText(std::wfstream& file, std::wstring& text);

// The text of the settings file at path, read the same way.
bool ReadSettingsText(const std::wstring& path, std::wstring& text);

// Writes text as UTF-8 with Windows line ends into a new file beside path,
// then puts that file in path's place in one step, so a reader sees the old
// file or the new one, never a mix. False, and path unchanged, on any failure.
bool ReplaceSettingsFile(const std::wstring& path, const std::wstring& text);

} // namespace ProductSettings
