#include "failing_allocation.h"

#include <cstdlib>
#include <new>

namespace {
thread_local long t_allocationsLeft = -1;
}

void FailAllocationAfter(long allocations)
{
    t_allocationsLeft = allocations;
}

void* operator new(std::size_t size)
{
    if (t_allocationsLeft == 0)
        throw std::bad_alloc();
    if (t_allocationsLeft > 0)
        --t_allocationsLeft;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
