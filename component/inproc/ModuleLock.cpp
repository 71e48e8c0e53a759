#include "inproc/ModuleLock.h"

#include <atomic>

namespace {

// Any thread may load, create or release, so the count changes atomically.
std::atomic<LONG> g_moduleLocks{0};

}  // namespace

void lockModule() { g_moduleLocks.fetch_add(1, std::memory_order_relaxed); }

void unlockModule() { g_moduleLocks.fetch_sub(1, std::memory_order_acq_rel); }

LONG moduleLockCount() { return g_moduleLocks.load(std::memory_order_acquire); }
