// Memory for one buffer of unknown final size that grows without copying what it holds: address
// space is mapped (POSIX) or reserved (Windows) ahead of the bytes, and only the pages written to
// cost memory. A page that arrives in chunks is thus written once, and never held twice while the
// buffer grows.
#pragma once

#include <cstddef>

#include <velcom/export.h>

namespace velcom {

class VELCOM_API GrowingBuffer {
public:
    GrowingBuffer() noexcept = default;
    ~GrowingBuffer();
    GrowingBuffer(const GrowingBuffer&) = delete;
    GrowingBuffer& operator=(const GrowingBuffer&) = delete;

    // Room for at least size bytes; the bytes held so far stay, though they may move to another
    // address. False when the system refuses, and then nothing changes.
    bool grow(std::size_t size) noexcept;
    // Gives all memory back; the buffer is empty again.
    void release() noexcept;

    char* data() const noexcept { return m_data; }
    std::size_t capacity() const noexcept { return m_capacity; }

private:
    char* m_data = nullptr;
    std::size_t m_capacity = 0;  // bytes that may be written
    std::size_t m_reserved = 0;  // address space held, at least the capacity
};

}  // namespace velcom
