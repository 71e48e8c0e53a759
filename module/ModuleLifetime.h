// Start-up and shut-down of the module, called by the platform's entry point when the library is
// loaded and unloaded; its static clean-up runs after shut-down. On Windows its static
// initialisers (the tracer lock among them) run before start-up. The POSIX loader may run
// start-up before them, so everything start-up touches is constinit; the tracer lock is still
// created before dlopen returns, before any call can use it.
#pragma once

#include <velcom/com.h>

// Keeps the instance handle (used for the module's path and resources) and creates the locks
// of the class table and of the type information.
void startModule(HINSTANCE instance);
// Releases the kept class objects, deletes the two locks and runs the termination list, newest
// first. Does nothing unless the module was started and not stopped since.
void stopModule();
