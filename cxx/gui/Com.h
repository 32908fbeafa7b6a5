#pragma once

#include "cxx/core/Handle.h"

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace Cxx::GUI {

// Owns one BSTR.
class CBstr {
public:
    CBstr() = default;
    CBstr(const CBstr&) = delete;
    CBstr& operator=(const CBstr&) = delete;
    ~CBstr() { ::SysFreeString(m_value); }

    BSTR Get() const { return m_value; }
    // For out-parameters: frees the current text first.
    BSTR* Put();
    // Empty for a null BSTR.
    std::wstring Text() const;

private:
    BSTR m_value = nullptr;
};

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
    // Holds a reference of its own.
    static CVariant Dispatch(IDispatch* value);

    const VARIANT& Get() const { return m_value; }
    VARIANT* Put();
    // Hands the value over to the caller, who must clear it.
    VARIANT Detach();
    // Fills an out-parameter that holds nothing yet with a copy; the HRESULT of the copy.
    HRESULT CopyTo(VARIANT* target) const;

private:
    VARIANT m_value;
};

// Answers a QueryInterface with one interface of the object, a reference added.
inline HRESULT HandOut(void** object, IUnknown* value)
{
    value->AddRef();
    *object = value;
    return S_OK;
}

// The interface Q of an object, or null.
template <typename Q>
Core::CComPtr<Q> QueryInterfaceOf(IUnknown* from, REFIID iid)
{
    Core::CComPtr<Q> result;
    if (from && FAILED(from->QueryInterface(iid, result.PutVoid()))) {
        result.Reset();
    }
    return result;
}

} // namespace Cxx::GUI
