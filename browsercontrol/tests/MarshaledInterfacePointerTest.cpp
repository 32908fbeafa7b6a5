#include "browsercontrol/js/MarshaledInterfacePointer.h"
#include "browsercontrol/tests/RecordingDispatch.h"
#include "browsercontrol/tests/StaThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

using BrowserControl::Tests::CApartment;
using BrowserControl::Tests::CRecordingDispatch;
using BrowserControl::Tests::CWorkerThread;
using Cxx::Core::CComPtr;

namespace {

constexpr DWORD kGenerous = 30000;

HRESULT CallByName(IDispatch* target, const wchar_t* name)
{
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = target->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        return hr;
    }
    DISPPARAMS none{};
    return target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
}

class MarshaledInterfacePointer : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_apartment.Entered()); }

    CApartment m_apartment;
    CComPtr<CRecordingDispatch> m_page = CComPtr<CRecordingDispatch>::Attach(CRecordingDispatch::Create({L"ping"}));
};

TEST_F(MarshaledInterfacePointer, NullGivesNullEverywhere)
{
    js::marshaled_interface_pointer<IDispatch> pointer(nullptr, false);
    EXPECT_FALSE(pointer.IsMarshaled());
    EXPECT_EQ(pointer.Get(), nullptr);
    IDispatch* onWorker = reinterpret_cast<IDispatch*>(1);
    CWorkerThread worker([&] { onWorker = pointer.Get(); });
    ASSERT_TRUE(worker.PumpUntilDone(kGenerous));
    EXPECT_EQ(onWorker, nullptr);
}

TEST_F(MarshaledInterfacePointer, NoMarshalGivesThePointerItselfEverywhere)
{
    const ULONG before = m_page->References();
    {
        js::marshaled_interface_pointer<IDispatch> pointer(m_page.Get(), true);
        EXPECT_FALSE(pointer.IsMarshaled());
        EXPECT_EQ(m_page->References(), before + 1);
        IDispatch* onWorker = nullptr;
        CWorkerThread worker([&] { onWorker = pointer.Get(); });
        ASSERT_TRUE(worker.PumpUntilDone(kGenerous));
        EXPECT_EQ(onWorker, m_page.Get());
        EXPECT_EQ(pointer.Get(), m_page.Get());
    }
    EXPECT_EQ(m_page->References(), before);
}

// Every worker gets a proxy of its own, reused on later calls, and its calls run on the
// creating thread; the creating thread keeps the pointer itself.
TEST_F(MarshaledInterfacePointer, EachWorkerGetsAProxyThatCallsIntoTheCreatingThread)
{
    const ULONG before = m_page->References();
    {
        js::marshaled_interface_pointer<IDispatch> pointer(m_page.Get(), false);
        ASSERT_TRUE(pointer.IsMarshaled());
        EXPECT_EQ(pointer.Get(), m_page.Get());

        constexpr int kWorkers = 4;
        std::atomic<int> ready{0};
        struct CSeen {
            IDispatch* first = nullptr;
            IDispatch* second = nullptr;
            HRESULT call = E_FAIL;
        };
        std::vector<CSeen> seen(kWorkers);
        std::vector<std::unique_ptr<CWorkerThread>> workers;
        for (int index = 0; index < kWorkers; ++index) {
            workers.push_back(std::make_unique<CWorkerThread>([&, index] {
                // All ask at once, so the cache is filled by several threads together.
                ready.fetch_add(1);
                while (ready.load() < kWorkers) {
                    ::Sleep(0);
                }
                seen[index].first = pointer.Get();
                seen[index].second = pointer.Get();
                if (seen[index].first) {
                    seen[index].call = CallByName(seen[index].first, L"ping");
                }
            }));
        }
        for (auto& worker : workers) {
            ASSERT_TRUE(worker->PumpUntilDone(kGenerous));
        }
        for (int index = 0; index < kWorkers; ++index) {
            SCOPED_TRACE(index);
            ASSERT_NE(seen[index].first, nullptr);
            EXPECT_NE(seen[index].first, static_cast<IDispatch*>(m_page.Get()));
            EXPECT_EQ(seen[index].second, seen[index].first);
            EXPECT_EQ(seen[index].call, S_OK);
        }
        const auto calls = m_page->Calls();
        ASSERT_EQ(calls.size(), static_cast<std::size_t>(kWorkers));
        for (const auto& call : calls) {
            EXPECT_EQ(call.name, L"ping");
            EXPECT_EQ(call.threadId, ::GetCurrentThreadId());
        }
        EXPECT_EQ(pointer.Get(), m_page.Get());
    }
    // The registration and the proxies of ended workers hold nothing any more.
    EXPECT_EQ(m_page->References(), before);
}

TEST_F(MarshaledInterfacePointer, ThreadWithoutApartmentGetsNull)
{
    js::marshaled_interface_pointer<IDispatch> pointer(m_page.Get(), false);
    IDispatch* onWorker = reinterpret_cast<IDispatch*>(1);
    CWorkerThread worker([&] { onWorker = pointer.Get(); }, false);
    ASSERT_TRUE(worker.PumpUntilDone(kGenerous));
    EXPECT_EQ(onWorker, nullptr);
}

// The last owner may be a worker: the object is destroyed there, lets go of the worker's proxy
// and hands the creating thread's references back to that thread, which releases them once
// it takes messages again.
TEST_F(MarshaledInterfacePointer, DestroyedOnAWorkerReleasesOnTheCreatingThread)
{
    const ULONG before = m_page->References();
    auto pointer = std::make_unique<js::marshaled_interface_pointer<IDispatch>>(m_page.Get(), false);
    HRESULT call = E_FAIL;
    ULONG afterReset = 0;
    std::atomic<int> stage{0};
    CWorkerThread worker([&] {
        if (IDispatch* proxy = pointer->Get()) {
            call = CallByName(proxy, L"ping");
        }
        pointer->ForgetThread();
        stage = 1;
        while (stage != 2) {
            ::Sleep(1);
        }
        pointer.reset();
        afterReset = m_page->References();
        stage = 3;
    });
    ASSERT_TRUE(BrowserControl::Tests::PumpUntil([&] { return stage == 1; }, kGenerous));
    // No messages taken meanwhile: nothing can reach this thread while the worker lets go.
    stage = 2;
    const ULONGLONG deadline = ::GetTickCount64() + kGenerous;
    while (stage != 3 && ::GetTickCount64() < deadline) {
        ::Sleep(1);
    }
    ASSERT_EQ(stage, 3);
    EXPECT_EQ(call, S_OK);
    EXPECT_EQ(m_page->CallCount(), 1u);
    EXPECT_GT(afterReset, before);
    ASSERT_TRUE(worker.PumpUntilDone(kGenerous));
    EXPECT_TRUE(BrowserControl::Tests::PumpUntil([&] { return m_page->References() == before; }, kGenerous));
    EXPECT_EQ(m_page->LastReleaseThread(), ::GetCurrentThreadId());
}

} // namespace
