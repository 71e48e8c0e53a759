#include "torture/AllocationFailure.h"

#include <cstdlib>
#include <new>

#include <velcom/AutomationMemory.h>

#include "support/CallSide.h"

namespace {

// Plain data, so that reaching it from operator new needs no allocation of its own.
thread_local bool t_armed = false, t_onward = false;
thread_local std::size_t t_seen = 0, t_failAt = 0;

bool allocationFails() noexcept {
    if (!t_armed || CallSide::current() != Side::component) return false;
    ++t_seen;
    return t_failAt != AllocationFailure::kNever &&
           (t_onward ? t_seen >= t_failAt : t_seen == t_failAt);
}

void* allocate(std::size_t size) noexcept {
    return allocationFails() ? nullptr : std::malloc(size == 0 ? 1 : size);
}

void* allocateOrThrow(std::size_t size) {
    if (void* block = allocate(size)) return block;
    throw std::bad_alloc();
}

constexpr velcom::AutomationMemory kCountedMemory{allocate, std::free};

}  // namespace

AllocationFailure::AllocationFailure(std::size_t failAt, Failing failing) {
    velcom::setAutomationMemory(&kCountedMemory);
    t_armed = true, t_seen = 0, t_failAt = failAt, t_onward = failing == Failing::onward;
}

AllocationFailure::~AllocationFailure() {
    t_armed = false;
    velcom::setAutomationMemory(nullptr);
}

std::size_t AllocationFailure::count() const { return t_seen; }

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
