// Whose code a thread runs: the component's or the doubles'. tests/torture fails only the
// component's allocations, so each double's method runs in a host-side scope.
#pragma once

#include <utility>

enum class Side { component, host };

class CallSide {
public:
    explicit CallSide(Side side) noexcept : m_outer(std::exchange(current(), side)) {}
    ~CallSide() { current() = m_outer; }
    CallSide(const CallSide&) = delete;
    CallSide& operator=(const CallSide&) = delete;

    static Side& current() noexcept {
        thread_local Side side = Side::component;
        return side;
    }

private:
    Side m_outer;
};
