// What the module sets up when it is loaded and tears down when it is unloaded: the instance
// handle it was loaded as, and the locks of the class table and of the type information.
#pragma once

#include <string>

#include <velcom/com.h>

#include "Utility/Thread.h"

// Keeps the handle and creates the two locks.
void initializeModuleState(HINSTANCE instance);
// Deletes the two locks once no ScopedLock holds them any more, and forgets the handle.
void clearModuleState();

HINSTANCE moduleInstance();
// The library's file name as the system reports it for the loaded module; empty when the system
// cannot say.
std::string moduleFileName();

// Serialises the creation of the class objects that the class table keeps. Before start-up and
// after shut-down (or without memory for it) it is a null handle, which locks nothing.
const SyncObjPtr& classTableLock();
// Serialises the loading of type information.
const SyncObjPtr& typeInformationLock();
