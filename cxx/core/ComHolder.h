#pragma once

#include <windows.h>

namespace Cxx::Core::Utils {

// Keeps COM initialised for as long as it lives. Only the owning thread
// uninitialises: a holder destroyed elsewhere leaves COM alone.
class CComHolder {
public:
    explicit CComHolder(DWORD flags);
    ~CComHolder();
    CComHolder(const CComHolder&) = delete;
    CComHolder& operator=(const CComHolder&) = delete;

    // Hands the uninitialisation to the calling thread.
    void AttachToCurrentThread();

    HRESULT Result() const { return m_hr; }
    bool Succeeded() const { return SUCCEEDED(m_hr); }
    DWORD OwnerThreadId() const { return m_threadId; }

private:
    HRESULT m_hr;
    DWORD m_threadId;
};

} // namespace Cxx::Core::Utils
