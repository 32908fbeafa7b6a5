#include "cxx/core/ComHolder.h"

#include <objbase.h>

namespace Cxx::Core::Utils {

CComHolder::CComHolder(DWORD flags)
    : m_hr(::CoInitializeEx(nullptr, flags)), m_threadId(::GetCurrentThreadId())
{
}

CComHolder::~CComHolder()
{
    // COM counts initialisations per thread; another thread's count is not ours to lower.
    if (SUCCEEDED(m_hr) && ::GetCurrentThreadId() == m_threadId) {
        ::CoUninitialize();
    }
}

void CComHolder::AttachToCurrentThread()
{
    m_threadId = ::GetCurrentThreadId();
}

} // namespace Cxx::Core::Utils
