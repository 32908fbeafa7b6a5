#pragma once

// Memory that runs out, for tests of what code does when an allocation fails. The test
// program links FailingAllocations.cpp, which replaces the global operator new.

namespace KvTest {

extern thread_local int t_failingAllocations;

// While one lives, every operator new on its thread throws std::bad_alloc.
struct CFailingAllocations {
    CFailingAllocations() { ++t_failingAllocations; }
    ~CFailingAllocations() { --t_failingAllocations; }
    CFailingAllocations(const CFailingAllocations&) = delete;
    CFailingAllocations& operator=(const CFailingAllocations&) = delete;
};

} // namespace KvTest
