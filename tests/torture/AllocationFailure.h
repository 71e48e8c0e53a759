// While one lives, the thread's component-side allocations (operator new, velcom's BSTRs and
// SAFEARRAYs; see support/CallSide.h) are counted and the `failAt`th one, or every one on, fails.
#pragma once

#include <cstddef>

class AllocationFailure {
public:
    static constexpr std::size_t kNever = 0;
    enum class Failing { once, onward };

    AllocationFailure(std::size_t failAt, Failing failing);
    ~AllocationFailure();
    AllocationFailure(const AllocationFailure&) = delete;
    AllocationFailure& operator=(const AllocationFailure&) = delete;

    // The allocations counted so far, the failed one included.
    std::size_t count() const;
};
