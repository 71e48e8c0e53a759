#include <atomic>

#include <velcom/Dispatch.h>

namespace velcom {

namespace {

// Set at process attach, read by any thread that dispatches.
std::atomic<TypeInfoLookup> g_typeInfoLookup{nullptr};

}  // namespace

void setTypeInfoLookup(TypeInfoLookup lookup) {
    g_typeInfoLookup.store(lookup, std::memory_order_release);
}

TypeInfoLookup typeInfoLookup() { return g_typeInfoLookup.load(std::memory_order_acquire); }

}  // namespace velcom
