#include "browsercontrol/js/VariantArguments.h"

#include <new>
#include <utility>

namespace BrowserControl::JS {

// VariantCopy does not change its source; some SDK headers declare it without const.

CVariant::CVariant(const CVariant& other)
{
    ::VariantInit(&m_value);
    if (FAILED(::VariantCopy(&m_value, const_cast<VARIANT*>(&other.m_value)))) {
        throw std::bad_alloc();
    }
}

CVariant& CVariant::operator=(const CVariant& other)
{
    if (this != &other) {
        CVariant copy(other);
        *this = std::move(copy);
    }
    return *this;
}

CVariant::CVariant(CVariant&& other) noexcept : m_value(other.m_value)
{
    ::VariantInit(&other.m_value);
}

CVariant& CVariant::operator=(CVariant&& other) noexcept
{
    if (this != &other) {
        ::VariantClear(&m_value);
        m_value = other.m_value;
        ::VariantInit(&other.m_value);
    }
    return *this;
}

CVariant CVariant::Float(float value)
{
    CVariant result;
    result.m_value.vt = VT_R4;
    result.m_value.fltVal = value;
    return result;
}

CVariant CVariant::Int(int value)
{
    CVariant result;
    result.m_value.vt = VT_INT;
    result.m_value.intVal = value;
    return result;
}

CVariant CVariant::Bool(bool value)
{
    CVariant result;
    result.m_value.vt = VT_BOOL;
    result.m_value.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return result;
}

CVariant CVariant::String(const std::wstring& value)
{
    CVariant result;
    BSTR text = ::SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
    if (!text) {
        throw std::bad_alloc();
    }
    result.m_value.vt = VT_BSTR;
    result.m_value.bstrVal = text;
    return result;
}

VARIANT* CVariant::Put()
{
    ::VariantClear(&m_value);
    return &m_value;
}

VARIANT CVariant::Detach()
{
    VARIANT result = m_value;
    ::VariantInit(&m_value);
    return result;
}

CArgumentList::CArgumentList(const CArgumentList& other)
{
    m_reversed.reserve(other.m_reversed.size());
    for (const VARIANT& value : other.m_reversed) {
        CVariant copy;
        if (FAILED(::VariantCopy(copy.Put(), const_cast<VARIANT*>(&value)))) {
            throw std::bad_alloc();
        }
        m_reversed.push_back(copy.Detach());
    }
}

CArgumentList& CArgumentList::operator=(const CArgumentList& other)
{
    if (this != &other) {
        CArgumentList copy(other);
        *this = std::move(copy);
    }
    return *this;
}

CArgumentList::CArgumentList(CArgumentList&& other) noexcept : m_reversed(std::move(other.m_reversed))
{
    other.m_reversed.clear();
}

CArgumentList& CArgumentList::operator=(CArgumentList&& other) noexcept
{
    if (this != &other) {
        Clear();
        m_reversed = std::move(other.m_reversed);
        other.m_reversed.clear();
    }
    return *this;
}

void CArgumentList::Clear()
{
    for (VARIANT& value : m_reversed) {
        ::VariantClear(&value);
    }
    m_reversed.clear();
}

CArgumentList& CArgumentList::Add(CVariant value)
{
    m_reversed.reserve(m_reversed.size() + 1);
    m_reversed.insert(m_reversed.begin(), value.Detach());
    return *this;
}

DISPPARAMS* CArgumentList::Params()
{
    m_params.rgvarg = m_reversed.empty() ? nullptr : m_reversed.data();
    m_params.cArgs = static_cast<UINT>(m_reversed.size());
    m_params.rgdispidNamedArgs = nullptr;
    m_params.cNamedArgs = 0;
    return &m_params;
}

} // namespace BrowserControl::JS
