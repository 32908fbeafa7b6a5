#pragma once

#include <windows.h>
#include <oaidl.h>

#include <mutex>
#include <string>
#include <vector>

namespace BrowserControl::Tests {

// A page object for tests: answers the names it was given (DISPIDs from 1 on) and
// records every call it receives, with its arguments and the thread it ran on.
class CRecordingDispatch final : public IDispatch {
public:
    struct CArgument {
        VARTYPE type;
        double number;  // VT_R4 and VT_INT
    };
    struct CCall {
        std::wstring name;
        WORD flags;
        std::vector<CArgument> arguments;  // in script order
        DWORD threadId;
    };

    // Created with one reference, which the caller owns.
    static CRecordingDispatch* Create(std::vector<std::wstring> methods);

    std::vector<CCall> Calls() const;
    std::size_t CallCount() const;
    // Number of GetIDsOfNames requests, answered or not.
    std::size_t LookupCount() const;
    // The current reference count.
    ULONG References();
    // The thread of the latest Release.
    DWORD LastReleaseThread() const { return m_lastReleaseThread; }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT*) override;

private:
    explicit CRecordingDispatch(std::vector<std::wstring> methods) : m_methods(std::move(methods)) {}
    ~CRecordingDispatch() = default;

    LONG m_references = 1;
    volatile DWORD m_lastReleaseThread = 0;
    const std::vector<std::wstring> m_methods;
    mutable std::mutex m_lock;
    std::vector<CCall> m_calls;
    std::size_t m_lookups = 0;
};

} // namespace BrowserControl::Tests
