#pragma once

#include <cstdint>
#include <string>

namespace ProductList {

// What the catalogue knows about one installed product.
struct ProductInfo {
    std::string code;
    std::wstring installDir;
    std::string mainExecutable; // file name only, UTF-8
    std::wstring registryKey;   // under HKEY_LOCAL_MACHINE; may be empty
    std::string version;        // "ProductVersion" of the main executable
    std::int64_t installTime = 0; // creation of installDir, seconds since 1970
    bool isSupported = false;
    std::wstring buildId = L"0";
    std::wstring trackId;
    std::wstring installSource;
    std::string vendor;
    std::string productName;
    std::wstring programDataPath;
    std::wstring userDataPath;
};

} // namespace ProductList
