// Clean-up that must wait until the library is unloaded, such as type information loaded on
// first use: added as it becomes necessary, run newest first when the module stops.
#pragma once

#include <functional>

// Adds a callback; false when there is no memory for it, and then it will not run.
bool addTermination(std::function<void()> callback);
// Runs every callback added so far, newest first, and forgets them.
void runTerminations();
