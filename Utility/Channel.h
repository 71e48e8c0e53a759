// An output channel for formatted diagnostic texts: exception reports and the object trace log
// write through it, and the tracer implements it to pass such texts on to the host.
#pragma once

#include <cstdarg>

#include "Utility/Format.h"

class Channel {
public:
    virtual ~Channel() = default;
    virtual void printf(const char* format, ...) VEL_PRINTF_FORMAT(2, 3) = 0;
    virtual void vprintf(const char* format, va_list args) VEL_PRINTF_FORMAT(2, 0) = 0;
};
