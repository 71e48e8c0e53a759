#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include <velcom/Memory.h>

namespace velcom {

void adviseLargeBuffer(void* data, std::size_t size) noexcept {
    constexpr std::size_t kHugePage = 2 * 1024 * 1024;
    if (data == nullptr || size < 2 * kHugePage) return;
    const auto pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + pageSize - 1) & ~(pageSize - 1);
    const std::uintptr_t last = (start + size) & ~(pageSize - 1);
    if (last <= first) return;
    // Only a hint: a kernel without transparent huge pages refuses it, and nothing changes.
    const int savedError = errno;
    madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
    errno = savedError;
}

}  // namespace velcom
