#include "installer/cpp_custominstaller/commandline/DefaultLanguage.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

namespace CustomInstaller::Core::CommandLine {

namespace {

struct LanguageRow {
    unsigned short primaryLanguage;
    const wchar_t* code;
};

const LanguageRow LanguageTable[] = {
    {22, L"pt-br"}, {6, L"da"},  {19, L"nl"}, {9, L"en"},  {11, L"fi"}, {12, L"fr"}, {7, L"de"},
    {16, L"it"},    {17, L"ja"}, {20, L"no"}, {25, L"ru"}, {10, L"es"}, {29, L"sv"}, {31, L"tr"},
};

// Taiwan, Hong Kong, Macao and the neutral traditional script.
const unsigned short TraditionalChinese[] = {0x0404, 0x0C04, 0x1404, 0x7C04};

} // namespace

std::wstring GetInstallerLanguageFor(unsigned short languageId)
{
    if (std::find(std::begin(TraditionalChinese), std::end(TraditionalChinese), languageId) !=
        std::end(TraditionalChinese)) {
        return L"zh-tw";
    }
    const unsigned short primary = languageId & 0x3FF;
    for (const LanguageRow& row : LanguageTable) {
        if (row.primaryLanguage == primary) {
            return row.code;
        }
    }
    return L"en";
}

std::wstring GetDefaultInstallerLanguage()
{
    return GetInstallerLanguageFor(::GetUserDefaultUILanguage());
}

} // namespace CustomInstaller::Core::CommandLine
