#pragma once

#include <boost/property_tree/ptree.hpp>

#include <map>
#include <string>

namespace ProductList {

// Key material of the encrypted list files: these 16 characters, no terminator.
extern const std::string catalogueKey;
// The encrypted list beside the program.
extern const std::wstring appsFileName;

// Built-in lists by brand key; the empty key holds the family's list.
const std::map<std::string, std::string>& BuiltInCatalogue();

// The built-in texts are wrapped in parentheses; these (and only these) go.
std::string StripCatalogueParentheses(const std::string& text);

// Larger list files are refused unread.
inline constexpr long long MaxListFileSize = 4ll * 1024 * 1024;

// Reads and decrypts a list file. False (and text empty) when the file does not
// open, is empty, is larger than MaxListFileSize or does not decrypt.
bool ReadEncryptedListFile(const std::wstring& path, const std::string& key, std::string& text);

// The list document, from the first source that gives one: the list file,
// then "apps" in programDirectory, then the built-in text under builtInKey.
// A file that does not decrypt to a JSON document counts as unreadable.
// Empty when no source gives a document.
boost::property_tree::ptree LoadCatalogue(const std::wstring& listFile, const std::string& builtInKey,
                                          const std::wstring& programDirectory);

// A text value of a catalogue node: key, else key + "64" on 64-bit Windows
// (for this 32-bit program), else key + "32".
bool GetEntryText(const boost::property_tree::ptree& node, const std::string& key, std::string& text);

} // namespace ProductList
