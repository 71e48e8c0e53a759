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

constexpr std::size_t kReservation = std::size_t{1} << 30;

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

// Address space is reserved ahead, so that the buffer seldom moves: a move would split the huge
// pages already filled. Untouched pages of the mapping cost nothing, and the room given out
// doubles, with huge pages advised for it, as the buffer fills.
bool GrowingBuffer::grow(std::size_t size) noexcept {
    if (size <= m_capacity) return true;
    if (size > SIZE_MAX / 4) return false;
    const std::size_t wanted = roundToPages(std::max(size, 2 * m_capacity));
    if (wanted > m_reserved) {
        const int savedError = errno;
        std::size_t reserved = m_data == nullptr ? std::max(wanted, kReservation) : wanted;
        void* mapped = m_data == nullptr ? mapFresh(reserved) : remap(m_data, m_reserved, reserved);
        // Where address space or overcommit is short, the room asked for is enough.
        if (mapped == MAP_FAILED && m_data == nullptr) {
            reserved = wanted;
            mapped = mapFresh(reserved);
        }
        errno = savedError;
        if (mapped == MAP_FAILED) return false;
        m_data = static_cast<char*>(mapped);
        m_reserved = reserved;
    }
    m_capacity = wanted;
    adviseLargeBuffer(m_data, m_capacity);
    return true;
}

}  // namespace velcom
