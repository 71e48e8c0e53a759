#include "module/ModuleLifetime.h"

#include <atomic>

#include "module/ClassTable.h"
#include "module/ModuleState.h"
#include "module/TerminationList.h"

namespace {

constinit std::atomic<bool> g_running{false};

}  // namespace

void startModule(HINSTANCE instance) {
    initializeModuleState(instance);
    g_running.store(true, std::memory_order_release);
}

void stopModule() {
    if (!g_running.exchange(false, std::memory_order_acq_rel)) return;
    releaseClassObjects();
    clearModuleState();
    runTerminations();
}
