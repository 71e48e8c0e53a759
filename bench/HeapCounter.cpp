#include "HeapCounter.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> g_live{0};
std::atomic<std::size_t> g_peak{0};
std::atomic<bool> g_counting{true};

void* allocate(std::size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    if (!g_counting.load(std::memory_order_relaxed)) return block;
    const std::size_t usable = malloc_usable_size(block);
    const std::size_t live = g_live.fetch_add(usable, std::memory_order_relaxed) + usable;
    std::size_t peak = g_peak.load(std::memory_order_relaxed);
    while (live > peak && !g_peak.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
    }
    return block;
}

void release(void* block) noexcept {
    if (block == nullptr) return;
    if (g_counting.load(std::memory_order_relaxed))
        g_live.fetch_sub(malloc_usable_size(block), std::memory_order_relaxed);
    std::free(block);
}

}  // namespace

std::size_t heapBytesLive() { return g_live.load(std::memory_order_relaxed); }

std::size_t heapBytesPeak() { return g_peak.load(std::memory_order_relaxed); }

void resetHeapPeak() { g_peak.store(g_live.load(std::memory_order_relaxed)); }

void setHeapCounting(bool on) { g_counting.store(on, std::memory_order_relaxed); }

// The nothrow and sized forms of the library call these.
void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* block) noexcept { release(block); }
void operator delete[](void* block) noexcept { release(block); }
void operator delete(void* block, std::size_t) noexcept { release(block); }
void operator delete[](void* block, std::size_t) noexcept { release(block); }
