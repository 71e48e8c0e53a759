// Hints about memory use that have no Windows API of their own.
#pragma once

#include <cstddef>

#include <velcom/export.h>

namespace velcom {

// Tells the system that a large buffer is about to be filled from start to end. On Linux the
// buffer then gets transparent huge pages where it can, so that filling tens of megabytes costs a
// few page faults instead of thousands; elsewhere, and for small buffers, nothing happens.
#ifdef _WIN32
inline void adviseLargeBuffer(void*, std::size_t) noexcept {}
#else
VELCOM_API void adviseLargeBuffer(void* data, std::size_t size) noexcept;
#endif

}  // namespace velcom
