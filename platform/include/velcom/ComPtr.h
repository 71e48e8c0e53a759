// A counted interface pointer: releases what it holds on every path.
#pragma once

#include <utility>

#include <velcom/InterfaceId.h>

namespace velcom {

template <class Interface>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes an additional reference on the pointer.
    explicit ComPtr(Interface* pointer) : m_pointer(pointer) { addRef(); }
    ComPtr(const ComPtr& other) : m_pointer(other.m_pointer) { addRef(); }
    ComPtr(ComPtr&& other) noexcept : m_pointer(std::exchange(other.m_pointer, nullptr)) {}
    ~ComPtr() { release(); }

    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(m_pointer, other.m_pointer);
        return *this;
    }

    // Takes over a reference the caller already owns (an out parameter's result, a new object).
    static ComPtr attach(Interface* pointer) {
        ComPtr result;
        result.m_pointer = pointer;
        return result;
    }
    // Gives up ownership of the reference without releasing it.
    Interface* detach() { return std::exchange(m_pointer, nullptr); }

    Interface* get() const { return m_pointer; }
    Interface* operator->() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }

    // For out parameters: releases what is held and hands out the slot.
    Interface** put() {
        release();
        return &m_pointer;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

    void reset() { release(); }

    // QueryInterface for another interface; an empty pointer gives E_POINTER.
    template <class Other>
    HRESULT as(ComPtr<Other>& result) const {
        if (m_pointer == nullptr) return E_POINTER;
        return m_pointer->QueryInterface(uuidOf<Other>(), result.putVoid());
    }

private:
    void addRef() {
        if (m_pointer != nullptr) m_pointer->AddRef();
    }
    void release() {
        if (Interface* pointer = std::exchange(m_pointer, nullptr)) pointer->Release();
    }

    Interface* m_pointer = nullptr;
};

}  // namespace velcom
