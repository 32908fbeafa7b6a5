#pragma once

// Opens a built program for its resources only, without running any of its code.

#include "cxx/core/Handle.h"

#include <windows.h>

#include <string>

namespace KvTest {

struct DataModuleTraits {
    static HMODULE Invalid() { return nullptr; }
    static void Close(HMODULE module) { ::FreeLibrary(module); }
};
using CDataModule = Cxx::Core::CUniqueHandle<DataModuleTraits>;

inline CDataModule LoadDataModule(const std::wstring& path)
{
    return CDataModule(
        ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
}

} // namespace KvTest
