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
    };
    const Read reads[] = {
        {true, milliseconds(5), 2},    {true, milliseconds(5), 4},   {false, milliseconds(5), 4},
        {true, milliseconds(50), 4},   {true, milliseconds(1), 8},   {true, milliseconds(1), 16},
        {true, milliseconds(1), 32},   {true, milliseconds(1), 32},  {true, milliseconds(500), 16},
        {false, milliseconds(500), 8}, {true, milliseconds(500), 4}, {true, milliseconds(500), 2},
        {true, milliseconds(500), 1},  {true, milliseconds(500), 1},
    };
    constexpr std::size_t chunk = 1000;
    CReadSize size(chunk);
    EXPECT_EQ(size.Get(), chunk);
    for (const Read& read : reads) {
        size.Update(read.full ? size.Get() : size.Get() - 1, read.took);
        EXPECT_EQ(size.Get(), read.next * chunk) << "after a read of " << read.took.count() << " ms";
    }
}
