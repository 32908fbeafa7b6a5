#include "tests/support/FailingAllocations.h"

#include <cstdlib>
#include <new>

thread_local int KvTest::t_failingAllocations = 0;

// The library's operator delete frees with free(); its array and nothrow forms come here.
void* operator new(std::size_t size)
{
    void* memory = KvTest::t_failingAllocations > 0 ? nullptr : std::malloc(size != 0 ? size : 1);
    if (!memory) {
        throw std::bad_alloc();
    }
    return memory;
}
