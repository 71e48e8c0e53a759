// Which loaded module a piece of code belongs to, and the file it was loaded from: what a module
// needs to register itself.
#pragma once

#include <string>

#include <velcom/com.h>

// The module that holds address, without taking a reference on it; null when the system cannot
// tell.
HMODULE moduleContaining(const void* address);

// The file a loaded module came from, however long its path; empty when the system cannot say.
std::string fileNameOf(HMODULE module);
