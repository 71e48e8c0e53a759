// The kernel subset of the Windows API that the component and its utility library use:
// last-error value, thread identifiers, critical sections, mutexes, events, threads, posted
// messages and the registry. On Windows this is the system's own API; elsewhere velcom provides the
// same names with the same semantics, documented where POSIX forces a difference.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <process.h>
#include <windows.h>
#else
#include <velcom/posix/kernel.h>
#include <velcom/posix/libloader.h>
#include <velcom/posix/registry.h>
#endif
