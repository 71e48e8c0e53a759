#include "AutomationHeap.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include <velcom/AutomationMemory.h>

namespace {

constexpr velcom::AutomationMemory kSystemMemory{std::malloc, std::free};

std::atomic<const velcom::AutomationMemory*> g_memory{&kSystemMemory};

}  // namespace

namespace velcom {

void setAutomationMemory(const AutomationMemory* memory) noexcept {
    g_memory.store(memory != nullptr ? memory : &kSystemMemory, std::memory_order_release);
}

namespace detail {

void* allocateAutomationBlock(std::size_t size) noexcept {
    return g_memory.load(std::memory_order_acquire)->allocate(size);
}

void* allocateZeroedAutomationBlock(std::size_t size) noexcept {
    void* block = allocateAutomationBlock(size);
    if (block != nullptr) std::memset(block, 0, size);
    return block;
}

void releaseAutomationBlock(void* block) noexcept {
    g_memory.load(std::memory_order_acquire)->release(block);
}

}  // namespace detail
}  // namespace velcom
