// Stands in for an installed product in the catalogue tests.
//   --touch FILE ARGS...  writes ARGS, joined by "|", into FILE
//   --installed CODE      exits 10 when the catalogue of this program's own
//                         folder finds CODE installed, else 20
#include "productlist/ProductList.h"

#include <windows.h>
#include <shellapi.h>

#include "cxx/core/Handle.h"
#include "cxx/core/TextUtils.h"

#include <filesystem>
#include <fstream>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int count = 0;
    Cxx::Core::CLocalMemory owner;
    wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    owner.Reset(reinterpret_cast<HLOCAL>(args));
    if (args == nullptr || count < 3) {
        return 0;
    }
    const std::wstring mode = args[1];
    if (mode == L"--touch") {
        std::wstring joined;
        for (int i = 3; i < count; ++i) {
            joined += (i > 3 ? L"|" : L"") + std::wstring(args[i]);
        }
        std::ofstream file(std::filesystem::path(args[2]), std::ios::binary | std::ios::trunc);
        file << Cxx::Core::Utils::WideToUtf8String(joined);
        return file.good() ? 0 : 1;
    }
    if (mode == L"--installed") {
        ProductList::CProductList catalogue(L"", "");
        return catalogue.IsProductInstalled(Cxx::Core::Utils::WideToUtf8String(args[2])) ? 10 : 20;
    }
    return 2;
}
