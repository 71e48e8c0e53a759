// The dynamic loader's hooks stand for DllMain's process attach and detach: the constructor runs
// when the library is loaded, the destructor when it is unloaded (or the process ends).
#include <velcom/com.h>

#include "inproc/ModuleFile.h"
#include "module/ModuleLifetime.h"

namespace {

// Any address inside the library names it.
const char g_moduleAnchor = 0;

__attribute__((constructor)) void attachModule() { startModule(moduleContaining(&g_moduleAnchor)); }

__attribute__((destructor)) void detachModule() { stopModule(); }

}  // namespace
