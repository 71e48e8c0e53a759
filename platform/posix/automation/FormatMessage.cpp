// System message texts for the codes hosts meet: standard HRESULTs and common Win32 errors.
#include <cstdlib>
#include <cstring>

#include <velcom/posix/objbase.h>

namespace {

struct Message {
    std::uint32_t code;
    const char* text;
};

// Win32 errors, found by their plain code or wrapped by HRESULT_FROM_WIN32.
constexpr Message kWin32Messages[] = {
    {0, "The operation completed successfully."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {14, "Not enough memory resources are available to complete this operation."},
    {87, "The parameter is incorrect."},
    {122, "The data area passed to a system call is too small."},
    {126, "The specified module could not be found."},
    {127, "The specified procedure could not be found."},
    {183, "Cannot create a file when that file already exists."},
    {234, "More data is available."},
    {259, "No more data is available."},
    {1009, "The configuration registry database is corrupt."},
    {1010, "The configuration registry key is invalid."},
    {1016, "An I/O operation initiated by the registry failed unrecoverably."},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion."},
    {1113, "No mapping for the Unicode character exists in the target multi-byte code page."},
};

constexpr Message kComMessages[] = {
    {0x8000FFFF, "Catastrophic failure"},
    {0x80004001, "Not implemented"},
    {0x80004002, "No such interface supported"},
    {0x80004003, "Invalid pointer"},
    {0x80004004, "Operation aborted"},
    {0x80004005, "Unspecified error"},
    {0x80010106, "Cannot change thread mode after it is set."},
    {0x80020001, "Unknown interface."},
    {0x80020003, "Member not found."},
    {0x80020004, "Parameter not found."},
    {0x80020005, "Type mismatch."},
    {0x80020006, "Unknown name."},
    {0x80020007, "No named arguments."},
    {0x80020008, "Bad variable type."},
    {0x80020009, "Exception occurred."},
    {0x8002000A, "Out of present range."},
    {0x8002000B, "Invalid index."},
    {0x8002000C, "Unknown language."},
    {0x8002000D, "Memory is locked."},
    {0x8002000E, "Invalid number of parameters."},
    {0x8002000F, "Parameter not optional."},
    {0x80020010, "Invalid callee."},
    {0x80020011, "Does not support a collection."},
    {0x80020012, "Division by zero."},
    {0x8002801D, "Library not registered."},
    {0x8002802B, "Element not found."},
    {0x80029C4A, "Error loading type library/DLL."},
    {0x80040110, "Class does not support aggregation (or class object is remote)"},
    {0x80040111, "ClassFactory cannot supply requested class"},
    {0x80040112, "Class is not licensed for use"},
    {0x80040150, "Could not read key from registry"},
    {0x80040151, "Could not write key to registry"},
    {0x80040154, "Class not registered"},
    {0x80040155, "Interface not registered"},
    {0x800401F0, "CoInitialize has not been called."},
    {0x800401F3, "Invalid class string"},
    {0x800401F8, "DLL for class not found"},
    {0x800401F9, "Error in the DLL"},
    {0x800401FD, "Object is not connected to server"},
};

template <std::size_t Count>
const char* find(const Message (&table)[Count], std::uint32_t code) {
    for (const Message& message : table)
        if (message.code == code) return message.text;
    return nullptr;
}

const char* systemMessage(std::uint32_t code) {
    if (const char* text = find(kComMessages, code)) return text;
    if ((code & 0xFFFF0000u) == 0x80070000u) return find(kWin32Messages, code & 0xFFFFu);
    if (code <= 0xFFFFu) return find(kWin32Messages, code);
    return nullptr;
}

DWORD fail(LONG error) {
    SetLastError(static_cast<DWORD>(error));
    return 0;
}

}  // namespace

extern "C" DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPSTR buffer,
                                DWORD size, va_list*) {
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || buffer == nullptr)
        return fail(ERROR_INVALID_PARAMETER);
    const char* text = systemMessage(messageId);
    if (text == nullptr) return fail(ERROR_MR_MID_NOT_FOUND);
    const std::size_t length = std::strlen(text) + 2;  // with the line end
    if ((flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
        auto* allocated = static_cast<char*>(std::malloc(length + 1));
        if (allocated == nullptr) return fail(ERROR_NOT_ENOUGH_MEMORY);
        *reinterpret_cast<char**>(buffer) = allocated;
        buffer = allocated;
    } else if (size < length + 1) {
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, text, length - 2);
    std::memcpy(buffer + length - 2, "\r\n", 3);
    return static_cast<DWORD>(length);
}

extern "C" HLOCAL LocalFree(HLOCAL memory) {
    std::free(memory);
    return nullptr;
}
