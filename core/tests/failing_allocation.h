#pragma once
//
//  Makes the throwing operator new fail from the n-th allocation on, on the calling thread,
//  while a FailingAllocations lives. The replacement lives in failing_allocation.cpp, in its own
//  file so that no caller sees both halves of an allocation inlined together.
//
namespace oomtest {

// Allocations to let through before the next ones fail; negative: never fail.
extern thread_local long g_allocationsBeforeFailure;

class FailingAllocations {
public:
    explicit FailingAllocations(long allowed) { g_allocationsBeforeFailure = allowed; }
    ~FailingAllocations() { g_allocationsBeforeFailure = -1; }
    FailingAllocations(const FailingAllocations&) = delete;
    FailingAllocations& operator=(const FailingAllocations&) = delete;
};

}  // namespace oomtest
