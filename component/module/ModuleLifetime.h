// Start-up and shut-down of the module, called by the platform's entry point when the library is
// loaded and unloaded. The library's static initialisers (the tracer lock among them) have run
// before start-up, and its static clean-up runs after shut-down.
#pragma once

#include <velcom/com.h>

// Keeps the instance handle (used for the module's path and resources) and creates the locks
// of the class table and of the type information.
void startModule(HINSTANCE instance);
// Releases the kept class objects, deletes the two locks and runs the termination list, newest
// first. Does nothing unless the module was started and not stopped since.
void stopModule();
