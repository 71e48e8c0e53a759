#include "torture/AllocationFailure.h"

#include <cstdlib>
#include <new>

#include <velcom/AutomationMemory.h>

#include "support/CallSide.h"

namespace {

// Plain data, so that reaching it from operator new needs no allocation of its own.
struct Counter {
    bool armed;
    std::size_t seen;
    std::size_t failAt;
    bool onward;
};
thread_local Counter t_counter{};

bool allocationFails() noexcept {
    Counter& counter = t_counter;
    if (!counter.armed || CallSide::current() != Side::component) return false;
    ++counter.seen;
    return counter.failAt != AllocationFailure::kNever &&
           (counter.onward ? counter.seen >= counter.failAt : counter.seen == counter.failAt);
}

void* allocate(std::size_t size) noexcept {
    return allocationFails() ? nullptr : std::malloc(size == 0 ? 1 : size);
}

void* allocateOrThrow(std::size_t size) {
    void* block = allocate(size);
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

constexpr velcom::AutomationMemory kCountedMemory{allocate, std::free};

}  // namespace

AllocationFailure::AllocationFailure(std::size_t failAt, Failing failing) {
    velcom::setAutomationMemory(&kCountedMemory);
    t_counter = {true, 0, failAt, failing == Failing::onward};
}

AllocationFailure::~AllocationFailure() {
    t_counter.armed = false;
    velcom::setAutomationMemory(nullptr);
}

std::size_t AllocationFailure::count() const { return t_counter.seen; }

bool AllocationFailure::failed() const {
    return t_counter.failAt != kNever && t_counter.seen >= t_counter.failAt;
}

// The program's own global allocation functions; the sanitizers accept them in place of theirs.
// Blocks come from malloc, so that whatever the sanitizers or velcom free stays matched.
void* operator new(std::size_t size) { return allocateOrThrow(size); }
void* operator new[](std::size_t size) { return allocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
