#include "browsercontrol/ExternalDispatch.h"
#include "browsercontrol/js/JSObjects.h"
#include "browsercontrol/js/WindowWrapper.h"
#include "browsercontrol/tests/RecordingDispatch.h"
#include "cxx/gui/Com.h"
#include "tests/support/FailingAllocations.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace BrowserControl;
using BrowserControl::JS::WindowWrapper::CJSWindowWrapper;
using BrowserControl::Tests::CRecordingDispatch;
using Cxx::Core::CComPtr;
using Cxx::GUI::CVariant;

namespace {

HRESULT IdsOf(IDispatch& object, std::vector<const wchar_t*> names, std::vector<DISPID>& ids)
{
    ids.assign(names.size(), -1);
    return object.GetIDsOfNames(IID_NULL, const_cast<LPOLESTR*>(names.data()), static_cast<UINT>(names.size()), 0,
                                ids.data());
}

CComPtr<CRecordingDispatch> Recording()
{
    return CComPtr<CRecordingDispatch>::Attach(CRecordingDispatch::Create({}));
}

} // namespace

TEST(ScriptObject, MethodsAreFoundByExactNameInTheOrderAdded)
{
    CComPtr<CJSWindowWrapper> basewnd(new CJSWindowWrapper(nullptr));
    std::vector<DISPID> ids;
    ASSERT_EQ(IdsOf(*basewnd.Get(), {L"hide", L"close", L"show", L"minimize", L"isMinimizeSupported", L"getDPI",
                                     L"closeWithExitCode"},
                    ids),
              S_OK);
    EXPECT_EQ(ids, (std::vector<DISPID>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(IdsOf(*basewnd.Get(), {L"hide", L"Close"}, ids), E_NOTIMPL);
    EXPECT_EQ(ids, (std::vector<DISPID>{1, -1}));
    EXPECT_EQ(IdsOf(*basewnd.Get(), {}, ids), S_OK);
    EXPECT_EQ(basewnd->GetIDsOfNames(IID_NULL, nullptr, 1, 0, nullptr), E_INVALIDARG);

    CVariant result;
    DISPPARAMS none{};
    ASSERT_EQ(basewnd->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.Put(), nullptr, nullptr),
              S_OK);
    EXPECT_EQ(result.Get().vt, VT_DISPATCH);
    EXPECT_EQ(result.Get().pdispVal, static_cast<IDispatch*>(basewnd.Get()));
    EXPECT_EQ(basewnd->Invoke(DISPID_VALUE, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              E_NOTIMPL);
    EXPECT_EQ(basewnd->Invoke(8, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(basewnd->QueryInterface(IID_IDispatch, nullptr), E_POINTER);
    void* other = nullptr;
    EXPECT_EQ(basewnd->QueryInterface(IID_IOleObject, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(basewnd->GetTypeInfoCount(nullptr), E_NOTIMPL);
}

TEST(JSObjects, ANameAddedAgainMovesToTheEndAndReplacesItsObject)
{
    JS::CJSObjectsSimpleContainer objects;
    auto first = Recording();
    auto second = Recording();
    EXPECT_TRUE(objects.Add(L"system", first.Get()));
    EXPECT_TRUE(objects.Add(L"process", second.Get()));
    EXPECT_FALSE(objects.Add(L"system", second.Get()));
    EXPECT_EQ(first->References(), 1u);
    EXPECT_EQ(objects.GetCount(), 2);
    EXPECT_EQ(objects.GetName(1), L"system");
    EXPECT_EQ(objects.FindIndex(L"process"), 0);
    EXPECT_EQ(objects.FindIndex(L"System"), -1);
    EXPECT_FALSE(objects.GetObject(2));
    EXPECT_FALSE(objects.Add(L"null", nullptr));

    JS::CJSObjectsSimpleContainer more;
    more.Add(L"engine", first.Get());
    more.Add(L"process", first.Get());
    EXPECT_FALSE(objects.AddAll(more));
    EXPECT_EQ(objects.GetName(0), L"system");
    EXPECT_EQ(objects.GetObject(2).Get(), static_cast<IDispatch*>(first.Get()));
    EXPECT_TRUE(objects.Remove(L"engine"));
    EXPECT_FALSE(objects.Remove(L"engine"));
    EXPECT_EQ(objects.GetCount(), 2);
}

TEST(JSObjects, AnAddedScriptObjectIsOwnedByTheContainerAlone)
{
    auto objects = std::make_shared<JS::CJSObjectsSimpleContainer>();
    JS::AddScriptObject(objects, new CJSWindowWrapper(nullptr));
    ASSERT_EQ(objects->GetName(0), L"basewnd");
    IDispatch* object = objects->GetObject(0).Get();
    EXPECT_EQ(object->AddRef(), 2u);
    EXPECT_EQ(object->Release(), 1u);
}

TEST(ExternalDispatch, ThePropertiesAreTheContainersObjectsByIndex)
{
    auto objects = std::make_shared<JS::CJSObjectsSimpleContainer>();
    auto basewnd = Recording();
    auto system = Recording();
    objects->Add(L"basewnd", basewnd.Get());
    objects->Add(L"system", system.Get());
    CComPtr<CExternalDispatch> external(new CExternalDispatch(objects));
    std::vector<DISPID> ids;
    ASSERT_EQ(IdsOf(*external.Get(), {L"system", L"basewnd"}, ids), S_OK);
    EXPECT_EQ(ids, (std::vector<DISPID>{1, 0}));
    EXPECT_EQ(IdsOf(*external.Get(), {L"System"}, ids), DISP_E_UNKNOWNNAME);
    LPOLESTR longName[] = {const_cast<LPOLESTR>(L"installationDetails")};
    DISPID id = -1;
    HRESULT withoutMemory = S_OK;
    {
        const KvTest::CFailingAllocations noMemory;
        withoutMemory = external->GetIDsOfNames(IID_NULL, longName, 1, 0, &id);
    }
    EXPECT_EQ(withoutMemory, E_OUTOFMEMORY);

    CVariant result;
    DISPPARAMS none{};
    ASSERT_EQ(external->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.Put(), nullptr, nullptr), S_OK);
    EXPECT_EQ(result.Get().vt, VT_DISPATCH);
    EXPECT_EQ(result.Get().pdispVal, static_cast<IDispatch*>(system.Get()));
    EXPECT_EQ(external->Invoke(2, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.Put(), nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(external->Invoke(0, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);

    CComPtr<CExternalDispatch> empty(new CExternalDispatch(nullptr));
    EXPECT_EQ(IdsOf(*empty.Get(), {L"basewnd"}, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(empty->Invoke(0, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, result.Put(), nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
}
