#pragma once
// Makes the program's allocations fail on demand, to check that a failed
// append leaves the data as it was. Linked into one test binary, which then
// allocates through these.

#include <cstddef>

// The next `allocations` allocations succeed, the one after throws
// std::bad_alloc; negative: no failure. Applies to the calling thread.
void FailAllocationAfter(long allocations);

// Arms a failure for its lifetime.
class TAllocationFailure {
public:
    explicit TAllocationFailure(long after) { FailAllocationAfter(after); }
    ~TAllocationFailure() { FailAllocationAfter(-1); }
    TAllocationFailure(const TAllocationFailure&) = delete;
    TAllocationFailure& operator=(const TAllocationFailure&) = delete;
};
