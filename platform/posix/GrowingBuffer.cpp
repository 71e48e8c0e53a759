#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include <velcom/GrowingBuffer.h>
#include <velcom/Memory.h>

namespace velcom {

namespace {

std::size_t roundToPages(std::size_t size) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    return (size + page - 1) / page * page;
}

// Memory is only taken from the system as the pages are first written.
void* mapFresh(std::size_t size) {
    return mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                -1, 0);
}

// Moves the mapping without copying where the kernel can remap its pages (Linux); elsewhere a
// new mapping takes a copy.
void* remap(void* old, std::size_t oldSize, std::size_t newSize) {
#ifdef MREMAP_MAYMOVE
    return mremap(old, oldSize, newSize, MREMAP_MAYMOVE);
#else
    void* moved = mapFresh(newSize);
    if (moved == MAP_FAILED) return moved;
    std::memcpy(moved, old, oldSize);
    munmap(old, oldSize);
    return moved;
#endif
}

}  // namespace

GrowingBuffer::~GrowingBuffer() { release(); }

void GrowingBuffer::release() noexcept {
    if (m_data != nullptr) munmap(m_data, m_reserved);
    m_data = nullptr;
    m_capacity = 0;
    m_reserved = 0;
}

// Untouched pages of a mapping cost nothing, so the room doubles: few remappings for a large page.
bool GrowingBuffer::grow(std::size_t size) noexcept {
    if (size <= m_capacity) return true;
    if (size > SIZE_MAX / 4) return false;
    const std::size_t wanted = roundToPages(std::max(size, 2 * m_capacity));
    const int savedError = errno;
    void* mapped = m_data == nullptr ? mapFresh(wanted) : remap(m_data, m_reserved, wanted);
    errno = savedError;
    if (mapped == MAP_FAILED) return false;
    m_data = static_cast<char*>(mapped);
    m_capacity = wanted;
    m_reserved = wanted;
    adviseLargeBuffer(m_data, m_capacity);
    return true;
}

}  // namespace velcom
