#pragma once

#include <windows.h>

#include <utility>

namespace Cxx::Core {

// Owns one handle-like value and releases it with Close(value).
// Traits: static Type Invalid(); static void Close(Type).
template <typename Traits>
class CUniqueHandle {
public:
    using Type = decltype(Traits::Invalid());

    CUniqueHandle() = default;
    explicit CUniqueHandle(Type value) : m_value(value) {}
    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;
    CUniqueHandle(CUniqueHandle&& other) noexcept : m_value(other.Release()) {}
    CUniqueHandle& operator=(CUniqueHandle&& other) noexcept
    {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    ~CUniqueHandle() { Reset(); }

    Type Get() const { return m_value; }
    bool IsValid() const { return m_value != Traits::Invalid(); }
    explicit operator bool() const { return IsValid(); }

    // For out-parameters: releases the current value first.
    Type* Put()
    {
        Reset();
        return &m_value;
    }

    Type Release()
    {
        return std::exchange(m_value, Traits::Invalid());
    }

    void Reset(Type value = Traits::Invalid())
    {
        const Type old = std::exchange(m_value, value);
        if (old != Traits::Invalid()) {
            Traits::Close(old);
        }
    }

private:
    Type m_value = Traits::Invalid();
};

struct KernelHandleTraits {
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
// CreateFile and a few others answer INVALID_HANDLE_VALUE instead of null.
struct FileHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
struct RegKeyTraits {
    static HKEY Invalid() { return nullptr; }
    static void Close(HKEY h) { ::RegCloseKey(h); }
};
struct FindHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::FindClose(h); }
};
struct LocalMemoryTraits {
    static HLOCAL Invalid() { return nullptr; }
    static void Close(HLOCAL h) { ::LocalFree(h); }
};

using CHandle = CUniqueHandle<KernelHandleTraits>;
using CFileHandle = CUniqueHandle<FileHandleTraits>;
using CRegKey = CUniqueHandle<RegKeyTraits>;
using CFindHandle = CUniqueHandle<FindHandleTraits>;
using CLocalMemory = CUniqueHandle<LocalMemoryTraits>;

// Owns one COM interface pointer (one reference).
template <typename T>
class CComPtr {
public:
    CComPtr() = default;
    // Takes over a reference the caller already owns.
    static CComPtr Attach(T* p)
    {
        CComPtr result;
        result.m_p = p;
        return result;
    }
    // Adds a reference of its own.
    explicit CComPtr(T* p) : m_p(p)
    {
        if (m_p) {
            m_p->AddRef();
        }
    }
    CComPtr(const CComPtr& other) : CComPtr(other.m_p) {}
    CComPtr(CComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    CComPtr& operator=(CComPtr other) noexcept
    {
        std::swap(m_p, other.m_p);
        return *this;
    }
    ~CComPtr() { Reset(); }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    T** Put()
    {
        Reset();
        return &m_p;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    T* Detach() { return std::exchange(m_p, nullptr); }
    void Reset()
    {
        if (T* p = std::exchange(m_p, nullptr)) {
            p->Release();
        }
    }

private:
    T* m_p = nullptr;
};

} // namespace Cxx::Core
