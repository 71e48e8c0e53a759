// The heap use of the benchmark program, counted by the replaced global operator new and delete in
// HeapCounter.cpp: the bytes live now and the most that were live since the last reset. Sizes are
// the allocator's usable sizes, so a block counts the same when it is freed as when it was made.
#pragma once

#include <cstddef>

std::size_t heapBytesLive();
std::size_t heapBytesPeak();
// Starts a new peak from the bytes live now.
void resetHeapPeak();
// Counting (on at the start) costs each allocation and release atomic updates, which a timed loop
// leaves out. Turned off and on again only around work that frees all it makes, and nothing else.
void setHeapCounting(bool on);
