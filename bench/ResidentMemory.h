// The resident memory of the benchmark process, as Linux reports it: unlike HeapCounter it sees
// memory mapped outside operator new as well, such as the proxy's buffer for a large page.
#pragma once

#include <cstddef>

std::size_t residentBytes();
std::size_t residentBytesPeak();
// Starts a new peak from the resident memory now; false when the system does not allow it.
bool resetResidentPeak();
