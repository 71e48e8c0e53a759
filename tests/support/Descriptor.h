// An owned file descriptor (a socket, a pipe end), closed when the owner goes.
#pragma once

#include <unistd.h>

#include <utility>

class Descriptor {
public:
    explicit Descriptor(int descriptor = -1) : m_descriptor(descriptor) {}
    Descriptor(Descriptor&& other) noexcept : m_descriptor(std::exchange(other.m_descriptor, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        reset(std::exchange(other.m_descriptor, -1));
        return *this;
    }
    ~Descriptor() { reset(); }

    int get() const { return m_descriptor; }
    bool valid() const { return m_descriptor >= 0; }
    void reset(int descriptor = -1) {
        if (m_descriptor >= 0) ::close(m_descriptor);
        m_descriptor = descriptor;
    }

private:
    int m_descriptor;
};
