// The count of reasons to keep the component's library loaded: live objects, LockServer(TRUE),
// class objects held from outside. DllCanUnloadNow answers S_OK only at zero.
#pragma once

#include <velcom/com.h>

void lockModule();
void unlockModule();
LONG moduleLockCount();
