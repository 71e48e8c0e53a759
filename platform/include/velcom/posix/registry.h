// The registry calls of the Windows API that self-registration and activation use, kept in a
// ".reg"-format text file ("Windows Registry Editor Version 5.00") instead of a system hive.
//
// Where the file lives: $VELCOM_REGISTRY when set, else $XDG_CONFIG_HOME/velcom/registry.reg,
// else ~/.config/velcom/registry.reg. Only HKEY_CLASSES_ROOT is kept there; the other predefined
// keys are refused with ERROR_ACCESS_DENIED.
//
// Every change is written to a temporary file, flushed to disk and renamed over the registry, so a
// crash never leaves a half-written registry; changes are serialised across processes by a lock on
// "<file>.lock", and each one is applied to the file as it is on disk at that moment, so two
// processes registering at once lose nothing. A file that cannot be parsed gives ERROR_BADDB
// (registry corrupt) and is left untouched.
//
// Key names are compared ignoring ASCII case and keep the case they were created with; value
// names likewise. Results are Win32 error codes (ERROR_SUCCESS, ERROR_FILE_NOT_FOUND …).
#pragma once

#include <velcom/posix/comtypes.h>

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using LSTATUS = LONG;
using REGSAM = DWORD;
using LPDWORD = DWORD*;
using LPBYTE = BYTE*;
using LPCBYTE = const BYTE*;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
using PFILETIME = FILETIME*;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u)))

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

extern "C" {

VELCOM_API LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass,
                                   DWORD options, REGSAM desired, LPSECURITY_ATTRIBUTES attributes,
                                   PHKEY result, LPDWORD disposition);
VELCOM_API LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired,
                                 PHKEY result);
// Stores exactly `size` bytes: a REG_SZ set without its terminating NUL is read back without one,
// as Windows does. String values that are not UTF-8 fail with ERROR_NO_UNICODE_TRANSLATION.
VELCOM_API LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type,
                                  const BYTE* data, DWORD size);
VELCOM_API LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                                    LPBYTE data, LPDWORD size);
VELCOM_API LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName);
// Fails with ERROR_ACCESS_DENIED while the key has subkeys, as on Windows.
VELCOM_API LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey);
VELCOM_API LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength,
                                 LPDWORD reserved, LPSTR keyClass, LPDWORD classLength,
                                 PFILETIME lastWriteTime);
VELCOM_API LSTATUS RegCloseKey(HKEY key);
}
