// A global that is constant-initialised and never destroyed. A module's unload hook runs after the
// C++ run time has destroyed the module's statics when a process ends with the module loaded, and
// the hook still uses the state it clears.
#pragma once

template <class T>
union Immortal {
    constexpr Immortal() : value() {}
    // Deliberately leaves value alone.
    ~Immortal() {}

    T value;
};
