#include "SystemFailure.h"

#include <cstdio>

namespace {

std::string codeText(HRESULT code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
    return text;
}

}  // namespace

void failLastError(const std::string& what) {
    const DWORD error = GetLastError();
    const HRESULT code = error == 0 ? E_FAIL : HRESULT_FROM_WIN32(error);
    failWith(code, what + " failed (" + codeText(code) + ")");
}

void checkSystem(BOOL succeeded, const std::string& what) {
    if (!succeeded) failLastError(what);
}

void checkStatus(LONG status, const std::string& what) {
    if (status < 0) failWith(HRESULT_FROM_NT(status), what + " failed (" + codeText(status) + ")");
}
