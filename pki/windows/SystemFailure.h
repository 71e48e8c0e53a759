// Failures of system calls, with the system's own code and a text naming what failed.
#pragma once

#include <string>

#include "PkiFailure.h"

// HRESULT_FROM_WIN32(GetLastError()), E_FAIL when the call left no code.
[[noreturn]] void failLastError(const std::string& what);
// A BOOL result checked: failLastError(what) when it is FALSE.
void checkSystem(BOOL succeeded, const std::string& what);
// A CNG status checked: its HRESULT when it is not a success.
void checkStatus(LONG status, const std::string& what);
