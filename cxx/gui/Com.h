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

// The reference count of a COM object: interlocked, starting at 0.
class CReferenceCount {
public:
    ULONG Increment() { return static_cast<ULONG>(::InterlockedIncrement(&m_count)); }
    // Runs destroy (which may delete the count's owner) when the count reaches 0.
    template <typename F>
    ULONG Decrement(F destroy)
    {
        const LONG left = ::InterlockedDecrement(&m_count);
        if (left == 0) {
            destroy();
        }
        return static_cast<ULONG>(left);
    }

private:
    LONG m_count = 0;
};

// An IDispatch object without type information that answers IUnknown and IDispatch only and
// deletes itself with its last reference (the count starts at 0).
class CDispatchObject : public IDispatch {
public:
    CDispatchObject(const CDispatchObject&) = delete;
    CDispatchObject& operator=(const CDispatchObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return m_references.Increment(); }
    STDMETHODIMP_(ULONG) Release() override
    {
        return m_references.Decrement([this] { delete this; });
    }
    // E_NOTIMPL
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }

protected:
    CDispatchObject() = default;
    virtual ~CDispatchObject() = default;

private:
    CReferenceCount m_references;
};

// The HRESULT of the exception being handled: E_OUTOFMEMORY for std::bad_alloc, else E_FAIL.
// Call it only inside a catch block.
HRESULT CurrentExceptionResult() noexcept;

// Runs the body of a COM method. No C++ exception may cross a COM boundary, so whatever the
// body throws ends here as its HRESULT.
template <typename F>
HRESULT GuardComCall(F&& body) noexcept
{
    try {
        return body();
    } catch (...) {
        return CurrentExceptionResult();
    }
}

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
