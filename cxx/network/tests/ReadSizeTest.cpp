#include "cxx/network/http/HttpDetail.h"

#include <gtest/gtest.h>

#include <vector>

using Cxx::Network::Http::HttpClient::Detail::CReadSize;

TEST(ReadSize, GrowsOnFastFullReadsAndShrinksOnSlowOnes)
{
    using std::chrono::milliseconds;
    struct Read {
        bool full;
        milliseconds took;
        std::size_t next; // in chunks
        // The next read asks for the whole size even when less has arrived.
        bool whole;
    };
    const Read reads[] = {
        {true, milliseconds(5), 2, true},    {true, milliseconds(5), 4, true},   {false, milliseconds(5), 4, true},
        {true, milliseconds(50), 4, true},   {true, milliseconds(1), 8, true},   {true, milliseconds(1), 16, true},
        {true, milliseconds(1), 32, true},   {true, milliseconds(1), 32, true},  {true, milliseconds(500), 16, false},
        {false, milliseconds(500), 8, false}, {true, milliseconds(500), 4, false}, {true, milliseconds(500), 2, false},
        {true, milliseconds(500), 1, false},  {true, milliseconds(500), 1, false},
        // A line that brings a chunk within SlowRead is read in whole reads again.
        {false, milliseconds(150), 1, false}, {false, milliseconds(1), 1, true},
    };
    constexpr std::size_t chunk = 1000;
    CReadSize size(chunk);
    EXPECT_EQ(size.Get(), chunk);
    EXPECT_EQ(size.Ask(1), 1u) << "the first read takes what has arrived";
    EXPECT_EQ(size.Ask(5 * chunk), chunk);
    for (const Read& read : reads) {
        size.Update(read.full ? size.Get() : size.Get() - 1, read.took);
        EXPECT_EQ(size.Get(), read.next * chunk) << "after a read of " << read.took.count() << " ms";
        EXPECT_EQ(size.Ask(1), read.whole ? size.Get() : 1u) << "after a read of " << read.took.count() << " ms";
        EXPECT_EQ(size.Ask(size.Get() + 1), size.Get());
    }
}
