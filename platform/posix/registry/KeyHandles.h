// The HKEY values handed to callers and what each one stands for.
#pragma once

#include <string>

#include <velcom/win32.h>

namespace velcom::registry {

struct OpenedKey {
    std::string path;  // below HKEY_CLASSES_ROOT, "" for the root
    REGSAM access = 0;
};

// The rights a handle gets for the access asked for: generic rights and MAXIMUM_ALLOWED map to
// key rights as on Windows; the file has no ACLs, so everything asked for is granted.
REGSAM grantedAccess(REGSAM desired);

// The key behind a handle, when it has the `needed` rights (ERROR_ACCESS_DENIED otherwise).
// HKEY_CLASSES_ROOT is the root with all rights. The other predefined keys are refused with
// ERROR_ACCESS_DENIED; null, closed and unknown handles give ERROR_INVALID_HANDLE. Whether the
// key still exists is for the caller to check against the file. A handle knows its key by path
// only, so unlike on Windows, a key deleted and created again is the same key to older handles.
LSTATUS keyOfHandle(HKEY handle, REGSAM needed, OpenedKey& key);

// A new handle for the key. The object behind it belongs to the handle table until
// closeKeyHandle, so a handle used after it was closed is recognised instead of dereferenced.
HKEY openKeyHandle(OpenedKey key);

// Predefined keys stay open: closing one succeeds and does nothing.
LSTATUS closeKeyHandle(HKEY handle);

}  // namespace velcom::registry
