#pragma once

#include "cxx/gui/Com.h"

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace BrowserControl::JS {

using CVariant = Cxx::GUI::CVariant;

// The integer a script passed: 16- and 32-bit integers as they are, floating-point numbers
// truncated toward zero. False, leaving value alone, for any other type and for a number that
// is not finite or does not fit into a signed 32-bit int (unsigned values above its range too).
bool VariantToInt(const VARIANT& variant, int& value);

// The text of a VT_BSTR that is not null; false, leaving text alone, for anything else.
bool VariantToString(const VARIANT& variant, std::wstring& text);

// Arguments of one method call, kept in the order DISPPARAMS wants them
// (last argument first), without named arguments.
class CArgumentList {
public:
    CArgumentList() = default;
    // Copies with VariantCopy; throws std::bad_alloc when a copy fails.
    CArgumentList(const CArgumentList& other);
    CArgumentList& operator=(const CArgumentList& other);
    CArgumentList(CArgumentList&& other) noexcept;
    CArgumentList& operator=(CArgumentList&& other) noexcept;
    ~CArgumentList() { Clear(); }

    // Appends in script order: the first argument added is the script's first.
    CArgumentList& Add(CVariant value);

    std::size_t Size() const { return m_reversed.size(); }
    // Index 0 is the last argument, as in DISPPARAMS.
    const VARIANT& At(std::size_t index) const { return m_reversed.at(index); }
    // Valid until the list changes.
    DISPPARAMS* Params();

private:
    void Clear();

    std::vector<VARIANT> m_reversed;
    DISPPARAMS m_params{};
};

} // namespace BrowserControl::JS
