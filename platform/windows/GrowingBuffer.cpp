#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <velcom/GrowingBuffer.h>

namespace velcom {

namespace {

// Address space is cheap on 64-bit Windows: one reservation usually holds the largest page the
// proxy keeps, and only the committed part of it costs memory.
constexpr std::size_t kReservation = std::size_t{1} << 30;
constexpr std::size_t kCommitStep = std::size_t{1} << 20;

std::size_t roundUp(std::size_t size, std::size_t step) { return (size + step - 1) / step * step; }

}  // namespace

GrowingBuffer::~GrowingBuffer() { release(); }

void GrowingBuffer::release() noexcept {
    if (m_data != nullptr) VirtualFree(m_data, 0, MEM_RELEASE);
    m_data = nullptr;
    m_capacity = 0;
    m_reserved = 0;
}

bool GrowingBuffer::grow(std::size_t size) noexcept {
    if (size <= m_capacity) return true;
    if (size > SIZE_MAX / 4) return false;
    const std::size_t commit = roundUp(std::max(size, m_capacity + m_capacity / 2), kCommitStep);
    if (commit > m_reserved) {
        // A page beyond the reservation moves once into a larger one; a smaller reservation is
        // tried where address space is short.
        std::size_t reserve = std::max(roundUp(2 * commit, kCommitStep), kReservation);
        void* reserved = VirtualAlloc(nullptr, reserve, MEM_RESERVE, PAGE_NOACCESS);
        if (reserved == nullptr) {
            reserve = commit;
            reserved = VirtualAlloc(nullptr, reserve, MEM_RESERVE, PAGE_NOACCESS);
        }
        if (reserved == nullptr) return false;
        if (VirtualAlloc(reserved, commit, MEM_COMMIT, PAGE_READWRITE) == nullptr) {
            VirtualFree(reserved, 0, MEM_RELEASE);
            return false;
        }
        if (m_data != nullptr) std::memcpy(reserved, m_data, m_capacity);
        release();
        m_data = static_cast<char*>(reserved);
        m_reserved = reserve;
    } else if (VirtualAlloc(m_data, commit, MEM_COMMIT, PAGE_READWRITE) == nullptr) {
        return false;
    }
    m_capacity = commit;
    return true;
}

}  // namespace velcom
