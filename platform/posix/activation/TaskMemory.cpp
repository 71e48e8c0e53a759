#include <algorithm>
#include <cstdlib>

#include <velcom/win32.h>

#include <velcom/posix/objbase.h>

// A zero-byte request still gets a distinct block, as on Windows, so a null result always means
// the memory ran out.
extern "C" LPVOID CoTaskMemAlloc(std::size_t size) {
    return std::malloc(std::max<std::size_t>(size, 1));
}

extern "C" void CoTaskMemFree(LPVOID memory) { std::free(memory); }
