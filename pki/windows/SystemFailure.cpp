#include "SystemFailure.h"

namespace {

std::string systemMessage(HRESULT code) {
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message(text == nullptr ? "" : text, length);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    if (message.empty()) {
        char number[16];
        wsprintfA(number, "0x%08lX", static_cast<unsigned long>(code));
        message = number;
    }
    return message;
}

}  // namespace

void failSystem(const std::string& what) {
    const DWORD error = GetLastError();
    // Some calls fail without setting an error; E_FAIL then, rather than a "success" result.
    const HRESULT code = error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
    throw PkiFailure(code, what + ": " + systemMessage(code));
}

void failStatus(LONG status, const std::string& what) {
    const HRESULT code = HRESULT_FROM_NT(status);
    throw PkiFailure(code, what + ": " + systemMessage(code));
}
