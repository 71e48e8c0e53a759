// Loading modules and finding their exports, with the Windows names: a module handle is the
// loader's handle of a shared object, or of the main program.
//
// Where POSIX differs: LoadLibraryA searches as dlopen does (a name without "/" through the
// library path, not the program's directory), and a failure sets the last error to ENOENT when
// a path (a name with "/") names no file, and to ENOEXEC otherwise: no loadable module, missing
// dependencies, or a bare name found nowhere. GetModuleFileNameA reports an absolute path even for
// a module loaded by a relative one, as Windows does.
#pragma once

#include <cstdint>

#include <velcom/posix/kernel.h>

struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
using FARPROC = std::intptr_t (*)();
using LPSTR = char*;

// GetModuleHandleExA: the module name is an address inside the module; the module's reference
// count stays as it is, so the handle is valid only while something else keeps the module.
constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT = 0x00000002u;
constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS = 0x00000004u;

extern "C" {

VELCOM_API HMODULE LoadLibraryA(LPCSTR fileName);
// Drops one reference that LoadLibraryA or GetModuleHandleExA counted; the module is unloaded
// with the last.
VELCOM_API BOOL FreeLibrary(HMODULE module);
VELCOM_API FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
// The module loaded from moduleName (a path, or a name the loader would find), without counting a
// reference; null when it is not loaded. A null name gives the main program.
VELCOM_API HMODULE GetModuleHandleA(LPCSTR moduleName);
// Only the FROM_ADDRESS form: a name of a module fails with ERROR_INVALID_PARAMETER (EINVAL).
VELCOM_API BOOL GetModuleHandleExA(DWORD flags, LPCSTR moduleName, HMODULE* module);
// The full path of the module (of the main program for a null handle), cut to size - 1 characters
// with its terminating zero when the buffer is too small; returns the characters written without
// the zero, which equals size after a cut (the last error then is ERANGE), and 0 on failure.
VELCOM_API DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);
}
