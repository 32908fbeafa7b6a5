#include "productlist/Catalogue.h"

#include "cxx/core/SystemUtils.h"
#include "cxx/security/crypt/Crypt.h"

#include <boost/property_tree/json_parser.hpp>

#include <fstream>
#include <sstream>
#include <vector>

namespace ProductList {

const std::string catalogueKey = "3RQM-Hb7kWLa2xtD";
const std::wstring appsFileName = L"apps";

std::string StripCatalogueParentheses(const std::string& text)
{
    const auto first = text.find_first_not_of('(');
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(')');
    return text.substr(first, last - first + 1);
}

bool ReadEncryptedListFile(const std::wstring& path, const std::string& key, std::string& text)
{
    text.clear();
    if (path.empty()) {
        return false;
    }
    std::ifstream file(path.c_str(), std::ios::in | std::ios::binary);
    if (!file.is_open()) {
        return false;
    }
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    // A list names a handful of products; anything far larger is not one, and
    // above 4 GiB its size would not even fit this program's buffers.
    if (size <= 0 || size > MaxListFileSize) {
        return false;
    }
    file.seekg(0, std::ios::beg);
    std::vector<char> cipher(static_cast<size_t>(size));
    if (!file.read(cipher.data(), size) || file.gcount() != size) {
        return false;
    }
    const Cxx::Security::CCrypt crypt(key.data(), key.size());
    return crypt.Decrypt(cipher.data(), cipher.size(), text);
}

namespace {

bool ParseListText(const std::string& text, boost::property_tree::ptree& tree)
{
    std::istringstream stream(text);
    try {
        boost::property_tree::ptree parsed;
        boost::property_tree::read_json(stream, parsed);
        tree.swap(parsed);
        return true;
    } catch (const boost::property_tree::json_parser_error&) {
        return false;
    }
}

bool TryListFile(const std::wstring& path, boost::property_tree::ptree& tree)
{
    try {
        std::string text;
        return ReadEncryptedListFile(path, catalogueKey, text) && ParseListText(text, tree);
    } catch (const std::exception&) {
        // A file that cannot be read is passed over for the next source.
        return false;
    }
}

} // namespace

boost::property_tree::ptree LoadCatalogue(const std::wstring& listFile, const std::string& builtInKey,
                                          const std::wstring& programDirectory)
{
    boost::property_tree::ptree tree;
    try {
        if (TryListFile(listFile, tree)) {
            return tree;
        }
        if (!programDirectory.empty() && TryListFile(programDirectory + L"\\" + appsFileName, tree)) {
            return tree;
        }
        const auto& builtIn = BuiltInCatalogue();
        const auto found = builtIn.find(builtInKey);
        if (found != builtIn.end()) {
            ParseListText(StripCatalogueParentheses(found->second), tree);
        }
    } catch (const std::exception&) {
        // Without a readable source the catalogue is simply empty.
        tree.clear();
    }
    return tree;
}

bool GetEntryText(const boost::property_tree::ptree& node, const std::string& key, std::string& text)
{
    auto child = node.find(key);
    if (child == node.not_found()) {
        child = node.find(key + (Cxx::Core::Utils::Is64BitWindows() ? "64" : "32"));
    }
    if (child == node.not_found()) {
        return false;
    }
    text = child->second.data();
    return true;
}

} // namespace ProductList
