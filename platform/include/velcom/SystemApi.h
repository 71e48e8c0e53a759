// The system's COM and OLE automation declarations, or velcom's own where there is no system
// COM: the base every velcom header builds on.
#pragma once

#include <velcom/win32.h>

#ifdef _WIN32
#include <objbase.h>
#include <oleauto.h>
#include <olectl.h>
#else
#include <velcom/posix/objbase.h>
#endif
