#pragma once

#include "cxx/core/Handle.h"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <utility>

namespace BrowserControl::JS {

namespace Detail {
// Unique for the life of the process; thread ids are reused by the system, and a
// new thread must not be handed the proxy of a thread that has ended.
std::uint64_t CurrentThreadSerial();

// What a pointer holds of its creating thread's apartment, let go there: the registration is
// revoked, then the references are released.
struct CHomeRelease {
    CHomeRelease() = default;
    CHomeRelease(const CHomeRelease&) = delete;
    CHomeRelease& operator=(const CHomeRelease&) = delete;
    ~CHomeRelease();

    Cxx::Core::CComPtr<IUnknown> pointer;
    Cxx::Core::CComPtr<IUnknown> cached;
    Cxx::Core::CComPtr<IGlobalInterfaceTable> table;
    DWORD cookie = 0;
};

// A hidden window of the calling thread that takes the releases other threads hand it; made
// once per thread. Null when it cannot be made.
HWND HomeWindow();
// The release runs on the thread of that window when it next takes messages. When that
// thread is gone, its apartment is gone too: what it held is then never released, since
// releasing it elsewhere would run code of that apartment that may already be unloaded.
void PostHomeRelease(HWND home, std::unique_ptr<CHomeRelease> release);
} // namespace Detail

// Carries an interface of the creating thread's apartment so that any thread may call it.
// The creating thread gets the pointer itself; every other thread that has entered an
// apartment gets a proxy of its own, made once and kept until the object is destroyed.
// Destroyed on another thread, it hands the creating thread's references back to that
// thread, which lets them go when it next takes messages.
// The pointer is registered in the process's global interface table rather than marshalled
// into a stream: a normal marshal packet unmarshals only once, and the table hands out a
// proxy to each thread that asks and can be revoked from any thread.
template <typename T>
class marshaled_interface_pointer {
public:
    // Call on the thread that owns the object. With noMarshal every thread gets the
    // pointer itself (for objects that any thread may call directly).
    marshaled_interface_pointer(T* pointer, bool noMarshal) : m_pointer(pointer), m_noMarshal(noMarshal)
    {
        if (!m_pointer || m_noMarshal) {
            return;
        }
        if (SUCCEEDED(::CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IGlobalInterfaceTable, m_table.PutVoid()))) {
            if (FAILED(m_table->RegisterInterfaceInGlobal(m_pointer.Get(), __uuidof(T), &m_cookie))) {
                m_cookie = 0;
                m_table.Reset();
            }
        }
        m_homeSerial = Detail::CurrentThreadSerial();
        m_home = Detail::HomeWindow();
        m_cache.emplace(m_homeSerial, m_pointer);
    }

    marshaled_interface_pointer(const marshaled_interface_pointer&) = delete;
    marshaled_interface_pointer& operator=(const marshaled_interface_pointer&) = delete;

    ~marshaled_interface_pointer()
    {
        if (m_home && ::GetWindowThreadProcessId(m_home, nullptr) != ::GetCurrentThreadId()) {
            if (auto release = std::unique_ptr<Detail::CHomeRelease>(new (std::nothrow) Detail::CHomeRelease)) {
                if (const auto home = m_cache.find(m_homeSerial); home != m_cache.end()) {
                    release->cached = Cxx::Core::CComPtr<IUnknown>::Attach(home->second.Detach());
                    m_cache.erase(home);
                }
                release->pointer = Cxx::Core::CComPtr<IUnknown>::Attach(m_pointer.Detach());
                release->table = std::move(m_table);
                release->cookie = std::exchange(m_cookie, 0);
                Detail::PostHomeRelease(m_home, std::move(release));
            }
        }
        if (m_cookie != 0) {
            m_table->RevokeInterfaceFromGlobal(m_cookie);
        }
        m_cache.clear();
    }

    // An interface the calling thread may use, or null (no pointer, no apartment on this
    // thread, or the pointer could not be registered). The object keeps the reference.
    T* Get()
    {
        if (!m_pointer) {
            return nullptr;
        }
        if (m_noMarshal) {
            return m_pointer.Get();
        }
        const std::uint64_t thread = Detail::CurrentThreadSerial();
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (const auto found = m_cache.find(thread); found != m_cache.end()) {
                return found->second.Get();
            }
        }
        if (m_cookie == 0) {
            return nullptr;
        }
        // Unmarshalling may call into the owning apartment, so it runs outside the lock:
        // the owning thread may be waiting for the lock in its own Get meanwhile.
        Cxx::Core::CComPtr<T> local;
        if (FAILED(m_table->GetInterfaceFromGlobal(m_cookie, __uuidof(T), local.PutVoid())) || !local) {
            return nullptr;
        }
        std::lock_guard<std::mutex> lock(m_lock);
        return m_cache.emplace(thread, std::move(local)).first->second.Get();
    }

    // Drops the calling thread's proxy, which belongs to its apartment: a thread that got one
    // calls this before it leaves the apartment. Another Get would make a new one.
    void ForgetThread()
    {
        // Released at the end, outside the lock: releasing a proxy may call into the owning
        // apartment, as unmarshalling does in Get.
        Cxx::Core::CComPtr<T> proxy;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            const auto found = m_cache.find(Detail::CurrentThreadSerial());
            if (found == m_cache.end() || found->second.Get() == m_pointer.Get()) {
                return;
            }
            proxy = std::move(found->second);
            m_cache.erase(found);
        }
    }

    // True when threads other than the creator can get a proxy.
    bool IsMarshaled() const { return m_cookie != 0; }

private:
    Cxx::Core::CComPtr<T> m_pointer;
    const bool m_noMarshal;
    Cxx::Core::CComPtr<IGlobalInterfaceTable> m_table;
    DWORD m_cookie = 0;
    std::uint64_t m_homeSerial = 0;
    // Null when the pointer is not marshalled, or the creating thread could not make it.
    HWND m_home = nullptr;
    std::mutex m_lock;
    std::map<std::uint64_t, Cxx::Core::CComPtr<T>> m_cache;
};

} // namespace BrowserControl::JS

namespace js = BrowserControl::JS;
