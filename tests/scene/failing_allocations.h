#pragma once
// Makes one chosen allocation of the test program fail: the test binary
// replaces operator new, and while armed the n-th allocation (counted over
// all threads) throws std::bad_alloc, once.

#include <cstddef>

namespace failing_allocations {

// Arms the count: allocation `n` from now (1 is the next one) fails.
void failAt(std::size_t n);
// Disarms; true when the chosen allocation was reached (and failed).
bool disarm();

// Allocations of this thread while one lives are not counted (a test's own
// bookkeeping in the middle of the code under test).
class Pause {
   public:
    Pause();
    ~Pause();
    Pause(const Pause&) = delete;
    Pause& operator=(const Pause&) = delete;
};

}  // namespace failing_allocations
