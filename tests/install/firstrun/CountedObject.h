// Reference counting for the host's own COM objects: each starts with no reference, the first
// query counts the first, and the last Release deletes it. Everything runs on the host's thread.
#pragma once

#include <velcom/com.h>

template <class Derived>
class CountedObject {
protected:
    CountedObject() = default;
    ~CountedObject() = default;

    ULONG addReference() { return ++m_references; }
    ULONG releaseReference() {
        const ULONG left = --m_references;
        if (left == 0) delete static_cast<Derived*>(this);
        return left;
    }

private:
    ULONG m_references = 0;
};
