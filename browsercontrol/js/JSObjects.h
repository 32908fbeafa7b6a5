#pragma once

#include "cxx/core/Handle.h"

#include <windows.h>
#include <oaidl.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace BrowserControl::JS {

class CScriptObject;

// The named script objects of one page, in order; names are compared exactly and
// case-sensitively. Indexes run from 0 to GetCount() - 1.
class CJSObjects {
public:
    virtual ~CJSObjects() = default;

    virtual int GetCount() const = 0;
    // Null for an index out of range.
    virtual Cxx::Core::CComPtr<IDispatch> GetObject(int index) const = 0;
    // Empty for an index out of range.
    virtual std::wstring GetName(int index) const = 0;
    // -1 when absent.
    virtual int FindIndex(const std::wstring& name) const = 0;
    // Adds each entry of the other container in its order; true when no name was replaced.
    virtual bool AddAll(const CJSObjects& other) = 0;
    // Appends the object with a reference of its own. A name already present is removed first
    // (so it moves to the end) and the answer is false. A null object is not added (false).
    virtual bool Add(const std::wstring& name, IDispatch* object) = 0;
    // Releases the entry; false when the name was not there.
    virtual bool Remove(const std::wstring& name) = 0;
};

class CJSObjectsSimpleContainer final : public CJSObjects {
public:
    int GetCount() const override;
    Cxx::Core::CComPtr<IDispatch> GetObject(int index) const override;
    std::wstring GetName(int index) const override;
    int FindIndex(const std::wstring& name) const override;
    bool AddAll(const CJSObjects& other) override;
    bool Add(const std::wstring& name, IDispatch* object) override;
    bool Remove(const std::wstring& name) override;

private:
    std::vector<std::pair<std::wstring, Cxx::Core::CComPtr<IDispatch>>> m_objects;
};

// Adds a new script object (no references yet) under its own name; afterwards the container
// alone owns it. Without a container the object is deleted.
void AddScriptObject(const std::shared_ptr<CJSObjects>& container, CScriptObject* object);

} // namespace BrowserControl::JS
