// A failed system call as the component's failure: the result Windows gives for it and a text
// naming what the component was doing, with the system's own message.
#pragma once

#include <string>

#include <windows.h>

#include "PkiFailure.h"

// HRESULT_FROM_WIN32(GetLastError()), taken before anything else can change it.
[[noreturn]] void failSystem(const std::string& what);
// For CNG, whose functions return their NTSTATUS instead of setting the last error.
[[noreturn]] void failStatus(LONG status, const std::string& what);

inline void checkSystem(BOOL succeeded, const std::string& what) {
    if (!succeeded) failSystem(what);
}
inline void checkStatus(LONG status, const std::string& what) {
    if (status < 0) failStatus(status, what);
}
