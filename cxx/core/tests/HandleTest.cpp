#include "cxx/core/Handle.h"

#include <gtest/gtest.h>

using Cxx::Core::CHandle;

TEST(Handle, ClosesOnceAndMoves)
{
    HANDLE raw = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(raw, nullptr);
    HANDLE duplicate = nullptr;
    ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), raw, ::GetCurrentProcess(), &duplicate, 0, FALSE,
                                  DUPLICATE_SAME_ACCESS));
    {
        CHandle first(raw);
        CHandle second(std::move(first));
        EXPECT_FALSE(first.IsValid());
        EXPECT_EQ(second.Get(), raw);
    }
    // The moved-to owner closed it; the moved-from one did not close it twice.
    DWORD flags = 0;
    EXPECT_FALSE(::GetHandleInformation(raw, &flags));
    CHandle kept(duplicate);
    EXPECT_TRUE(::GetHandleInformation(kept.Get(), &flags));
    EXPECT_EQ(kept.Release(), duplicate);
    EXPECT_FALSE(kept.IsValid());
    ::CloseHandle(duplicate);
}
