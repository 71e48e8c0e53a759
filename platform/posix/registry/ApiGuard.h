// No exception may cross the C interface of the registry calls: running out of memory is a
// result like any other.
#pragma once

#include <exception>
#include <new>

#include <velcom/win32.h>

namespace velcom::registry {

template <class Body>
LSTATUS guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (const std::exception&) {
        return ERROR_REGISTRY_IO_FAILED;
    }
}

}  // namespace velcom::registry
