#include "cxx/gui/Com.h"

#include <new>
#include <utility>

namespace Cxx::GUI {

BSTR* CBstr::Put()
{
    ::SysFreeString(std::exchange(m_value, nullptr));
    return &m_value;
}

std::wstring CBstr::Text() const
{
    return m_value ? std::wstring(m_value, ::SysStringLen(m_value)) : std::wstring();
}

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

CVariant CVariant::Dispatch(IDispatch* value)
{
    CVariant result;
    if (value) {
        value->AddRef();
    }
    result.m_value.vt = VT_DISPATCH;
    result.m_value.pdispVal = value;
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

STDMETHODIMP CDispatchObject::QueryInterface(REFIID iid, void** object)
{
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
        return HandOut(object, this);
    }
    return E_NOINTERFACE;
}

HRESULT CVariant::CopyTo(VARIANT* target) const
{
    ::VariantInit(target);
    return ::VariantCopy(target, const_cast<VARIANT*>(&m_value));
}

HRESULT CurrentExceptionResult() noexcept
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

} // namespace Cxx::GUI
