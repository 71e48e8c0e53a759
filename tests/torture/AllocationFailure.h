// Fails allocations of the component, as curl's and SQLite's torture tests do: while an
// AllocationFailure lives, the calling thread's allocations through operator new and through
// velcom's automation memory (BSTRs, SAFEARRAYs) on the component's side (support/CallSide.h) are
// counted, and the one numbered `failAt` fails, or that one and every later one: operator new
// throws std::bad_alloc, its nothrow forms and velcom give null. The doubles, other threads, and
// the thread before and after allocate as usual.
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
