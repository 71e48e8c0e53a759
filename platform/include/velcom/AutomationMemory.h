// Where the memory of BSTRs and SAFEARRAYs comes from, and so that of the strings and arrays a
// VARIANT owns. A host may route it through functions of its own, as SQLite's
// SQLITE_CONFIG_MALLOC allows: to draw it from a heap of its own, to account for it, or to make
// allocations fail on purpose and so test every path that handles running out of memory. On
// Windows that memory belongs to the system's oleaut32, and there is no such hook.
#pragma once

#include <cstddef>

#include <velcom/export.h>

#ifndef _WIN32

namespace velcom {

struct AutomationMemory {
    // A block of at least `size` bytes, aligned for any type, or null when there is none.
    void* (*allocate)(std::size_t size);
    // Gives back a block of `allocate`; never called with null.
    void (*release)(void* block);
};

// Makes `memory` the source of every following allocation and release; null restores malloc and
// free. The functions must stay valid until they are replaced, and a string or array is released
// through the functions current at that time: replace them while none is alive, or with
// functions that also release what the former ones gave out (wrappers of malloc and free do).
VELCOM_API void setAutomationMemory(const AutomationMemory* memory) noexcept;

}  // namespace velcom

#endif
