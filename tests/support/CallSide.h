// Whose code a thread runs: the component's, or that of the host and the collaborators the
// doubles play. A test that fails the component's allocations (tests/torture) leaves the others'
// alone, so each double's method the component calls runs in a host-side scope, and a call back
// into the component from there in a component-side one.
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
