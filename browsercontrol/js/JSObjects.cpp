#include "browsercontrol/js/JSObjects.h"

#include "browsercontrol/js/CustomObject.h"

namespace BrowserControl::JS {

using Cxx::Core::CComPtr;

int CJSObjectsSimpleContainer::GetCount() const
{
    return static_cast<int>(m_objects.size());
}

CComPtr<IDispatch> CJSObjectsSimpleContainer::GetObject(int index) const
{
    if (index < 0 || index >= GetCount()) {
        return {};
    }
    return m_objects[static_cast<std::size_t>(index)].second;
}

std::wstring CJSObjectsSimpleContainer::GetName(int index) const
{
    if (index < 0 || index >= GetCount()) {
        return {};
    }
    return m_objects[static_cast<std::size_t>(index)].first;
}

int CJSObjectsSimpleContainer::FindIndex(const std::wstring& name) const
{
    for (std::size_t index = 0; index < m_objects.size(); ++index) {
        if (m_objects[index].first == name) {
            return static_cast<int>(index);
        }
    }
    return -1;
}

bool CJSObjectsSimpleContainer::AddAll(const CJSObjects& other)
{
    bool noneReplaced = true;
    const int count = other.GetCount();
    for (int index = 0; index < count; ++index) {
        noneReplaced = Add(other.GetName(index), other.GetObject(index).Get()) && noneReplaced;
    }
    return noneReplaced;
}

bool CJSObjectsSimpleContainer::Add(const std::wstring& name, IDispatch* object)
{
    if (!object) {
        return false;
    }
    const bool replaced = Remove(name);
    m_objects.emplace_back(name, CComPtr<IDispatch>(object));
    return !replaced;
}

bool CJSObjectsSimpleContainer::Remove(const std::wstring& name)
{
    const int index = FindIndex(name);
    if (index < 0) {
        return false;
    }
    m_objects.erase(m_objects.begin() + index);
    return true;
}

void AddScriptObject(const std::shared_ptr<CJSObjects>& container, CScriptObject* object)
{
    if (!object) {
        return;
    }
    // Without a container the object goes at once instead of leaking.
    CComPtr<CScriptObject> hold(object);
    if (container) {
        container->Add(hold->GetName(), hold.Get());
    }
}

} // namespace BrowserControl::JS
