#include "failing_allocation.h"

#include <cstdlib>
#include <new>

namespace oomtest {

thread_local long g_allocationsBeforeFailure = -1;

}  // namespace oomtest

void* operator new(std::size_t size)
{
    if (oomtest::g_allocationsBeforeFailure == 0) {
        throw std::bad_alloc();
    }
    if (oomtest::g_allocationsBeforeFailure > 0) {
        --oomtest::g_allocationsBeforeFailure;
    }
    if (void* block = std::malloc(size ? size : 1)) {
        return block;
    }
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}
