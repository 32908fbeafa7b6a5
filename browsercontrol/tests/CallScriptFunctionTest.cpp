#include "browsercontrol/js/CallScriptFunction.h"
#include "browsercontrol/tests/RecordingDispatch.h"
#include "browsercontrol/tests/StaThread.h"

#include <exdisp.h>
#include <gtest/gtest.h>

using BrowserControl::Tests::CApartment;
using BrowserControl::Tests::CRecordingDispatch;
using Cxx::Core::CComPtr;

namespace {

TEST(CallScriptFunction, CallsTheWindowsGlobalWithoutArguments)
{
    CApartment apartment;
    auto window = CComPtr<CRecordingDispatch>::Attach(CRecordingDispatch::Create({L"other", L"closeDialogRequested"}));
    EXPECT_EQ(BrowserControl::CallGlobalFunction(window.Get(), L"closeDialogRequested"), S_OK);
    const auto calls = window->Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].name, L"closeDialogRequested");
    EXPECT_EQ(calls[0].flags, DISPATCH_METHOD);
    EXPECT_TRUE(calls[0].arguments.empty());
}

TEST(CallScriptFunction, UnknownNameFailsAndCallsNothing)
{
    CApartment apartment;
    auto window = CComPtr<CRecordingDispatch>::Attach(CRecordingDispatch::Create({L"other"}));
    EXPECT_EQ(BrowserControl::CallGlobalFunction(window.Get(), L"closeDialogRequested"), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(window->LookupCount(), 1u);
    EXPECT_EQ(window->CallCount(), 0u);
}

// A document that is no HTML document, and a browser without any page, fail without calling.
TEST(CallScriptFunction, NoPageNoCall)
{
    CApartment apartment;
    auto notADocument = CComPtr<CRecordingDispatch>::Attach(CRecordingDispatch::Create({L"closeDialogRequested"}));
    EXPECT_EQ(BrowserControl::CallScriptFunctionOfDocument(notADocument.Get(), L"closeDialogRequested"),
              E_NOINTERFACE);
    EXPECT_EQ(notADocument->LookupCount(), 0u);
    EXPECT_EQ(BrowserControl::CallScriptFunctionOfDocument(nullptr, L"closeDialogRequested"), E_NOINTERFACE);
    EXPECT_EQ(BrowserControl::CallScriptFunction(nullptr, L"closeDialogRequested"), E_POINTER);

    CComPtr<IWebBrowser2> browser;
    const HRESULT created =
        ::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IWebBrowser2, browser.PutVoid());
    if (FAILED(created)) {
        GTEST_SKIP() << "no WebBrowser control here: 0x" << std::hex << created;
    }
    EXPECT_TRUE(FAILED(BrowserControl::CallScriptFunction(browser.Get(), L"closeDialogRequested")));
}

} // namespace
