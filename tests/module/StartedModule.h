// The module started inside the test program, as the loader starts the library, with the test
// program standing in for the library file; stopped again at the end of the scope.
#pragma once

#include <gtest/gtest.h>

#include <velcom/com.h>

#include "module/ModuleLifetime.h"

inline HINSTANCE testProgram() {
    static const char anchor = 0;
    HMODULE program = nullptr;
    EXPECT_TRUE(GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        &anchor, &program));
    return program;
}

class StartedModule {
public:
    StartedModule() { startModule(testProgram()); }
    StartedModule(const StartedModule&) = delete;
    StartedModule& operator=(const StartedModule&) = delete;
    ~StartedModule() { stopModule(); }
};
