#include "browsercontrol/js/VariantArguments.h"

#include <limits>
#include <new>
#include <utility>

namespace BrowserControl::JS {

namespace {

// A value above the int range would wrap, 0xFFFFFFFF into -1 ("no value").
bool UnsignedToInt(unsigned long number, int& value)
{
    if (number > static_cast<unsigned long>(std::numeric_limits<int>::max())) {
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

} // namespace

bool VariantToInt(const VARIANT& variant, int& value)
{
    double number = 0.0;
    switch (variant.vt) {
    case VT_I2:
        value = variant.iVal;
        return true;
    case VT_UI2:
        value = variant.uiVal;
        return true;
    case VT_I4:
        value = variant.lVal;
        return true;
    case VT_UI4:
        return UnsignedToInt(variant.ulVal, value);
    case VT_INT:
        value = variant.intVal;
        return true;
    case VT_UINT:
        return UnsignedToInt(variant.uintVal, value);
    case VT_R4:
        number = variant.fltVal;
        break;
    case VT_R8:
        number = variant.dblVal;
        break;
    default:
        return false;
    }
    // Truncating a number outside the range (or NaN) would be undefined.
    if (!(number > -2147483649.0 && number < 2147483648.0)) {
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

bool VariantToString(const VARIANT& variant, std::wstring& text)
{
    if (variant.vt != VT_BSTR || !variant.bstrVal) {
        return false;
    }
    text.assign(variant.bstrVal, ::SysStringLen(variant.bstrVal));
    return true;
}

// VariantCopy does not change its source; some SDK headers declare it without const.

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
