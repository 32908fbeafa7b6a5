#include "cxx/core/ComHolder.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <memory>
#include <thread>

using Cxx::Core::Utils::CComHolder;

namespace {

// S_OK when COM was not initialised on this thread, S_FALSE when it still was.
HRESULT ProbeAndUndo()
{
    const HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(hr)) {
        ::CoUninitialize();
    }
    return hr;
}

} // namespace

TEST(ComHolder, UninitialisesOnItsOwnThread)
{
    std::jthread([] {
        {
            CComHolder holder(COINIT_APARTMENTTHREADED);
            EXPECT_EQ(holder.Result(), S_OK);
            EXPECT_EQ(holder.OwnerThreadId(), ::GetCurrentThreadId());
            EXPECT_EQ(ProbeAndUndo(), S_FALSE);
        }
        EXPECT_EQ(ProbeAndUndo(), S_OK);
    }).join();
}

TEST(ComHolder, DestroyedOnAnotherThreadLeavesComAlone)
{
    std::unique_ptr<CComHolder> holder;
    HRESULT afterwards = E_FAIL;
    std::jthread owner([&] {
        holder = std::make_unique<CComHolder>(COINIT_APARTMENTTHREADED);
        std::jthread([&] { holder.reset(); }).join();
        afterwards = ProbeAndUndo();
        ::CoUninitialize();
    });
    owner.join();
    EXPECT_EQ(afterwards, S_FALSE);
}

TEST(ComHolder, AttachedThreadTakesOverTheUninitialisation)
{
    std::jthread([] {
        auto holder = std::make_unique<CComHolder>(COINIT_APARTMENTTHREADED);
        HRESULT onOriginal = E_FAIL;
        std::jthread([&] { holder->AttachToCurrentThread(); }).join();
        holder.reset();
        onOriginal = ProbeAndUndo();
        // The original thread's initialisation is still counted: nobody undid it.
        EXPECT_EQ(onOriginal, S_FALSE);
        ::CoUninitialize();
    }).join();
}

TEST(ComHolder, FailedInitialisationIsNotUndone)
{
    std::jthread([] {
        ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        {
            CComHolder holder(COINIT_APARTMENTTHREADED);
            EXPECT_EQ(holder.Result(), RPC_E_CHANGED_MODE);
            EXPECT_FALSE(holder.Succeeded());
        }
        // The thread's own initialisation survives the holder.
        EXPECT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        ::CoUninitialize();
        ::CoUninitialize();
    }).join();
}
