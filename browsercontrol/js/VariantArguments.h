#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

namespace BrowserControl::JS {

// Owns one VARIANT; cleared with VariantClear.
class CVariant {
public:
    CVariant() { ::VariantInit(&m_value); }
    CVariant(const CVariant& other);
    CVariant& operator=(const CVariant& other);
    CVariant(CVariant&& other) noexcept;
    CVariant& operator=(CVariant&& other) noexcept;
    ~CVariant() { ::VariantClear(&m_value); }

    static CVariant Float(float value);
    static CVariant Int(int value);
    static CVariant Bool(bool value);
    // Throws std::bad_alloc when the BSTR cannot be allocated.
    static CVariant String(const std::wstring& value);

    const VARIANT& Get() const { return m_value; }
    VARIANT* Put();
    // Hands the value over to the caller, who must clear it.
    VARIANT Detach();

private:
    VARIANT m_value;
};

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
