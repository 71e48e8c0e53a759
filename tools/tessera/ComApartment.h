// The COM runtime for as long as the object lives.
#pragma once

#include <velcom/com.h>

#include "CommandFailure.h"

class ComApartment {
public:
    ComApartment() {
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
            throw CommandFailure(ExitCode::Failed, "cannot start the COM runtime");
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() { CoUninitialize(); }
};
